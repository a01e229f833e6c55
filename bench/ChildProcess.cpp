#include "bench/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollStep = std::chrono::milliseconds(10);

// Our environment with the request's variables set or replaced.
std::vector<std::string> childEnvironment(const SpawnRequest& request) {
    std::vector<std::string> result;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        bool replaced = false;
        for (const auto& [name, value] : request.environment) {
            if (text.size() > name.size() && text.compare(0, name.size(), name) == 0 &&
                text[name.size()] == '=') {
                replaced = true;
            }
        }
        if (!replaced) result.emplace_back(text);
    }
    for (const auto& [name, value] : request.environment) result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& text : strings) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// File actions and attributes that posix_spawn needs, released on every path out.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

ChildProcess::~ChildProcess() {
    stop();
}

bool ChildProcess::start(const SpawnRequest& request) {
    if (pid_ > 0) stop();
    error_.clear();
    exitStatus_.reset();
    if (!request.workingDirectory.empty() && !std::filesystem::is_directory(request.workingDirectory)) {
        error_ = "cannot start " + request.program + ": no folder " + request.workingDirectory;
        return false;
    }

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int outputPipe[2] = {-1, -1};
    if (request.captureOutput) {
        if (pipe2(outputPipe, O_CLOEXEC) != 0) {
            error_ =
                std::string("no pipe for the output of ") + request.program + ": " + std::strerror(errno);
            return false;
        }
        posix_spawn_file_actions_adddup2(&setup.actions, outputPipe[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    const std::string errorTarget = request.errorLog.empty() ? "/dev/null" : request.errorLog;
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, errorTarget.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (!request.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&setup.actions, request.workingDirectory.c_str());
    }
    // A stop signal that the benchmark ignores or blocks must still end the child.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argumentText{request.program};
    argumentText.insert(argumentText.end(), request.arguments.begin(), request.arguments.end());
    std::vector<std::string> environmentText = childEnvironment(request);
    std::vector<char*> argv = pointers(argumentText);
    std::vector<char*> envp = pointers(environmentText);

    const bool searchPath = request.program.find('/') == std::string::npos;
    pid_t child = -1;
    const int result = searchPath ? posix_spawnp(&child, request.program.c_str(), &setup.actions,
                                                 &setup.attributes, argv.data(), envp.data())
                                  : posix_spawn(&child, request.program.c_str(), &setup.actions,
                                                &setup.attributes, argv.data(), envp.data());
    if (outputPipe[1] >= 0) ::close(outputPipe[1]);
    if (result != 0) {
        if (outputPipe[0] >= 0) ::close(outputPipe[0]);
        error_ = "cannot start " + request.program + ": " + std::strerror(result);
        return false;
    }
    pid_ = child;
    outputFd_ = outputPipe[0];
    return true;
}

void ChildProcess::reap(int status) {
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
        reap(status);
        return false;
    }
    if (ended < 0 && errno == ECHILD) {
        pid_ = -1;
        return false;
    }
    return true;
}

std::optional<int> ChildProcess::waitFor(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (running()) {
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPollStep);
    }
    return exitStatus_;
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (running()) {
        ::kill(pid_, SIGTERM);
        if (!waitFor(grace)) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            if (::waitpid(pid_, &status, 0) == pid_) reap(status);
            pid_ = -1;
        }
    }
    if (outputFd_ >= 0) {
        ::close(outputFd_);
        outputFd_ = -1;
    }
}

std::string ChildProcess::readOutput(std::chrono::milliseconds timeout, std::size_t limit,
                                     std::string_view until) {
    std::string output;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (outputFd_ >= 0 && output.size() < limit) {
        if (!until.empty() && output.find(until) != std::string::npos) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd readable{outputFd_, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char chunk[4096];
        const ssize_t count = ::read(outputFd_, chunk, std::min(sizeof chunk, limit - output.size()));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;  // the child closed its output
        output.append(chunk, static_cast<std::size_t>(count));
    }
    return output;
}

std::string tailOfFile(const std::string& path, int lines) {
    std::ifstream file(path);
    std::vector<std::string> last;
    for (std::string line; std::getline(file, line);) {
        last.push_back(line);
        if (static_cast<int>(last.size()) > lines) last.erase(last.begin());
    }
    std::string text;
    for (const std::string& line : last) text += "\n    " + line;
    return text.empty() ? "\n    (nothing)" : text;
}
