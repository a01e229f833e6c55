#include "record/PcapRecordWriter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "record/CaptureFormat.h"

std::unique_ptr<PcapRecordWriter> PcapRecordWriter::create(const std::filesystem::path& path, int& error) {
    // O_EXCL: an earlier flight of the same second is never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    pcap_t* dead = pcap_open_dead_with_tstamp_precision(DLT_RAW, static_cast<int>(kRecorderSnapLength),
                                                        PCAP_TSTAMP_PRECISION_MICRO);
    pcap_dumper_t* dumper = dead != nullptr ? pcap_dump_fopen(dead, file) : nullptr;
    if (dumper == nullptr) {
        error = ENOMEM;
        std::fclose(file);
        if (dead != nullptr) pcap_close(dead);
        return nullptr;
    }
    return std::unique_ptr<PcapRecordWriter>(new PcapRecordWriter(dead, dumper));
}

PcapRecordWriter::PcapRecordWriter(pcap* dead, pcap_dumper* dumper) : dead_(dead), dumper_(dumper) {}

PcapRecordWriter::~PcapRecordWriter() {
    pcap_dump_close(dumper_);
    pcap_close(dead_);
}

void PcapRecordWriter::write(std::int64_t timeMicros, std::uint32_t source, std::uint16_t sourcePort,
                             std::uint32_t destination, std::uint16_t destinationPort, std::uint32_t length,
                             const std::uint8_t* kept, std::size_t keptLength) {
    std::uint8_t packet[kRecorderSnapLength];
    if (keptLength > kRecorderSnapLength - kIpv4UdpHeaderLength)
        keptLength = kRecorderSnapLength - kIpv4UdpHeaderLength;
    const std::size_t captured = buildIpv4Udp(packet, source, sourcePort, destination, destinationPort,
                                              identification_++, length, kept, keptLength);
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(timeMicros / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(timeMicros % 1000000);
    header.caplen = static_cast<bpf_u_int32>(captured);
    // The whole IPv4 packet the datagram came in, as the header's total length says.
    header.len = static_cast<bpf_u_int32>((packet[2] << 8) | packet[3]);
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &header, packet);
}

bool PcapRecordWriter::flush(int& error) {
    errno = 0;
    std::FILE* file = pcap_dump_file(dumper_);
    if (pcap_dump_flush(dumper_) != 0 || std::ferror(file) != 0) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    if (::fdatasync(::fileno(file)) != 0 && errno != EINVAL) {
        error = errno;
        return false;
    }
    return true;
}

std::uint32_t localAddressToward(std::uint32_t peer) {
    const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return loopback;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(9);  // any port: a datagram socket's connect sends nothing
    remote.sin_addr.s_addr = peer;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    std::uint32_t result = loopback;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 && local.sin_addr.s_addr != 0) {
        result = local.sin_addr.s_addr;
    }
    ::close(fd);
    return result;
}
