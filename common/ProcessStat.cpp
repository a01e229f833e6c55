#include "common/ProcessStat.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// Field numbers of /proc/<pid>/stat, counted from 1 as the kernel documents them.
constexpr int kFirstFieldAfterName = 3;
constexpr int kUserTimeField = 14;
constexpr int kSystemTimeField = 15;
constexpr int kStartTimeField = 22;

std::string procPath(pid_t pid, const char* file) {
    return pid == 0 ? std::string("/proc/self/") + file : "/proc/" + std::to_string(pid) + "/" + file;
}

std::optional<std::uint64_t> parseCount(std::string_view field) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<ProcessStat> parseProcessStat(std::string_view text) {
    // The command name stands in parentheses and may itself hold blanks and ")", so the fields
    // are counted after the last ")".
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(close + 1);

    ProcessStat stat;
    std::uint64_t userTicks = 0;
    for (int index = kFirstFieldAfterName; index <= kStartTimeField; ++index) {
        const std::size_t begin = rest.find_first_not_of(" \n");
        if (begin == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(begin);
        const std::size_t length = std::min(rest.find_first_of(" \n"), rest.size());
        const std::string_view field = rest.substr(0, length);
        rest.remove_prefix(length);
        if (index != kUserTimeField && index != kSystemTimeField && index != kStartTimeField) continue;
        const std::optional<std::uint64_t> value = parseCount(field);
        if (!value) return std::nullopt;
        if (index == kUserTimeField) userTicks = *value;
        if (index == kSystemTimeField) stat.cpuTicks = userTicks + *value;
        if (index == kStartTimeField) stat.startTicks = *value;
    }
    return stat;
}

std::optional<ProcessStat> readProcessStat(pid_t pid) {
    std::ifstream file(procPath(pid, "stat"));
    if (!file) return std::nullopt;
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return parseProcessStat(text);
}

double readResidentMiB(pid_t pid) {
    std::ifstream statm(procPath(pid, "statm"));
    long sizePages = 0;
    long residentPages = 0;
    if (!(statm >> sizePages >> residentPages)) return -1;
    return static_cast<double>(residentPages) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

double clockTicksPerSecond() {
    const long ticks = sysconf(_SC_CLK_TCK);
    return ticks > 0 ? static_cast<double>(ticks) : 100.0;
}

double millisecondsSinceProcessStart() {
    timespec now{};
    const std::optional<ProcessStat> stat = readProcessStat(0);
    if (!stat || clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1;
    const double uptime = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    return (uptime - static_cast<double>(stat->startTicks) / clockTicksPerSecond()) * 1000.0;
}

double processCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) * 1e-6;
}
