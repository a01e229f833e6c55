// orvane-bench: every figure of the project in one run, each beside its target, and the running
// program beside the platform alone. Exits 1 when a figure could not be taken.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchSection.h"
#include "common/ProgramOptions.h"

namespace {

const BenchSection kSections[] = {
    {"parse", "telemetry line decoding beside sscanf of the same format", benchTelemetryParse},
    {"receiver", "lines decoded per second over loopback", benchTelemetryReceiver},
    {"allocations", "heap allocations per decoded line", benchTelemetryAllocations},
    {"recording", "the receiver with flight recording on beside off, and drops under a flood",
     benchRecordingReceiver},
    {"flightlog", "orvane-log on a one-hour recording at 50 lines a second, and its size", benchFlightLog},
    {"terrain", "the ground under the aircraft: one lookup once its posts are read", benchTerrain},
    {"logbook", "orvane-log logbook over 1000 recordings (100 hours): indexed once, then listed",
     benchLogbook},
    {"frame", "frame drawing at 1024 x 672 off-screen (Mesa's software renderer)", benchFrame},
    {"imagery", "an opened 20000 x 20000 GeoTIFF: first picture, frames at three zooms, a pan, memory",
     benchImagery},
    {"replay", "replaying a one-hour recording: open and index, seek, a minute at 64x", benchReplay},
    {"startup", "the program's start-up to the first frame, five runs under a virtual display", benchStartup},
    {"program", "the running program's CPU use idle and at 50 lines a second, and its memory", benchProgram},
    {"floor", "the platform alone: windows that only clear, repainted every 100 ms", benchPlatformFloor},
};

constexpr int kDefaultCpuSeconds = 10;
constexpr int kMaxCpuSeconds = 600;
constexpr const char* kDefaultScreen = "1280x1024";

// The processor model and the number of processors online, for the record of a run.
void printMachine() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model = "unknown processor";
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    std::printf("machine: %s, %ld processors online\n\n", model.c_str(), sysconf(_SC_NPROCESSORS_ONLN));
}

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: orvane-bench [--run-folder DIR] [--screen WxH] [--cpu-seconds N] [section...]\n"
                 "  --run-folder DIR  the laid-out folder the program runs in (default: one laid out here)\n"
                 "  --screen WxH      the virtual display's size (default %s)\n"
                 "  --cpu-seconds N   length of each CPU measurement (default %d)\n"
                 "  -h, --help        show this help and exit\n"
                 "  --version         show the name and version and exit\n"
                 "Needs Xvfb for the sections that run programs. sections (default: all):\n",
                 kDefaultScreen, kDefaultCpuSeconds);
    for (const BenchSection& section : kSections)
        std::fprintf(out, "  %-12s %s\n", section.name, section.summary);
    std::fprintf(out,
                 "Files:\n"
                 "  Works in a temporary folder that it removes at the end, with the run folder laid\n"
                 "  out there unless --run-folder names one; prints the figures on standard output.\n");
}

bool validScreen(std::string_view text) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos || x == 0 || x + 1 == text.size() || text.size() > 11) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != x && (text[i] < '0' || text[i] > '9')) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path runFolder;
    std::string screen = kDefaultScreen;
    int cpuSeconds = kDefaultCpuSeconds;
    std::vector<std::string> chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "-h" || argument == "--help") {
            printUsage(stdout);
            return 0;
        } else if (argument == "--version") {
            std::fputs(programVersion("orvane-bench").c_str(), stdout);
            return 0;
        } else if (argument == "--run-folder" && hasValue) {
            runFolder = std::filesystem::absolute(argv[++i]);
        } else if (argument == "--screen" && hasValue && validScreen(argv[i + 1])) {
            screen = argv[++i];
        } else if (argument == "--cpu-seconds" && hasValue) {
            char* end = nullptr;
            const long seconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || seconds < 1 || seconds > kMaxCpuSeconds) {
                std::fprintf(stderr, "orvane-bench: --cpu-seconds takes 1 to %d\n", kMaxCpuSeconds);
                return 2;
            }
            cpuSeconds = static_cast<int>(seconds);
        } else {
            bool known = false;
            for (const BenchSection& section : kSections) known = known || argument == section.name;
            if (!known) {
                std::fprintf(stderr, "orvane-bench: cannot use \"%s\"\n", argv[i]);
                printUsage(stderr);
                return 2;
            }
            chosen.emplace_back(argument);
        }
    }

    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        std::fprintf(stderr, "orvane-bench: cannot tell where the project's programs are: %s\n",
                     error.message().c_str());
        return 1;
    }
    BenchSetting setting(self.parent_path(), runFolder, screen, cpuSeconds);
    Scorecard scorecard;
    printMachine();
    for (const BenchSection& section : kSections) {
        bool wanted = chosen.empty();
        for (const std::string& name : chosen) wanted = wanted || name == section.name;
        if (!wanted) continue;
        std::printf("== %s: %s\n", section.name, section.summary);
        std::fflush(stdout);
        section.run(setting, scorecard);
        std::printf("\n");
        std::fflush(stdout);
    }
    scorecard.print(screen);
    return scorecard.allMeasured() ? 0 : 1;
}
