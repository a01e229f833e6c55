#include "record/CapturedDatagram.h"

#include <algorithm>

#include "net/TelemetryReceiver.h"
#include "record/CaptureFormat.h"
#include "record/CaptureReader.h"

namespace {

constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
constexpr std::uint16_t kEtherTypeQinQ = 0x88A8;
constexpr std::size_t kEthernetHeader = 14;
constexpr std::size_t kVlanTag = 4;
constexpr std::size_t kCookedHeader = 16;
constexpr std::size_t kCooked2Header = 20;
constexpr std::size_t kLoopbackHeader = 4;
// Address-family values for IPv4 in a BSD loopback header.
constexpr std::uint32_t kLoopbackInet = 2;
constexpr std::uint8_t kProtocolUdp = 17;

std::uint16_t be16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

std::uint32_t be32(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
}

CapturedDatagram damaged(const char* problem) {
    CapturedDatagram result;
    result.kind = CapturedDatagram::Kind::damaged;
    result.problem = problem;
    return result;
}

CapturedDatagram other() {
    return CapturedDatagram{};
}

// Where the IPv4 packet starts in the frame, or nothing when the frame carries something else.
struct Ipv4Start {
    bool ipv4 = false;
    bool damagedLink = false;
    std::size_t at = 0;
};

Ipv4Start findIpv4(std::uint32_t linkType, std::span<const std::uint8_t> frame) {
    const std::uint8_t* bytes = frame.data();
    const std::size_t size = frame.size();
    Ipv4Start start;
    switch (static_cast<LinkType>(linkType)) {
        case LinkType::rawIpv4:
            // Raw IP may carry IPv6 as well: the version nibble tells.
            start.ipv4 = size >= 1 && (bytes[0] >> 4) == 4;
            start.damagedLink = size < 1;
            return start;
        case LinkType::ipv4:
            start.ipv4 = true;
            return start;
        case LinkType::ethernet: {
            if (size < kEthernetHeader) break;
            std::size_t at = 12;
            std::uint16_t type = be16(bytes + at);
            // Up to two VLAN tags.
            for (int tags = 0; tags < 2 && (type == kEtherTypeVlan || type == kEtherTypeQinQ); ++tags) {
                at += kVlanTag;
                if (size < at + 2) {
                    start.damagedLink = true;
                    return start;
                }
                type = be16(bytes + at);
            }
            start.ipv4 = type == kEtherTypeIpv4;
            start.at = at + 2;
            return start;
        }
        case LinkType::linuxCooked:
            if (size < kCookedHeader) break;
            start.ipv4 = be16(bytes + 14) == kEtherTypeIpv4;
            start.at = kCookedHeader;
            return start;
        case LinkType::linuxCooked2:
            if (size < kCooked2Header) break;
            start.ipv4 = be16(bytes) == kEtherTypeIpv4;
            start.at = kCooked2Header;
            return start;
        case LinkType::bsdLoopback: {
            if (size < kLoopbackHeader) break;
            // The capturing machine's byte order, whichever it was.
            const std::uint32_t family = be32(bytes);
            start.ipv4 = family == kLoopbackInet || family == (kLoopbackInet << 24);
            start.at = kLoopbackHeader;
            return start;
        }
        case LinkType::openBsdLoopback:
            if (size < kLoopbackHeader) break;
            start.ipv4 = be32(bytes) == kLoopbackInet;
            start.at = kLoopbackHeader;
            return start;
    }
    start.damagedLink = true;
    return start;
}

}  // namespace

