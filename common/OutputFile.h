#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Writes to a file descriptor through a stream that keeps the cause of the first failed write,
// which a buffered stream loses by the time it is flushed or closed. After a failure nothing more is
// written. Closing the stream leaves `fd` open.
struct CheckedWrites {
    int fd = -1;
    int failure = 0;  // the errno of the first failed write; 0 while every write went through
};
// A stream over `writes` (which must outlive it); nullptr when none can be made.
std::FILE* openCheckedStream(CheckedWrites& writes);

// Where a tool writes what it makes: a file, or the standard output. Every write is checked and the
// cause of the first failure kept, however the writes were buffered. A file is written beside its
// name and put in place only once every byte is on the disk, so that a failed write (a full disk, a
// read-only folder) leaves the file that was there whole. A name that is not a regular file (a
// device, a pipe) is written in place.
class OutputFile {
public:
    OutputFile() = default;
    // A file not finished is left as it was (what was written beside it is removed).
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `path`, or the standard output for "" and "-". False with `error` naming it and why.
    bool open(const std::string& path, std::string& error);
    // A stream whose every write is checked; valid until finish().
    std::FILE* stream() const { return stream_; }
    // Writes, flushes to the disk, closes and puts the file in place. False with `error` naming the
    // output and the cause; the output is then left as it was before open().
    bool finish(std::string& error);
    // "the standard output", or the path.
    const std::string& name() const { return name_; }

private:
    bool fail(std::string& error, int cause);

    std::string name_;
    std::string target_;     // the file the output ends up in; empty for the standard output
    std::string temporary_;  // what is written beside it; empty when written in place
    CheckedWrites writes_;
    std::FILE* stream_ = nullptr;
};

// The whole of `bytes` into `path` (or the standard output), as OutputFile writes.
bool writeWholeFile(const std::string& path, const void* bytes, std::size_t size, std::string& error);
