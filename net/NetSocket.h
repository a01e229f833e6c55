#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>

#include <optional>
#include <string_view>

class DatagramTap;
class Notifier;

// The loopback address for "localhost" and any name under ".localhost" (in any letter case, with or
// without the final dot), which are never looked up: the machine's host table may lack them.
// Nothing for any other name.
std::optional<in_addr> loopbackNameAddress(std::string_view host);
// The IPv4 address of `host`: a loopback name as above, else the system resolver's first answer.
std::optional<in_addr> resolveIpv4Host(const char* host);

// The system's IPv4 socket endpoint: a datagram or stream socket. Set-up operations tell the
// operator of their own failure (a message box titled "Orvane") and return 0; data operations
// return the socket call's result and show nothing.
//
// Threads: the receiver thread calls receiveFrom while the user-interface thread calls
// replyToSender on the same socket; the sender address crosses between them published whole.
class NetSocket {
public:
    explicit NetSocket(Notifier& notifier);
    // Releases nothing: an open socket stays open.
    virtual ~NetSocket();

    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // POSIX needs no start-up step: always 1.
    virtual int startup();
    // A datagram socket when `protocol` is exactly "UDP", else a stream socket. 1, or 0 with
    // "Invalid socket error!".
    virtual int create(const char* protocol);
    // Binds the bind address (the wildcard address unless set) and `port` (low 16 bits). 1, or 0 with "bind()
    // error" and the socket closed.
    virtual int bindPort(int port);
    // Resolves `host`, connects to it. 1; 0 with the socket closed when the name does not resolve
    // (no message, no address used) or with "Connection to OpenGC failed!" when connect fails.
    virtual int connectTo(const char* host, int port);
    // Backlog 10. 1, or 0 with "listen() error" and the socket closed.
    virtual int listenForPeers();
    // 1, or 0 with "accept() error"; the listening socket stays open.
    virtual int acceptPeer();
    // Closes the main socket, then the accepted connection; only sockets that are open. Returns the
    // result of the second close (0 when there was nothing to close).
    virtual int close();
    virtual int sendData(const void* data, int length);
    virtual int sendConnected(const void* data, int length);
    virtual int receiveConnected(void* buffer, int size);
    // Blocks until a datagram arrives and records its sender. A datagram larger than `size` is -1,
    // never delivered in part, and leaves the recorded sender as it was.
    virtual int receiveFrom(void* buffer, int size);
    // Sends to the sender of the last datagram received; -1 and nothing sent before the first one
    // or while replies are held.
    virtual int replyToSender(const void* data, int length);

    // Sends one datagram to `destination` (which must be an IPv4 address); -1 otherwise.
    int sendToAddress(const void* data, int length, const sockaddr_in& destination);
    // The local address that bindPort binds, in network byte order; the wildcard address (all
    // interfaces) unless set. Set it before bindPort.
    void setBindAddress(in_addr_t address) { bindAddress_ = address; }

    // True once receiveFrom has received a datagram (so replyToSender has a destination).
    bool hasSender() const;
    // The sender of the last datagram, whole; family AF_UNSPEC before the first.
    sockaddr_in lastSender() const;

    // Shows every datagram received and every reply sent to `tap` (nullptr: none), which must
    // outlive its use. May be set from any thread.
    void setTap(DatagramTap* tap) { tap_.store(tap, std::memory_order_release); }

    // While held (a recording is replayed) nothing is sent to the aircraft. Any thread.
    void holdReplies(bool held) { repliesHeld_.store(held, std::memory_order_release); }
    bool repliesHeld() const { return repliesHeld_.load(std::memory_order_acquire); }

    int socketHandle() const { return socketHandle_; }
    int connectionHandle() const { return connectionHandle_; }
    std::uint16_t port() const { return port_; }

private:
    // Closes socketHandle when it is open and marks it closed.
    void closeMain();

    Notifier& notifier_;
    std::uint16_t port_ = 0;
    int socketHandle_ = -1;
    int connectionHandle_ = -1;
    sockaddr_in localAddress_{};
    sockaddr_in acceptedPeer_{};
    in_addr_t bindAddress_ = htonl(INADDR_ANY);
    // Packed whole (packSender), so that a reply never uses half of one sender and half of another.
    std::atomic<std::uint64_t> lastSender_{0};
    std::atomic<DatagramTap*> tap_{nullptr};
    std::atomic<bool> repliesHeld_{false};
};
