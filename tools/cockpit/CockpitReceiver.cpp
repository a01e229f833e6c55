#include "tools/cockpit/CockpitReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CockpitReceiver::~CockpitReceiver() {
    if (socket_ >= 0) ::close(socket_);
}

bool CockpitReceiver::open(std::uint16_t port) {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error_ = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error_ = "UDP port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error_ = std::string("getsockname: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socket_ = fd;
    boundPort_ = ntohs(address.sin_port);
    error_.clear();
    return true;
}

int CockpitReceiver::drain() {
    if (socket_ < 0) return 0;
    int acceptedNow = 0;
    for (int i = 0; i < kMaxDatagramsPerDrain; ++i) {
        // MSG_TRUNC makes recv report the datagram's real length even when it did not fit.
        const ssize_t length = ::recv(socket_, buffer_.data(), buffer_.size(), MSG_TRUNC | MSG_DONTWAIT);
        if (length < 0) {
            if (errno == EINTR) continue;
            break;  // EAGAIN: nothing more waiting; any other error: try again on the next wake-up
        }
        if (length != kCockpitFeedSize) {
            ++refused_;
            continue;
        }
        auto reading = decodeCockpitPacket(buffer_.data(), static_cast<std::size_t>(length));
        if (!reading) {
            ++refused_;
            continue;
        }
        latest_ = *reading;
        ++accepted_;
        ++acceptedNow;
    }
    return acceptedNow;
}
