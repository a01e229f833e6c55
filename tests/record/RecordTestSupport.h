#pragma once

// Small capture files made in the tests, with libpcap's own writer, and reading them back.
#include <arpa/inet.h>
#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "record/CaptureFormat.h"
#include "record/CaptureReader.h"

// A fresh, empty folder under the system's temporary folder, removed with the object.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/orvane-record-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// An IPv4 packet carrying one UDP datagram; addresses in host byte order.
inline Bytes udpPacket(std::uint32_t source, std::uint16_t sourcePort, std::uint32_t destination,
                       std::uint16_t destinationPort, const Bytes& payload) {
    Bytes packet(kIpv4UdpHeaderLength + payload.size());
    buildIpv4Udp(packet.data(), htonl(source), htons(sourcePort), htonl(destination), htons(destinationPort),
                 7, static_cast<std::uint32_t>(payload.size()), payload.data(), payload.size());
    return packet;
}

struct FrameToWrite {
    std::int64_t timeMicros;
    Bytes frame;
    std::uint32_t originalLength = 0;  // 0: the frame's size
};

// Writes a capture of link type `linkType` (a DLT value) with libpcap.
inline void writeCapture(const std::filesystem::path& path, int linkType,
                         const std::vector<FrameToWrite>& frames) {
    pcap_t* dead = pcap_open_dead(linkType, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    for (const FrameToWrite& frame : frames) {
        pcap_pkthdr header{};
        header.ts.tv_sec = static_cast<time_t>(frame.timeMicros / 1000000);
        header.ts.tv_usec = static_cast<suseconds_t>(frame.timeMicros % 1000000);
        header.caplen = static_cast<bpf_u_int32>(frame.frame.size());
        header.len = frame.originalLength != 0 ? frame.originalLength : header.caplen;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

inline std::uint32_t loopbackHost() {
    return INADDR_LOOPBACK;
}
