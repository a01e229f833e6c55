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

#include "app/Notifier.h"

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

// A plain loopback datagram socket on an ephemeral port, closed on destruction.
class LoopbackUdp {
public:
    LoopbackUdp() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    ~LoopbackUdp() { release(); }
    LoopbackUdp(const LoopbackUdp&) = delete;
    LoopbackUdp& operator=(const LoopbackUdp&) = delete;

    int fd() const { return fd_; }
    void release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int port() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    int sendTo(int port, const std::string& bytes) const {
        const sockaddr_in address = loopback(port);
        return static_cast<int>(::sendto(fd_, bytes.data(), bytes.size(), 0,
                                         reinterpret_cast<const sockaddr*>(&address), sizeof address));
    }
    // The next datagram within `timeout`, or nothing.
    bool receive(std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        pollfd waiting{fd_, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1) return false;
        char buffer[2048];
        const ssize_t received = ::recv(fd_, buffer, sizeof buffer, 0);
        if (received < 0) return false;
        bytes.assign(buffer, static_cast<std::size_t>(received));
        return true;
    }

    static sockaddr_in loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

private:
    int fd_ = -1;
};

// A port that was free a moment ago (the kernel's choice of an ephemeral one).
inline int freeUdpPort() {
    LoopbackUdp probe;
    return probe.port();
}

// True when `fd` is an open descriptor.
inline bool isOpenDescriptor(int fd) {
    return fd >= 0 && ::fcntl(fd, F_GETFD) != -1;
}

template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
