#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What to start: a program, its arguments, where and with what over our environment.
struct SpawnRequest {
    std::string program;                 // a path, or a name looked up on PATH when it holds no "/"
    std::vector<std::string> arguments;  // after the program name
    std::string workingDirectory;        // empty: ours
    std::vector<std::pair<std::string, std::string>> environment;  // set or replaced over ours
    bool captureOutput = false;  // its standard output into a pipe that readOutput reads
    std::string errorLog;        // file that takes its standard error; empty: /dev/null
};

// A child process that the benchmark starts and always ends: the destructor stops it (SIGTERM,
// then SIGKILL) and reaps it, so that no process or zombie outlives the run.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the child; false, with error() saying why, when it cannot be started (no such
    // program, not executable, no such working directory).
    bool start(const SpawnRequest& request);
    const std::string& error() const { return error_; }
    pid_t pid() const { return pid_; }

    // Whether it still runs (an ended child is reaped here).
    bool running();
    // Waits up to `timeout` for the child to end: its exit status, 128 + signal when a signal
    // ended it, or nothing while it still runs.
    std::optional<int> waitFor(std::chrono::milliseconds timeout);
    // Asks it to end (SIGTERM), kills it when it has not ended after `grace`, and reaps it.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

    // What the child writes to its standard output until it closes it, `timeout` passes or, when
    // `until` is not empty, the output holds `until`; at most `limit` bytes. Only with captureOutput.
    std::string readOutput(std::chrono::milliseconds timeout, std::size_t limit = 64 * 1024,
                           std::string_view until = {});

private:
    void reap(int status);

    pid_t pid_ = -1;
    int outputFd_ = -1;
    std::optional<int> exitStatus_;
    std::string error_;
};

// The last `lines` lines of a text file, each on a new indented line, for error messages.
std::string tailOfFile(const std::string& path, int lines = 5);
