#include "bench/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxDisplayDigits = 6;

// Reads the server's ready line from `fd` until a newline, end of file (`closed`: the server
// ended or let go of the pipe) or the deadline.
std::string readReadyLine(int fd, Clock::time_point deadline, bool& closed) {
    closed = false;
    std::string text;
    while (text.find('\n') == std::string::npos && text.size() < 64) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char chunk[16];
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            closed = true;
            break;
        }
        text.append(chunk, static_cast<std::size_t>(count));
    }
    return text;
}

}  // namespace

std::optional<int> parseDisplayNumber(std::string_view text) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos || end == 0 || end > kMaxDisplayDigits) return std::nullopt;
    int number = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

bool VirtualDisplay::start(const std::string& screen, const std::string& logFile,
                           std::chrono::milliseconds timeout) {
    error_.clear();
    name_.clear();
    // The server writes its display number into this pipe once it accepts clients. Only the write
    // end is inherited; it is closed here as soon as the server has it, so that the server's end
    // shows as end of file.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0 || fcntl(ready[1], F_SETFD, 0) != 0) {
        error_ = std::string("no pipe for the display server: ") + std::strerror(errno);
        return false;
    }
    SpawnRequest request;
    request.program = serverProgram;
    request.arguments = {"-displayfd", std::to_string(ready[1]), "-screen", "0", screen + "x24", "-nolisten",
                         "tcp"};
    request.errorLog = logFile;
    const bool started = server_.start(request);
    ::close(ready[1]);
    if (!started) {
        ::close(ready[0]);
        error_ = server_.error() +
                 (serverProgram == "Xvfb" ? " (the display server: install the xvfb package)" : "");
        return false;
    }
    bool closed = false;
    const std::string line = readReadyLine(ready[0], Clock::now() + timeout, closed);
    ::close(ready[0]);
    const std::optional<int> number = parseDisplayNumber(line);
    if (!number) {
        server_.stop();
        error_ = serverProgram +
                 (closed ? " ended before it accepted clients" : " did not report a display in time") +
                 "; its log " + logFile + " ends:" + tailOfFile(logFile);
        return false;
    }
    name_ = ":" + std::to_string(*number);
    return true;
}
