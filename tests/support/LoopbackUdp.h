#pragma once

// Loopback datagram sockets and polling for the tests that talk to the receiver over the network.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>

// The address of dotted-decimal `text`, in network byte order (0 when it is not one).
inline in_addr_t ipv4(const char* text) {
    in_addr address{};
    ::inet_pton(AF_INET, text, &address);
    return address.s_addr;
}

// A plain loopback datagram socket on an ephemeral port, closed on destruction.
class LoopbackUdp {
public:
    // Sends from `source`, one of the loopback addresses 127.0.0.0/8 (network byte order).
    explicit LoopbackUdp(in_addr_t source = htonl(INADDR_LOOPBACK)) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        address.sin_addr.s_addr = source;
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
    // The address and port it sends from.
    sockaddr_in address() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return address;
    }
    int port() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    int sendTo(int port, std::string_view bytes, in_addr_t to = htonl(INADDR_LOOPBACK)) const {
        sockaddr_in address = loopback(port);
        address.sin_addr.s_addr = to;
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

// A datagram socket holding `port` on every address, as another program would; -1 when the port
// could not be taken. The caller closes it.
inline int holdUdpPort(int port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// Polls `done` every millisecond; false when `timeout` passes first.
template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
