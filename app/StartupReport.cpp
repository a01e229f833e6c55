#include "app/StartupReport.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The process start time in clock ticks since boot: field 22 of /proc/self/stat, counted after
// the command name, which is in parentheses and may itself hold blanks.
double processStartSeconds() {
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    // After ")" come fields 3, 4, ...; the start time is field 22.
    for (int index = 3; index <= 22; ++index) {
        if (!(fields >> field)) return -1;
    }
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0) return -1;
    return std::stod(field) / static_cast<double>(ticksPerSecond);
}

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long sizePages = 0, residentPages = 0;
    if (!(statm >> sizePages >> residentPages)) return -1;
    return static_cast<double>(residentPages) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

}  // namespace

ProcessFigures readProcessFigures() {
    ProcessFigures figures;
    figures.residentMiB = residentMiB();
    timespec now{};
    const double started = processStartSeconds();
    if (started >= 0 && clock_gettime(CLOCK_BOOTTIME, &now) == 0) {
        const double uptime = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
        figures.millisecondsSinceProcessStart = (uptime - started) * 1000.0;
    }
    return figures;
}
