#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "bench/ChildProcess.h"

// An X server in memory (Xvfb) on a display number that the server itself picks among the free
// ones, so that runs beside other displays never collide. Stopped by the destructor.
class VirtualDisplay {
public:
    // `screen` is "WIDTHxHEIGHT"; the depth is 24 bits. Waits up to `timeout` until the server
    // accepts clients. On failure error() says why (no server installed, it ended, it is silent),
    // with the end of its log when there is one.
    bool start(const std::string& screen, const std::string& logFile,
               std::chrono::milliseconds timeout = std::chrono::seconds(15));
    const std::string& error() const { return error_; }
    // The DISPLAY value of the server (":93").
    const std::string& name() const { return name_; }
    ChildProcess& process() { return server_; }

    // The server program; a test puts a stand-in here.
    std::string serverProgram = "Xvfb";

private:
    ChildProcess server_;
    std::string name_;
    std::string error_;
};

// The display number that the server writes when it is ready ("93\n"); nothing unless the text is
// a complete line holding only a number of at most six digits.
std::optional<int> parseDisplayNumber(std::string_view text);
