#include "net/NetSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/Notifier.h"
#include "net/DatagramTap.h"
#include "net/SenderAddress.h"

namespace {

// Every IPv4 address length handed to the socket calls: the size of the IPv4 address structure.
constexpr socklen_t kIpv4AddressLength = sizeof(sockaddr_in);
static_assert(kIpv4AddressLength == 16);

constexpr int kListenBacklog = 10;

// The socket library version asked for, and the one this platform grants: POSIX sockets need no
// start-up, so the check can never fail here, but a port to a layer that can keeps its message.
constexpr unsigned kRequestedVersion = 0x0101;
constexpr unsigned kGrantedVersion = 0x0101;

constexpr const char* kWrongVersion = "Wrong version!";
constexpr const char* kInvalidSocket = "Invalid socket error!";
constexpr const char* kBindError = "bind() error";
constexpr const char* kConnectError = "Connection to OpenGC failed!";
constexpr const char* kListenError = "listen() error";
constexpr const char* kAcceptError = "accept() error";

// A byte range the caller claims to own: a negative length, or a missing buffer with a positive
// length, is refused before it reaches the kernel.
bool validRange(const void* data, int length) {
    return length >= 0 && (data != nullptr || length == 0);
}

int refuse() {
    errno = EINVAL;
    return -1;
}

}  // namespace

std::optional<in_addr> loopbackNameAddress(std::string_view host) {
    constexpr std::string_view kLocalhost = "localhost";
    if (host.ends_with('.')) host.remove_suffix(1);
    if (host.size() < kLocalhost.size()) return std::nullopt;
    const std::string_view last = host.substr(host.size() - kLocalhost.size());
    for (std::size_t i = 0; i < last.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(last[i])) != kLocalhost[i]) return std::nullopt;
    if (host.size() > kLocalhost.size()) {
        // Only whole labels count: "mylocalhost" is another name, and ".localhost" has an empty one.
        const std::string_view rest = host.substr(0, host.size() - kLocalhost.size());
        if (rest.size() < 2 || !rest.ends_with('.') || rest.starts_with('.') ||
            rest.find("..") != std::string_view::npos)
            return std::nullopt;
    }
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    return loopback;
}

std::optional<in_addr> resolveIpv4Host(const char* host) {
    if (host == nullptr) return std::nullopt;
    if (const auto loopback = loopbackNameAddress(host)) return loopback;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
        if (found != nullptr) ::freeaddrinfo(found);
        return std::nullopt;
    }
    sockaddr_in resolved{};
    std::memcpy(&resolved, found->ai_addr, sizeof resolved);
    ::freeaddrinfo(found);
    return resolved.sin_addr;
}

NetSocket::NetSocket(Notifier& notifier) : notifier_(notifier) {}

NetSocket::~NetSocket() = default;

int NetSocket::startup() {
    if (kGrantedVersion != kRequestedVersion) {
        notifier_.showMessage(kApplicationTitle, kWrongVersion);
        return 0;
    }
    return 1;
}

int NetSocket::create(const char* protocol) {
    const bool datagram = protocol != nullptr && std::strcmp(protocol, "UDP") == 0;
    // Close-on-exec so that the spawned cockpit program inherits none of our sockets.
    socketHandle_ = ::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
    if (socketHandle_ < 0) {
        socketHandle_ = -1;
        notifier_.showMessage(kApplicationTitle, kInvalidSocket);
        return 0;
    }
    return 1;
}

int NetSocket::bindPort(int port) {
    port_ = static_cast<std::uint16_t>(port & 0xFFFF);
    localAddress_ = sockaddr_in{};
    localAddress_.sin_family = AF_INET;
    localAddress_.sin_port = htons(port_);
    localAddress_.sin_addr.s_addr = bindAddress_;
    // No SO_REUSEADDR: a port held by another program must show up as a bind failure.
    if (::bind(socketHandle_, reinterpret_cast<const sockaddr*>(&localAddress_), kIpv4AddressLength) < 0) {
        notifier_.showMessage(kApplicationTitle, kBindError);
        closeMain();
        return 0;
    }
    return 1;
}

