#include "record/CaptureReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "record/CaptureFormat.h"

namespace {

constexpr std::uint32_t kMicrosecondMagic = 0xA1B2C3D4;
constexpr std::uint32_t kNanosecondMagic = 0xA1B23C4D;
constexpr std::uint32_t kPcapngMagic = 0x0A0D0D0A;
constexpr std::size_t kRecordHeaderLength = 16;
// Read a good piece of the file at a time (a recorded hour is a few tens of megabytes).
constexpr std::size_t kBufferLength = 1 << 16;

std::uint32_t swap32(std::uint32_t value) {
    return __builtin_bswap32(value);
}

std::string offsetText(std::uint64_t offset) {
    return "at byte " + std::to_string(offset);
}

}  // namespace

CaptureReader::~CaptureReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint32_t CaptureReader::read32(const std::uint8_t* at) const {
    std::uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return swapped_ ? swap32(value) : value;
}

bool CaptureReader::open(const std::string& path, std::string& error) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error = path + ": cannot be opened: " + std::strerror(errno);
        return false;
    }
    buffer_.resize(kBufferLength);
    if (!load(0, 4)) {
        error = path + ": not a capture file (shorter than its 24-byte header)";
        return false;
    }
    std::uint32_t magic = 0;
    std::memcpy(&magic, buffer_.data(), sizeof magic);
    if (magic == kPcapngMagic) {
        error = path +
                ": a pcapng file, which is not read here; write the capture as classic pcap "
                "(tcpdump -w does; or convert it with: editcap -F pcap)";
        return false;
    }
    if (magic == kMicrosecondMagic || magic == kNanosecondMagic) {
        swapped_ = false;
    } else if (swap32(magic) == kMicrosecondMagic || swap32(magic) == kNanosecondMagic) {
        swapped_ = true;
        magic = swap32(magic);
    } else {
        error = path + ": not a pcap capture file (it does not start with a pcap file header)";
        return false;
    }
    nanoseconds_ = magic == kNanosecondMagic;
    if (!load(0, kFileHeaderLength)) {
        error = path + ": not a capture file (shorter than its 24-byte header)";
        return false;
    }
    const std::uint8_t* header = buffer_.data();
    snapLength_ = read32(header + 16);
    // The upper bits of the link-type word carry flags (FCS length); the type is the low 16 bits.
    linkType_ = read32(header + 20) & 0xFFFF;
    if (!isKnownLinkType(linkType_)) {
        error = path + ": link type " + std::to_string(linkType_) +
                " is not read here (Ethernet, Linux cooked v1 and v2, BSD loopback and raw IPv4 are)";
        return false;
    }
    offset_ = kFileHeaderLength;
    return true;
}

bool CaptureReader::load(std::uint64_t offset, std::size_t length) {
    if (offset >= bufferOffset_ && offset + length <= bufferOffset_ + bufferLength_) return true;
    if (length > buffer_.size()) buffer_.resize(length);
    bufferOffset_ = offset;
    bufferLength_ = 0;
    while (bufferLength_ < buffer_.size()) {
        const ssize_t got = ::pread(fd_, buffer_.data() + bufferLength_, buffer_.size() - bufferLength_,
                                    static_cast<off_t>(offset + bufferLength_));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bufferLength_ += static_cast<std::size_t>(got);
    }
    return bufferLength_ >= length;
}

CaptureReader::Status CaptureReader::next(Record& record) {
    problem_.clear();
    if (!load(offset_, kRecordHeaderLength)) {
        if (bufferLength_ == 0) return Status::end;
        problem_ = path_ + ": the last record is cut short " + offsetText(offset_) + " (" +
                   std::to_string(bufferLength_) + " of its 16 header bytes)";
        return Status::truncatedTail;
    }
    const std::uint8_t* header = buffer_.data() + (offset_ - bufferOffset_);
    const std::uint32_t seconds = read32(header);
    const std::uint32_t fraction = read32(header + 4);
    const std::uint32_t captured = read32(header + 8);
    const std::uint32_t original = read32(header + 12);
    if (captured > kMaxCapturedLength) {
        problem_ = path_ + ": damaged record " + offsetText(offset_) + ": captured length " +
                   std::to_string(captured) + " is beyond any packet";
        return Status::damaged;
    }
    if (fraction >= (nanoseconds_ ? 1000000000u : 1000000u)) {
        problem_ = path_ + ": damaged record " + offsetText(offset_) + ": sub-second part " +
                   std::to_string(fraction) + " is not below one second";
        return Status::damaged;
    }
    if (!load(offset_, kRecordHeaderLength + captured)) {
        problem_ =
            path_ + ": the last record is cut short " + offsetText(offset_) + " (" +
            std::to_string(bufferLength_ > kRecordHeaderLength ? bufferLength_ - kRecordHeaderLength : 0) +
            " of its " + std::to_string(captured) + " bytes)";
        return Status::truncatedTail;
    }
    const std::uint8_t* frame = buffer_.data() + (offset_ - bufferOffset_) + kRecordHeaderLength;
    record.offset = offset_;
    record.timeMicros = std::int64_t{seconds} * 1000000 + (nanoseconds_ ? fraction / 1000 : fraction);
    // A capture that claims less on the wire than it captured is taken at its captured length.
    record.originalLength = std::max(original, captured);
    record.frame = std::span<const std::uint8_t>(frame, captured);
    offset_ += kRecordHeaderLength + captured;
    return Status::record;
}
