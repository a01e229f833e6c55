#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// An IPv4 address and port packed into one 64-bit word, so that it crosses between threads whole in
// one atomic: the address in the high 32 bits, the port in the next 16 (both in network byte order)
// and bit 0 set when the word holds an address at all.
inline constexpr std::uint64_t kNoSender = 0;
std::uint64_t packSender(const sockaddr_in& address);
// Family AF_UNSPEC for kNoSender.
sockaddr_in unpackSender(std::uint64_t packed);

// "127.0.0.1:40123".
std::string formatSender(const sockaddr_in& address);

// The aircraft's address as the operator fixes it: telemetry is taken only from this address, and
// only from this port unless the port is 0 (any port).
struct AircraftAddress {
    in_addr_t address = 0;  // network byte order
    in_port_t port = 0;     // network byte order; 0 for any port

    bool matches(const sockaddr_in& sender) const;
    // "10.0.0.7", or "10.0.0.7:14550" with a port.
    std::string text() const;
    std::uint64_t packed() const;
    // Nothing for kNoSender.
    static std::optional<AircraftAddress> fromPacked(std::uint64_t packed);
};

// The IPv4 address of a host name; nothing when it does not resolve. The program resolves through
// the system; tests give their own, so that no lookup leaves the machine.
using NameResolver = std::function<std::optional<in_addr_t>(const std::string& name)>;
std::optional<in_addr_t> resolveIpv4Name(const std::string& name);

// Each parser fills its result and returns an empty text, or returns why the text was refused (a
// sentence for the operator) and leaves the result as it was.
//
// A host is four dotted decimal numbers 0..255, or a name that resolves to an IPv4 address.
std::string parseHostAddress(std::string_view text, in_addr_t& address,
                             const NameResolver& resolve = resolveIpv4Name);
// A port is a decimal number 1..65535; the result is in network byte order.
std::string parsePortNumber(std::string_view text, in_port_t& port);
// "ADDRESS" or "ADDRESS:PORT". The wildcard and broadcast addresses are not one aircraft.
std::string parseAircraftAddress(std::string_view text, AircraftAddress& aircraft,
                                 const NameResolver& resolve = resolveIpv4Name);
// An address of this computer that a datagram socket can be bound to (tried on a free port).
std::string checkLocalAddress(in_addr_t address);
