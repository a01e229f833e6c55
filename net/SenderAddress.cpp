#include "net/SenderAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace {

constexpr std::uint64_t kSenderValid = 1;
// A name longer than this is not a host name (the system's own limit is 253 characters).
constexpr std::size_t kMaxNameLength = 253;
constexpr unsigned long kMaxPort = 65535;

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool isDottedDecimal(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

bool isHostNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::uint64_t packSender(const sockaddr_in& address) {
    return (std::uint64_t{address.sin_addr.s_addr} << 32) | (std::uint64_t{address.sin_port} << 16) |
           kSenderValid;
}

sockaddr_in unpackSender(std::uint64_t packed) {
    sockaddr_in address{};
    if ((packed & kSenderValid) == 0) {
        address.sin_family = AF_UNSPEC;
        return address;
    }
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = static_cast<in_addr_t>(packed >> 32);
    address.sin_port = static_cast<in_port_t>((packed >> 16) & 0xFFFFu);
    return address;
}

std::string formatSender(const sockaddr_in& address) {
    std::array<char, INET_ADDRSTRLEN> text{};
    if (::inet_ntop(AF_INET, &address.sin_addr, text.data(), text.size()) == nullptr) return "?";
    return std::string(text.data()) + ":" + std::to_string(ntohs(address.sin_port));
}

bool AircraftAddress::matches(const sockaddr_in& sender) const {
    return sender.sin_family == AF_INET && sender.sin_addr.s_addr == address &&
           (port == 0 || sender.sin_port == port);
}

std::string AircraftAddress::text() const {
    sockaddr_in asSender{};
    asSender.sin_family = AF_INET;
    asSender.sin_addr.s_addr = address;
    asSender.sin_port = port;
    std::string text = formatSender(asSender);
    if (port == 0) text.erase(text.rfind(':'));
    return text;
}

std::uint64_t AircraftAddress::packed() const {
    sockaddr_in asSender{};
    asSender.sin_family = AF_INET;
    asSender.sin_addr.s_addr = address;
    asSender.sin_port = port;
    return packSender(asSender);
}

std::optional<AircraftAddress> AircraftAddress::fromPacked(std::uint64_t packed) {
    const sockaddr_in unpacked = unpackSender(packed);
    if (unpacked.sin_family != AF_INET) return std::nullopt;
    return AircraftAddress{unpacked.sin_addr.s_addr, unpacked.sin_port};
}

std::optional<in_addr_t> resolveIpv4Name(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
    sockaddr_in resolved{};
    std::memcpy(&resolved, found->ai_addr, sizeof resolved);
    ::freeaddrinfo(found);
    return resolved.sin_addr.s_addr;
}

std::string parseHostAddress(std::string_view text, in_addr_t& address, const NameResolver& resolve) {
    if (text.empty()) return "No address was given.";
    // Digits and dots are an address and nothing else: "10.1" or "012.0.0.1" are refused rather than
    // read in one of the old shorthand forms as some other address.
    if (isDottedDecimal(text)) {
        in_addr parsed{};
        if (::inet_pton(AF_INET, std::string(text).c_str(), &parsed) != 1) {
            return quoted(text) + " is not an IPv4 address (four numbers 0 to 255 separated by dots).";
        }
        address = parsed.s_addr;
        return {};
    }
    if (text.size() > kMaxNameLength || !std::all_of(text.begin(), text.end(), isHostNameCharacter)) {
        return quoted(text) + " is neither an IPv4 address nor a host name.";
    }
    const std::optional<in_addr_t> resolved = resolve ? resolve(std::string(text)) : std::nullopt;
    if (!resolved) return "The name " + quoted(text) + " does not resolve to an IPv4 address.";
    address = *resolved;
    return {};
}

std::string parsePortNumber(std::string_view text, in_port_t& port) {
    const bool digits = !text.empty() && text.size() <= 5 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const unsigned long value = digits ? std::stoul(std::string(text)) : 0;
    if (!digits || value == 0 || value > kMaxPort) {
        return "The port " + quoted(text) + " is not a number from 1 to 65535.";
    }
    port = htons(static_cast<std::uint16_t>(value));
    return {};
}

std::string parseAircraftAddress(std::string_view text, AircraftAddress& aircraft,
                                 const NameResolver& resolve) {
    const std::size_t colon = text.find(':');
    const std::string_view host = text.substr(0, colon);
    AircraftAddress parsed;
    if (colon != std::string_view::npos) {
        if (std::string error = parsePortNumber(text.substr(colon + 1), parsed.port); !error.empty()) {
            return error;
        }
    }
    if (std::string error = parseHostAddress(host, parsed.address, resolve); !error.empty()) return error;
    if (parsed.address == htonl(INADDR_ANY) || parsed.address == htonl(INADDR_BROADCAST)) {
        return quoted(host) + " is not the address of one aircraft.";
    }
    aircraft = parsed;
    return {};
}

std::string checkLocalAddress(in_addr_t address) {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return "No socket could be made to try the address.";
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    const bool bound = ::bind(probe, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    ::close(probe);
    if (bound) return {};
    local.sin_port = 0;
    std::string text = formatSender(local);
    text.erase(text.rfind(':'));
    return text + " is not an address of this computer.";
}
