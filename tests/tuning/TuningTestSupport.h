#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/Notifier.h"

// A UDP socket on 127.0.0.1 standing in for the aircraft: it sends a telemetry datagram so that
// the ground station learns where to reply, then receives what comes back.
class LoopbackPeer {
public:
    LoopbackPeer() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in local = loopback(0);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            throw std::runtime_error("cannot open the loopback peer");
    }
    ~LoopbackPeer() { ::close(fd_); }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    void sendTo(std::uint16_t port, std::string_view text) const {
        const sockaddr_in to = loopback(port);
        ::sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    // The next datagram, or nothing within `timeoutMs`.
    std::optional<std::vector<std::uint8_t>> receive(int timeoutMs) const {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) != 1) return std::nullopt;
        std::vector<std::uint8_t> datagram(2048);
        const ssize_t length = ::recv(fd_, datagram.data(), datagram.size(), 0);
        if (length < 0) return std::nullopt;
        datagram.resize(static_cast<std::size_t>(length));
        return datagram;
    }

    static sockaddr_in loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

private:
    int fd_;
};

// The port the kernel gave a socket bound to port 0.
inline std::uint16_t boundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

class RecordingNotifier : public Notifier {
public:
    void showMessage(const std::string&, const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// Runs a test in a fresh empty working directory, where the gain file lives.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char pattern[] = "/tmp/orvane-tuning-XXXXXX";
        if (!::mkdtemp(pattern) || !::getcwd(previous_, sizeof previous_) || ::chdir(pattern) != 0)
            throw std::runtime_error("cannot make a scratch directory");
        path_ = pattern;
    }
    ~ScratchDirectory() {
        if (::chdir(previous_) != 0) return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

private:
    char previous_[4096] = {};
    std::string path_;
};
