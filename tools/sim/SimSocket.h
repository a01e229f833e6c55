#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <optional>
#include <string>

// Resolves an IPv4 host name or dotted address; nothing when it does not resolve.
std::optional<sockaddr_in> resolveIpv4(const std::string& host, int port);

std::string addressText(const sockaddr_in& address);

// A non-blocking UDP socket bound to an ephemeral port on all interfaces; closed by the destructor.
class SimSocket {
public:
    // Check isOpen(); `error` tells why when it is not.
    SimSocket();
    ~SimSocket();
    SimSocket(const SimSocket&) = delete;
    SimSocket& operator=(const SimSocket&) = delete;

    bool isOpen() const { return handle_ >= 0; }
    const std::string& error() const { return error_; }
    int handle() const { return handle_; }

private:
    int handle_ = -1;
    std::string error_;
};