CapturedDatagram decodeCapturedFrame(std::uint32_t linkType, std::span<const std::uint8_t> frame,
                                     std::uint32_t originalLength) {
    const Ipv4Start start = findIpv4(linkType, frame);
    if (start.damagedLink) return damaged("frame shorter than its link-layer header");
    if (!start.ipv4) return other();
    if (start.at > frame.size()) return damaged("frame shorter than its link-layer header");

    const std::span<const std::uint8_t> ip = frame.subspan(start.at);
    // Bytes of the packet on the wire, beyond those captured.
    const std::uint64_t wireLength = originalLength >= frame.size() ? originalLength - start.at : ip.size();
    if (ip.size() < kIpv4HeaderLength) return damaged("IPv4 header cut short");
    if ((ip[0] >> 4) != 4) return damaged("IPv4 header does not say version 4");
    const std::size_t headerLength = std::size_t{ip[0] & 0x0Fu} * 4;
    if (headerLength < kIpv4HeaderLength) return damaged("IPv4 header length below 20 bytes");
    if (ip.size() < headerLength) return damaged("IPv4 options cut short");
    const std::size_t totalLength = be16(ip.data() + 2);
    if (totalLength < headerLength) return damaged("IPv4 total length shorter than its header");
    if (totalLength > wireLength) return damaged("IPv4 total length beyond the frame");
    if (ip[9] != kProtocolUdp) return other();
    const std::uint16_t flagsAndOffset = be16(ip.data() + 6);
    if ((flagsAndOffset & 0x3FFF) != 0) {  // more-fragments flag or an offset
        CapturedDatagram piece;
        piece.kind = CapturedDatagram::Kind::fragment;
        piece.source = be32(ip.data() + 12);
        piece.destination = be32(ip.data() + 16);
        return piece;
    }
    if (totalLength < headerLength + kUdpHeaderLength)
        return damaged("IPv4 packet too short for a UDP header");
    if (ip.size() < headerLength + kUdpHeaderLength) return damaged("UDP header cut short");
    const std::uint8_t* udp = ip.data() + headerLength;
    const std::size_t udpLength = be16(udp + 4);
    if (udpLength < kUdpHeaderLength) return damaged("UDP length below its 8-byte header");
    if (udpLength > totalLength - headerLength) return damaged("UDP length beyond its IPv4 packet");

    CapturedDatagram datagram;
    datagram.kind = CapturedDatagram::Kind::udp;
    datagram.source = be32(ip.data() + 12);
    datagram.destination = be32(ip.data() + 16);
    datagram.sourcePort = be16(udp);
    datagram.destinationPort = be16(udp + 2);
    datagram.length = static_cast<std::uint32_t>(udpLength - kUdpHeaderLength);
    const std::size_t payloadStart = headerLength + kUdpHeaderLength;
    const std::size_t captured = ip.size() - payloadStart;
    // Padding after the datagram (short Ethernet frames) is not part of it.
    datagram.payload = ip.subspan(payloadStart, std::min<std::size_t>(captured, datagram.length));
    return datagram;
}

FlightDatagramRole flightDatagramRole(const CapturedDatagram& datagram, std::uint16_t telemetryPort) {
    if (datagram.kind != CapturedDatagram::Kind::udp) return FlightDatagramRole::other;
    if (datagram.destinationPort == telemetryPort) {
        if (datagram.length == 0) return FlightDatagramRole::refusedEmpty;
        if (datagram.length > static_cast<std::uint32_t>(TelemetryReceiver::kReceiveBufferSize))
            return FlightDatagramRole::refusedOversize;
        if (datagram.payload.size() < datagram.length) return FlightDatagramRole::refusedCutByCapture;
        return FlightDatagramRole::line;
    }
    if (datagram.sourcePort == telemetryPort) return FlightDatagramRole::upload;
    if (datagram.sourcePort == kRecorderNotePort && datagram.destinationPort == kRecorderNotePort) {
        return FlightDatagramRole::recorderNote;
    }
    return FlightDatagramRole::other;
}

std::optional<std::uint16_t> recordedTelemetryPort(const std::string& path) {
    // The recorder writes its note first; a few records are looked at in case a capture of the
    // recorder's own traffic put something before it.
    constexpr int kRecordsLookedAt = 8;
    CaptureReader reader;
    std::string error;
    if (!reader.open(path, error)) return std::nullopt;
    CaptureReader::Record record;
    for (int i = 0; i < kRecordsLookedAt && reader.next(record) == CaptureReader::Status::record; ++i) {
        const CapturedDatagram datagram =
            decodeCapturedFrame(reader.linkType(), record.frame, record.originalLength);
        if (datagram.kind != CapturedDatagram::Kind::udp || datagram.sourcePort != kRecorderNotePort ||
            datagram.destinationPort != kRecorderNotePort) {
            continue;
        }
        if (const std::optional<RecorderNote> note = parseRecorderNote(datagram.payload)) return note->port;
    }
    return std::nullopt;
}
