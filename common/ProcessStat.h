#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string_view>

// What the kernel says about a running process in /proc/<pid>/stat.
struct ProcessStat {
    std::uint64_t cpuTicks = 0;    // user plus system time of all its threads, in clock ticks
    std::uint64_t startTicks = 0;  // when it started, in clock ticks after boot
};

// Parses the text of /proc/<pid>/stat. Absent when the text is not such a line.
std::optional<ProcessStat> parseProcessStat(std::string_view text);

// Reads /proc/<pid>/stat; pid 0 is the calling process. Absent when the process is gone.
std::optional<ProcessStat> readProcessStat(pid_t pid);

// Resident memory of the process in MiB (pid 0: the calling process), or -1 when it is gone.
double readResidentMiB(pid_t pid);

// Milliseconds since the calling process started, or -1 when the system does not say.
double millisecondsSinceProcessStart();

// Clock ticks per second of the figures above.
double clockTicksPerSecond();

// Processor time of the calling process so far (all its threads, the GL driver's included), in
// milliseconds, to the clock's own resolution.
double processCpuMilliseconds();
