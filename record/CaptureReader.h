#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Reads a classic pcap capture file record by record: the recorder's own files and those of other
// capture tools (either byte order, microsecond or nanosecond times). Input is untrusted: every
// length is checked against the file and against fixed limits before use.
//
// The reader never holds more than one buffer of the file in memory, can be put back at the offset
// of any record it has read (for an index) and follows a file that is still being written: a last
// record that is not complete yet is reported as the tail and not consumed, so that next() reads it
// once the writer has flushed it.
class CaptureReader {
public:
    // A record: its time, the frame's length on the wire and the bytes captured of it.
    struct Record {
        std::uint64_t offset = 0;     // of the record's header in the file
        std::int64_t timeMicros = 0;  // since 1970-01-01 UTC
        std::uint32_t originalLength = 0;
        std::span<const std::uint8_t> frame;  // valid until the next call
    };

    enum class Status {
        record,         // `record` holds the next record
        end,            // the file ends after the last complete record
        truncatedTail,  // the file ends inside a record (cut, or still being written): problem()
        damaged,        // a record header that cannot be right; nothing after it can be framed: problem()
    };

    // A record's captured length beyond this cannot be a packet of any link (the largest snapshot
    // length capture tools use).
    static constexpr std::uint32_t kMaxCapturedLength = 262144;

    CaptureReader() = default;
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // Opens `path` and reads its file header. False with a message naming the file and what is
    // wrong (not a capture file, a pcapng file, an unknown link type, a short header...).
    bool open(const std::string& path, std::string& error);

    Status next(Record& record);
    // The problem of a truncatedTail or damaged status, naming the file and the offset.
    const std::string& problem() const { return problem_; }

    // Where the next record will be read from; seek() goes back (or forward) to such an offset.
    std::uint64_t offset() const { return offset_; }
    void seek(std::uint64_t offset) { offset_ = offset; }

    std::uint32_t linkType() const { return linkType_; }
    std::uint32_t snapLength() const { return snapLength_; }
    const std::string& path() const { return path_; }

    // The size of the file's header; the first record starts there.
    static constexpr std::uint64_t kFileHeaderLength = 24;

private:
    // Makes bytes [offset, offset + length) available in the buffer; false when the file is shorter.
    bool load(std::uint64_t offset, std::size_t length);
    std::uint32_t read32(const std::uint8_t* at) const;

    int fd_ = -1;
    std::string path_;
    std::string problem_;
    bool swapped_ = false;
    bool nanoseconds_ = false;
    std::uint32_t linkType_ = 0;
    std::uint32_t snapLength_ = 0;
    std::uint64_t offset_ = kFileHeaderLength;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferOffset_ = 0;
    std::size_t bufferLength_ = 0;
};
