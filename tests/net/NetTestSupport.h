#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/Notifier.h"
#include "tests/support/LoopbackUdp.h"

// Records every message; when gated, each call also waits until the test releases it, the way the
// program's modal box waits for the operator.
class RecordingNotifier : public Notifier {
public:
    explicit RecordingNotifier(bool gated = false) : gated_(gated) {}

    void showMessage(const std::string& caption, const std::string& text) override {
        std::unique_lock lock(mutex_);
        messages_.emplace_back(caption, text);
        changed_.notify_all();
        if (gated_) changed_.wait(lock, [this] { return released_ >= messages_.size(); });
    }

    std::vector<std::pair<std::string, std::string>> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    // Waits until at least `count` messages were shown; false on time-out.
    bool waitForMessages(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    }

    // Lets every message shown so far return.
    void releaseShown() {
        std::lock_guard lock(mutex_);
        released_ = messages_.size();
        changed_.notify_all();
    }

    // Stops gating: this and every later message return at once.
    void releaseAll() {
        std::lock_guard lock(mutex_);
        gated_ = false;
        released_ = static_cast<std::size_t>(-1);
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::string, std::string>> messages_;
    bool gated_;
    std::size_t released_ = 0;
};

// True when `fd` is an open descriptor.
inline bool isOpenDescriptor(int fd) {
    return fd >= 0 && ::fcntl(fd, F_GETFD) != -1;
}
