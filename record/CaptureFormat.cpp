#include "record/CaptureFormat.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

bool isKnownLinkType(std::uint32_t linkType) {
    switch (static_cast<LinkType>(linkType)) {
        case LinkType::bsdLoopback:
        case LinkType::ethernet:
        case LinkType::rawIpv4:
        case LinkType::openBsdLoopback:
        case LinkType::linuxCooked:
        case LinkType::ipv4:
        case LinkType::linuxCooked2:
            return true;
    }
    return false;
}

std::size_t formatRecorderNote(const RecorderNote& note, char* text, std::size_t capacity) {
    std::string extra;
    if (note.port) extra += " port=" + std::to_string(*note.port);
    if (note.aircraftKnown)
        extra += " aircraft=" + (note.aircraft ? note.aircraft->text() : std::string("any"));
    const int length = std::snprintf(text, capacity, "%.*s dropped=%llu recorded=%llu%s\n",
                                     static_cast<int>(kRecorderNoteMagic.size()), kRecorderNoteMagic.data(),
                                     static_cast<unsigned long long>(note.dropped),
                                     static_cast<unsigned long long>(note.recorded), extra.c_str());
    if (length < 0) return 0;
    return std::min(static_cast<std::size_t>(length), capacity == 0 ? 0 : capacity - 1);
}

namespace {

// The number after `key` in `text`, or nothing.
std::optional<std::uint64_t> countAfter(std::string_view text, std::string_view key) {
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    std::uint64_t value = 0;
    const char* begin = text.data() + at + key.size();
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc{} || end == begin) return std::nullopt;
    return value;
}

// The word after `key` in `text` (up to a blank or the line's end), or nothing.
std::optional<std::string_view> wordAfter(std::string_view text, std::string_view key) {
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = text.substr(at + key.size());
    return rest.substr(0, rest.find_first_of(" \n"));
}

}  // namespace

std::optional<RecorderNote> parseRecorderNote(std::span<const std::uint8_t> payload) {
    const std::string_view text(reinterpret_cast<const char*>(payload.data()), payload.size());
    if (text.substr(0, kRecorderNoteMagic.size()) != kRecorderNoteMagic) return std::nullopt;
    const auto dropped = countAfter(text, " dropped=");
    const auto recorded = countAfter(text, " recorded=");
    if (!dropped || !recorded) return std::nullopt;
    RecorderNote note;
    note.dropped = *dropped;
    note.recorded = *recorded;
    if (const auto port = countAfter(text, " port="); port && *port >= 1 && *port <= 0xFFFF) {
        note.port = static_cast<std::uint16_t>(*port);
    }
    if (const auto aircraft = wordAfter(text, " aircraft=")) {
        AircraftAddress address;
        // Only the written forms; a name in a file is never looked up.
        if (*aircraft == "any") {
            note.aircraftKnown = true;
        } else if (parseAircraftAddress(*aircraft, address, nullptr).empty()) {
            note.aircraftKnown = true;
            note.aircraft = address;
        }
    }
    return note;
}

std::uint16_t ipv4HeaderChecksum(const std::uint8_t* header, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) sum += (std::uint32_t{header[i]} << 8) | header[i + 1];
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::size_t buildIpv4Udp(std::uint8_t* out, std::uint32_t source, std::uint16_t sourcePort,
                         std::uint32_t destination, std::uint16_t destinationPort,
                         std::uint16_t identification, std::uint32_t datagramLength, const std::uint8_t* kept,
                         std::size_t keptLength) {
    // A UDP datagram over IPv4 is never longer than this; the lengths are 16-bit fields.
    const std::uint32_t udpLength =
        std::min<std::uint32_t>(datagramLength + kUdpHeaderLength, 0xFFFF - kIpv4HeaderLength);
    const std::uint32_t totalLength = udpLength + kIpv4HeaderLength;
    auto put16 = [](std::uint8_t* at, std::uint32_t value) {
        at[0] = static_cast<std::uint8_t>(value >> 8);
        at[1] = static_cast<std::uint8_t>(value);
    };
    std::uint8_t* ip = out;
    ip[0] = 0x45;  // version 4, five 32-bit words
    ip[1] = 0;
    put16(ip + 2, totalLength);
    put16(ip + 4, identification);
    put16(ip + 6, 0x4000);  // don't fragment
    ip[8] = 64;
    ip[9] = 17;  // UDP
    put16(ip + 10, 0);
    std::memcpy(ip + 12, &source, 4);
    std::memcpy(ip + 16, &destination, 4);
    put16(ip + 10, ipv4HeaderChecksum(ip, kIpv4HeaderLength));

    std::uint8_t* udp = out + kIpv4HeaderLength;
    std::memcpy(udp, &sourcePort, 2);
    std::memcpy(udp + 2, &destinationPort, 2);
    put16(udp + 4, udpLength);
    put16(udp + 6, 0);  // no checksum, which IPv4 allows
    if (keptLength > 0) std::memcpy(out + kIpv4UdpHeaderLength, kept, keptLength);
    return kIpv4UdpHeaderLength + keptLength;
}