int NetSocket::connectTo(const char* host, int port) {
    const std::optional<in_addr> resolved = resolveIpv4Host(host);
    if (!resolved) {
        // Nowhere to connect to: leave the object closed so that later sends fail quietly rather
        // than go to an address that was never resolved.
        closeMain();
        return 0;
    }

    port_ = static_cast<std::uint16_t>(port & 0xFFFF);
    localAddress_ = sockaddr_in{};
    localAddress_.sin_family = AF_INET;
    localAddress_.sin_port = htons(port_);
    localAddress_.sin_addr = *resolved;
    if (::connect(socketHandle_, reinterpret_cast<const sockaddr*>(&localAddress_), kIpv4AddressLength) < 0) {
        notifier_.showMessage(kApplicationTitle, kConnectError);
        closeMain();
        return 0;
    }
    return 1;
}

int NetSocket::listenForPeers() {
    if (::listen(socketHandle_, kListenBacklog) < 0) {
        notifier_.showMessage(kApplicationTitle, kListenError);
        closeMain();
        return 0;
    }
    return 1;
}

int NetSocket::acceptPeer() {
    socklen_t length = kIpv4AddressLength;
    const int accepted =
        ::accept4(socketHandle_, reinterpret_cast<sockaddr*>(&acceptedPeer_), &length, SOCK_CLOEXEC);
    if (accepted < 0) {
        notifier_.showMessage(kApplicationTitle, kAcceptError);
        return 0;
    }
    connectionHandle_ = accepted;
    return 1;
}

int NetSocket::close() {
    closeMain();
    int result = 0;
    if (connectionHandle_ >= 0) {
        result = ::close(connectionHandle_);
        connectionHandle_ = -1;
    }
    return result;
}

void NetSocket::closeMain() {
    if (socketHandle_ >= 0) {
        ::close(socketHandle_);
        socketHandle_ = -1;
    }
}

int NetSocket::sendData(const void* data, int length) {
    if (!validRange(data, length)) return refuse();
    // MSG_NOSIGNAL: a stream peer that went away is an error result, not a signal that ends the
    // program.
    return static_cast<int>(::send(socketHandle_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL));
}

int NetSocket::sendConnected(const void* data, int length) {
    if (!validRange(data, length)) return refuse();
    return static_cast<int>(::send(connectionHandle_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL));
}

int NetSocket::receiveConnected(void* buffer, int size) {
    if (!validRange(buffer, size)) return refuse();
    return static_cast<int>(::recv(connectionHandle_, buffer, static_cast<std::size_t>(size), 0));
}

int NetSocket::receiveFrom(void* buffer, int size) {
    if (!validRange(buffer, size)) return refuse();
    sockaddr_in sender{};
    socklen_t senderLength = kIpv4AddressLength;
    // MSG_TRUNC makes the call return the datagram's real length, so one that did not fit is seen
    // and refused instead of being delivered cut short.
    const ssize_t received = ::recvfrom(socketHandle_, buffer, static_cast<std::size_t>(size), MSG_TRUNC,
                                        reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (received < 0) return -1;
    if (DatagramTap* tap = tap_.load(std::memory_order_acquire);
        tap != nullptr && sender.sin_family == AF_INET) {
        tap->datagramReceived(
            sender, buffer,
            std::min<std::size_t>(static_cast<std::size_t>(received), static_cast<std::size_t>(size)),
            static_cast<std::size_t>(received));
    }
    if (received > size) {
        errno = EMSGSIZE;
        return -1;
    }
    if (sender.sin_family == AF_INET && senderLength == kIpv4AddressLength) {
        lastSender_.store(packSender(sender), std::memory_order_release);
    }
    return static_cast<int>(received);
}

int NetSocket::replyToSender(const void* data, int length) {
    if (!validRange(data, length)) return refuse();
    // The acquire pairs with receiveFrom's release: a known sender also means the socket that
    // received from it is fully set up.
    return sendToAddress(data, length, unpackSender(lastSender_.load(std::memory_order_acquire)));
}

int NetSocket::sendToAddress(const void* data, int length, const sockaddr_in& destination) {
    if (!validRange(data, length)) return refuse();
    if (destination.sin_family != AF_INET) {
        errno = EDESTADDRREQ;
        return -1;
    }
    if (repliesHeld()) {
        errno = EPERM;
        return -1;
    }
    const ssize_t sent = ::sendto(socketHandle_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&destination), kIpv4AddressLength);
    if (DatagramTap* tap = tap_.load(std::memory_order_acquire); tap != nullptr && sent == length) {
        tap->datagramSent(destination, data, static_cast<std::size_t>(length));
    }
    return static_cast<int>(sent);
}

bool NetSocket::hasSender() const {
    return lastSender_.load(std::memory_order_acquire) != kNoSender;
}

sockaddr_in NetSocket::lastSender() const {
    return unpackSender(lastSender_.load(std::memory_order_acquire));
}
