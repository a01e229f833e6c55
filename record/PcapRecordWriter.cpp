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
    std::unique_ptr<PcapRecordWriter> writer(new PcapRecordWriter(fd));
    std::FILE* stream = openCheckedStream(writer->writes_);
    if (stream == nullptr) {
        error = errno != 0 ? errno : ENOMEM;
        return nullptr;
    }
    writer->dead_ = pcap_open_dead_with_tstamp_precision(DLT_RAW, static_cast<int>(kRecorderSnapLength),
                                                         PCAP_TSTAMP_PRECISION_MICRO);
    writer->dumper_ = writer->dead_ != nullptr ? pcap_dump_fopen(writer->dead_, stream) : nullptr;
    if (writer->dumper_ == nullptr) {
        std::fclose(stream);
        error = writer->writes_.failure != 0 ? writer->writes_.failure : ENOMEM;
        return nullptr;
    }
    return writer;
}

PcapRecordWriter::PcapRecordWriter(int fd) {
    writes_.fd = fd;
}

PcapRecordWriter::~PcapRecordWriter() {
    if (dumper_ != nullptr) pcap_dump_close(dumper_);
    if (dead_ != nullptr) pcap_close(dead_);
    ::close(writes_.fd);
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
    const bool flushed = pcap_dump_flush(dumper_) == 0;
    if (writes_.failure != 0 || !flushed) {
        error = writes_.failure != 0 ? writes_.failure : EIO;
        return false;
    }
    if (::fdatasync(writes_.fd) != 0 && errno != EINVAL) {
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
