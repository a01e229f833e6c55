#pragma once

#include <cstdint>

// One section of orvane-bench: a named measurement that prints its own figures. Sections are
// listed in BenchMain.cpp and run in that order; a section name on the command line runs only it.
struct BenchSection {
    const char* name;
    const char* summary;
    void (*run)();
};

// Sections of the telemetry path.
void benchTelemetryParse();
void benchTelemetryReceiver();
void benchTelemetryAllocations();

// Heap allocations made by the whole process so far (every operator new is counted).
std::uint64_t allocationCount();
