#include <cstdio>
#include <cstring>
#include <iterator>

#include "bench/BenchSection.h"

namespace {

const BenchSection kSections[] = {
    {"parse", "telemetry line decoding beside sscanf of the same format", benchTelemetryParse},
    {"receiver", "lines decoded per second over loopback when flooded", benchTelemetryReceiver},
    {"allocations", "heap allocations per decoded line", benchTelemetryAllocations},
};

void listSections() {
    std::printf("sections:\n");
    for (const BenchSection& section : kSections) std::printf("  %-12s %s\n", section.name, section.summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        std::printf("usage: orvane-bench [section]\n");
        listSections();
        return argc > 2 ? 2 : 0;
    }
    const char* only = argc == 2 ? argv[1] : nullptr;
    bool ran = false;
    for (const BenchSection& section : kSections) {
        if (only != nullptr && std::strcmp(only, section.name) != 0) continue;
        std::printf("== %s: %s\n", section.name, section.summary);
        std::fflush(stdout);
        section.run();
        std::printf("\n");
        ran = true;
    }
    if (!ran) {
        std::fprintf(stderr, "unknown section \"%s\"\n", only);
        listSections();
        return 2;
    }
    return 0;
}
