#include "record/CaptureReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "record/CapturedDatagram.h"
#include "tests/record/RecordTestSupport.h"

namespace {

constexpr std::uint32_t kAircraft = 0x0A000002;  // 10.0.0.2
constexpr std::uint32_t kGround = 0x0A000001;

Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The frames of one capture: telemetry to 9001, an upload from it, a TCP segment, something that
// is not IPv4, and a fragment.
struct LinkCase {
    const char* name;
    int dlt;
    Bytes ipv4Header;   // put before an IPv4 packet
    Bytes otherHeader;  // put before a packet that is not IPv4
};

Bytes tcpPacket() {
    Bytes packet = udpPacket(kAircraft, 4000, kGround, 80, bytesOf("GET /"));
    packet[9] = 6;  // TCP
    return packet;
}

Bytes fragmentPacket() {
    Bytes packet = udpPacket(kAircraft, 4000, kGround, 9001, bytesOf("piece"));
    packet[6] = 0x20;  // more fragments
    return packet;
}

const Bytes kEthernetIpv4 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x00};
const Bytes kEthernetArp = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x06};
const Bytes kEthernetVlanIpv4 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x81, 0x00, 0x00, 0x05, 0x08, 0x00};
const Bytes kCookedIpv4 = {0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x00};
const Bytes kCookedIpv6 = {0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0x86, 0xDD};
const Bytes kCooked2Ipv4 = {0x08, 0x00, 0, 0, 0, 0, 0, 1, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kCooked2Ipv6 = {0x86, 0xDD, 0, 0, 0, 0, 0, 1, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(CaptureReader, ReadsTheDatagramsOfEveryLinkTypeAndSetsTheRestApart) {
    const LinkCase cases[] = {
        {"ethernet", DLT_EN10MB, kEthernetIpv4, kEthernetArp},
        {"ethernet with a VLAN tag", DLT_EN10MB, kEthernetVlanIpv4, kEthernetArp},
        {"linux cooked v1", DLT_LINUX_SLL, kCookedIpv4, kCookedIpv6},
        {"linux cooked v2", DLT_LINUX_SLL2, kCooked2Ipv4, kCooked2Ipv6},
        {"bsd loopback, little-endian machine", DLT_NULL, {2, 0, 0, 0}, {24, 0, 0, 0}},
        {"bsd loopback, big-endian machine", DLT_NULL, {0, 0, 0, 2}, {0, 0, 0, 24}},
        {"openbsd loopback", DLT_LOOP, {0, 0, 0, 2}, {0, 0, 0, 24}},
        {"raw ip", DLT_RAW, {}, {0x60, 0, 0, 0, 0, 0, 17, 64}},
        {"raw ipv4", DLT_IPV4, {}, {}},
    };
    const Bytes telemetry = bytesOf("0 0 0 0 0 0 0 0 0 0 0 0 10 20 40.5 -75.5 30 1 1 1");
    const Bytes upload = bytesOf("G 1 0.5 0 0");
    for (const LinkCase& link : cases) {
        SCOPED_TRACE(link.name);
        ScratchFolder scratch;
        const std::filesystem::path file = scratch.path() / "capture.pcap";
        std::vector<FrameToWrite> frames = {
            {1000000, link.ipv4Header + udpPacket(kAircraft, 4000, kGround, 9001, telemetry)},
            {2000000, link.ipv4Header + udpPacket(kGround, 9001, kAircraft, 4000, upload)},
            {3000000, link.ipv4Header + tcpPacket()},
            {4000000, link.ipv4Header + fragmentPacket()},
        };
        if (!link.otherHeader.empty()) frames.push_back({5000000, link.otherHeader + Bytes(40, 0)});
        writeCapture(file, link.dlt, frames);

        CaptureReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(file, error)) << error;
        std::vector<CapturedDatagram::Kind> kinds;
        std::vector<Bytes> payloads;
        CaptureReader::Record record;
        while (reader.next(record) == CaptureReader::Status::record) {
            const CapturedDatagram datagram =
                decodeCapturedFrame(reader.linkType(), record.frame, record.originalLength);
            kinds.push_back(datagram.kind);
            if (datagram.kind == CapturedDatagram::Kind::udp) {
                payloads.emplace_back(datagram.payload.begin(), datagram.payload.end());
                if (payloads.size() == 1) {
                    EXPECT_EQ(record.timeMicros, 1000000);
                    EXPECT_EQ(datagram.source, kAircraft);
                    EXPECT_EQ(datagram.sourcePort, 4000);
                    EXPECT_EQ(datagram.destination, kGround);
                    EXPECT_EQ(datagram.destinationPort, 9001);
                    EXPECT_EQ(datagram.length, telemetry.size());
                }
            }
        }
        std::vector<CapturedDatagram::Kind> expected = {
            CapturedDatagram::Kind::udp, CapturedDatagram::Kind::udp, CapturedDatagram::Kind::other,
            CapturedDatagram::Kind::fragment};
        if (!link.otherHeader.empty()) expected.push_back(CapturedDatagram::Kind::other);
        EXPECT_EQ(kinds, expected);
        ASSERT_EQ(payloads.size(), 2u);
        EXPECT_EQ(payloads[0], telemetry);
        EXPECT_EQ(payloads[1], upload);
    }
}

TEST(CaptureReader, DecodesOrRefusesEachShapeOfIpv4Packet) {
    const Bytes payload = bytesOf("hello");
    const Bytes plain = udpPacket(kAircraft, 4000, kGround, 9001, payload);
    auto with = [&](std::size_t at, std::uint8_t value) {
        Bytes packet = plain;
        packet[at] = value;
        return packet;
    };
    // Options: four more header bytes, the lengths grown to match.
    Bytes options = plain;
    options.insert(options.begin() + kIpv4HeaderLength, {1, 1, 1, 0});
    options[0] = 0x46;
    options[3] = static_cast<std::uint8_t>(options[3] + 4);
    struct Case {
        const char* name;
        Bytes packet;
        std::uint32_t originalLength;  // 0: as captured
        CapturedDatagram::Kind kind;
        std::size_t payloadBytes;
    };
    const Case cases[] = {
        {"plain", plain, 0, CapturedDatagram::Kind::udp, 5},
        {"with options", options, 0, CapturedDatagram::Kind::udp, 5},
        {"cut by the capture", Bytes(plain.begin(), plain.end() - 2),
         static_cast<std::uint32_t>(plain.size()), CapturedDatagram::Kind::udp, 3},
        {"header length below 20", with(0, 0x44), 0, CapturedDatagram::Kind::damaged, 0},
        {"options beyond the frame", with(0, 0x4F), 0, CapturedDatagram::Kind::damaged, 0},
        {"total length beyond the frame", with(3, 200), 0, CapturedDatagram::Kind::damaged, 0},
        {"total length below the header", with(3, 10), 0, CapturedDatagram::Kind::damaged, 0},
        {"udp length beyond the packet", with(25, 200), 0, CapturedDatagram::Kind::damaged, 0},
        {"udp length below its header", with(25, 4), 0, CapturedDatagram::Kind::damaged, 0},
        {"version 6 in an IPv4 frame", with(0, 0x65), 0, CapturedDatagram::Kind::damaged, 0},
        {"fragment at an offset", with(7, 0x10), 0, CapturedDatagram::Kind::fragment, 0},
        {"ten bytes", Bytes(plain.begin(), plain.begin() + 10), 0, CapturedDatagram::Kind::damaged, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t original =
            c.originalLength != 0 ? c.originalLength : static_cast<std::uint32_t>(c.packet.size());
        const CapturedDatagram datagram =
            decodeCapturedFrame(static_cast<std::uint32_t>(LinkType::ipv4), c.packet, original);
        EXPECT_EQ(datagram.kind, c.kind) << datagram.problem;
        if (c.kind == CapturedDatagram::Kind::udp) {
            EXPECT_EQ(datagram.length, payload.size());
            EXPECT_EQ(Bytes(datagram.payload.begin(), datagram.payload.end()),
                      Bytes(payload.begin(), payload.begin() + static_cast<long>(c.payloadBytes)));
        }
        if (c.kind == CapturedDatagram::Kind::damaged) {
            EXPECT_STRNE(datagram.problem, "");
        }
    }
}

Bytes fileHeader(std::uint32_t magic, std::uint32_t linkType) {
    Bytes header(24, 0);
    std::memcpy(header.data(), &magic, 4);
    header[4] = 2;
    header[6] = 4;
    const std::uint32_t snap = 65535;
    std::memcpy(header.data() + 16, &snap, 4);
    std::memcpy(header.data() + 20, &linkType, 4);
    return header;
}

TEST(CaptureReader, RefusesFilesItCannotReadNamingFileAndFault) {
    struct Case {
        const char* name;
        Bytes contents;
        const char* says;
    };
    const Bytes kHeader = fileHeader(0xA1B2C3D4, 101);
    const Case cases[] = {
        {"empty", {}, "shorter than its 24-byte header"},
        {"text", bytesOf("0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0\n"), "not a pcap capture file"},
        {"pcapng", {0x0A, 0x0D, 0x0D, 0x0A, 28, 0, 0, 0, 0x4D, 0x3C, 0x2B, 0x1A}, "pcapng"},
        {"header cut", Bytes(kHeader.begin(), kHeader.begin() + 20), "shorter than its 24-byte header"},
        {"wireless link", fileHeader(0xA1B2C3D4, 105), "link type 105"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        const std::filesystem::path file = scratch.path() / "bad.pcap";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.contents.data()),
                   static_cast<std::streamsize>(c.contents.size()));
        CaptureReader reader;
        std::string error;
        EXPECT_FALSE(reader.open(file, error));
        EXPECT_NE(error.find(file.string()), std::string::npos) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    CaptureReader reader;
    std::string error;
    EXPECT_FALSE(reader.open("/nonexistent/flight.pcap", error));
    EXPECT_NE(error.find("/nonexistent/flight.pcap"), std::string::npos);
}

Bytes recordBytes(std::uint32_t seconds, std::uint32_t fraction, const Bytes& frame, bool swap = false,
                  std::uint32_t capturedLength = 0) {
    auto put = [&](Bytes& out, std::uint32_t value) {
        if (swap) value = __builtin_bswap32(value);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
        out.insert(out.end(), bytes, bytes + 4);
    };
    Bytes out;
    put(out, seconds);
    put(out, fraction);
    put(out, capturedLength != 0 ? capturedLength : static_cast<std::uint32_t>(frame.size()));
    put(out, static_cast<std::uint32_t>(frame.size()));
    return out + frame;
}

TEST(CaptureReader, OtherByteOrderAndNanosecondTimes) {
    ScratchFolder scratch;
    const std::filesystem::path file = scratch.path() / "nano.pcap";
    const Bytes packet = udpPacket(kAircraft, 4000, kGround, 9001, bytesOf("x"));
    Bytes contents = fileHeader(__builtin_bswap32(0xA1B23C4D), __builtin_bswap32(101));
    contents = contents + recordBytes(7, 123456789, packet, true);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
    CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(file, error)) << error;
    CaptureReader::Record record;
    ASSERT_EQ(reader.next(record), CaptureReader::Status::record);
    EXPECT_EQ(record.timeMicros, 7123456);
    EXPECT_EQ(record.frame.size(), packet.size());
    EXPECT_EQ(reader.next(record), CaptureReader::Status::end);
}

TEST(CaptureReader, DamagedRecordHeaderEndsTheFileAfterWhatCameBefore) {
    ScratchFolder scratch;
    const std::filesystem::path file = scratch.path() / "damaged.pcap";
    const Bytes packet = udpPacket(kAircraft, 4000, kGround, 9001, bytesOf("x"));
    const Bytes contents = fileHeader(0xA1B2C3D4, 101) + recordBytes(1, 0, packet) +
                           recordBytes(2, 0, packet, false, 0x7FFFFFFF) + recordBytes(3, 2000000, packet);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
    CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(file, error));
    CaptureReader::Record record;
    ASSERT_EQ(reader.next(record), CaptureReader::Status::record);
    EXPECT_EQ(reader.next(record), CaptureReader::Status::damaged);
    EXPECT_NE(reader.problem().find(file.string()), std::string::npos);
    EXPECT_NE(reader.problem().find("at byte 69"), std::string::npos) << reader.problem();
}

