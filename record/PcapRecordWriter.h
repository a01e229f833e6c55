#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "common/OutputFile.h"

struct pcap;
struct pcap_dumper;

// One capture file written with libpcap: classic pcap, link type raw IPv4, microsecond times,
// each datagram a record with a made-up IPv4 and UDP header. Writer thread only.
class PcapRecordWriter {
public:
    // Makes `path`, which must not exist yet; nullptr with `error` (an errno value) when it cannot.
    static std::unique_ptr<PcapRecordWriter> create(const std::filesystem::path& path, int& error);
    // Closes the file.
    ~PcapRecordWriter();
    PcapRecordWriter(const PcapRecordWriter&) = delete;
    PcapRecordWriter& operator=(const PcapRecordWriter&) = delete;

    // One datagram of `length` bytes, of which `keptLength` are kept. Network byte order.
    void write(std::int64_t timeMicros, std::uint32_t source, std::uint16_t sourcePort,
               std::uint32_t destination, std::uint16_t destinationPort, std::uint32_t length,
               const std::uint8_t* kept, std::size_t keptLength);
    // Hands what is written to the disk (and waits for it there); false with `error` when that, or
    // any write before it, failed: the cause of the first failure (ENOSPC for a full disk).
    bool flush(int& error);

private:
    explicit PcapRecordWriter(int fd);

    // The library buffers its writes; the stream under it keeps why one failed.
    CheckedWrites writes_;
    pcap* dead_ = nullptr;
    pcap_dumper* dumper_ = nullptr;
    std::uint16_t identification_ = 0;
};

// The address this host sends from towards `peer` (network byte order), as the routing table
// says; the loopback address when it cannot tell.
std::uint32_t localAddressToward(std::uint32_t peer);
