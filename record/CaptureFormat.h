#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "net/SenderAddress.h"

// How a flight is kept in a capture file: classic pcap, link type raw IPv4, microsecond times; each
// datagram one record with an IPv4 and UDP header made up around it.

// Link types of the capture files that are read (the numbers of the pcap file format).
enum class LinkType : std::uint32_t {
    bsdLoopback = 0,  // 4-byte address family in the capturing machine's byte order
    ethernet = 1,
    rawIpv4 = 101,          // the bare IP packet (the recorder's own)
    openBsdLoopback = 108,  // 4-byte address family in network byte order
    linuxCooked = 113,      // Linux "any" device, 16-byte header
    ipv4 = 228,             // the bare IPv4 packet
    linuxCooked2 = 276,     // Linux "any" device, 20-byte header
};
bool isKnownLinkType(std::uint32_t linkType);

inline constexpr std::size_t kIpv4HeaderLength = 20;
inline constexpr std::size_t kUdpHeaderLength = 8;
inline constexpr std::size_t kIpv4UdpHeaderLength = kIpv4HeaderLength + kUdpHeaderLength;
// The longest record the recorder writes: the headers and the 200 bytes kept of a datagram.
inline constexpr std::uint32_t kRecorderSnapLength = kIpv4UdpHeaderLength + 200;

// The recorder's own notes (the drop count) are UDP datagrams from and to this port on the
// loopback address, so that every capture reader shows them as ordinary traffic apart from the
// telemetry; their text starts with kRecorderNoteMagic.
inline constexpr std::uint16_t kRecorderNotePort = 9000;
inline constexpr std::string_view kRecorderNoteMagic = "ORVANE-RECORDER";

// "ORVANE-RECORDER dropped=<n> recorded=<m> port=<p> aircraft=<a>\n": the counts since the file
// was opened, the telemetry port and the sender the telemetry was taken from from this note on
// ("any", "10.0.0.7" or "10.0.0.7:14550"). Files of older recorders have neither of the last two:
// their port is unknown and every sender was taken.
struct RecorderNote {
    RecorderNote(std::uint64_t droppedCount = 0, std::uint64_t recordedCount = 0)
        : dropped(droppedCount), recorded(recordedCount) {}
    std::uint64_t dropped = 0;
    std::uint64_t recorded = 0;
    std::optional<std::uint16_t> port;
    bool aircraftKnown = false;               // the note says which sender was taken
    std::optional<AircraftAddress> aircraft;  // nothing: any sender
};
std::size_t formatRecorderNote(const RecorderNote& note, char* text, std::size_t capacity);
std::optional<RecorderNote> parseRecorderNote(std::span<const std::uint8_t> payload);

// Writes an IPv4 header (no options, don't-fragment, TTL 64, its checksum) and a UDP header
// (no checksum) for a datagram of `datagramLength` bytes into `out` (28 bytes), followed by the
// `keptLength` bytes kept of it. Addresses and ports in network byte order. The lengths in the
// headers are those of the whole datagram. Returns the bytes written.
std::size_t buildIpv4Udp(std::uint8_t* out, std::uint32_t source, std::uint16_t sourcePort,
                         std::uint32_t destination, std::uint16_t destinationPort,
                         std::uint16_t identification, std::uint32_t datagramLength, const std::uint8_t* kept,
                         std::size_t keptLength);

// The IPv4 header checksum over `length` bytes (the checksum field itself taken as it stands).
std::uint16_t ipv4HeaderChecksum(const std::uint8_t* header, std::size_t length);