TEST(CaptureReader, FollowsAFileThatIsStillBeingWrittenAndSeeksBack) {
    ScratchFolder scratch;
    const std::filesystem::path file = scratch.path() / "growing.pcap";
    const Bytes first = recordBytes(1, 0, udpPacket(kAircraft, 4000, kGround, 9001, bytesOf("one")));
    const Bytes second = recordBytes(2, 0, udpPacket(kAircraft, 4000, kGround, 9001, bytesOf("two")));
    std::ofstream out(file, std::ios::binary);
    auto append = [&](const Bytes& bytes, std::size_t from, std::size_t to) {
        out.write(reinterpret_cast<const char*>(bytes.data() + from),
                  static_cast<std::streamsize>(to - from));
        out.flush();
    };
    const Bytes header = fileHeader(0xA1B2C3D4, 101);
    append(header, 0, header.size());
    append(first, 0, first.size());
    append(second, 0, 10);

    CaptureReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(file, error));
    CaptureReader::Record record;
    ASSERT_EQ(reader.next(record), CaptureReader::Status::record);
    const std::uint64_t firstOffset = record.offset;
    EXPECT_EQ(reader.next(record), CaptureReader::Status::truncatedTail);
    append(second, 10, 30);
    EXPECT_EQ(reader.next(record), CaptureReader::Status::truncatedTail);
    append(second, 30, second.size());
    ASSERT_EQ(reader.next(record), CaptureReader::Status::record);
    EXPECT_EQ(record.timeMicros, 2000000);
    EXPECT_EQ(reader.next(record), CaptureReader::Status::end);

    reader.seek(firstOffset);
    ASSERT_EQ(reader.next(record), CaptureReader::Status::record);
    EXPECT_EQ(record.timeMicros, 1000000);
}

}  // namespace
