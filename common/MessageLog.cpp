#include "common/MessageLog.h"

#include <time.h>

#include <cstdio>

std::string messageLogLine(std::chrono::system_clock::time_point when, std::string_view caption,
                           std::string_view text) {
    const auto sinceEpoch = when.time_since_epoch();
    const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[64];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char zone[16];
    std::strftime(zone, sizeof zone, "%z", &local);

    std::string line(stamp, length);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d ", static_cast<int>(milliseconds < 0 ? 0 : milliseconds));
    line += fraction;
    line += zone;
    line += ' ';
    line += caption;
    line += ": ";
    for (const char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    return line;
}

void logMessage(std::string_view caption, std::string_view text) {
    const std::string line = messageLogLine(std::chrono::system_clock::now(), caption, text);
    // One call, so that lines of two threads do not interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
