// Feeds arbitrary bytes to the capture reader as the contents of a file, and every record it
// gives to the frame decoder. Beyond the sanitizers' checks: records lie inside the file one after
// another, a datagram's captured bytes lie inside its frame and never exceed its length, and going
// back to a record's offset reads the same record again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "record/CaptureFormat.h"
#include "record/CaptureReader.h"
#include "record/CapturedDatagram.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

int fileOf(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("capture", 0);
    if (fd < 0) fail("no memory file");
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        fail("write failed");
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = fileOf(data, size);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    CaptureReader reader;
    std::string error;
    if (!reader.open(path, error)) {
        if (error.find(path) == std::string::npos) fail("a refusal that does not name the file");
        return 0;
    }
    CaptureReader::Record record;
    std::vector<std::uint64_t> offsets;
    std::vector<std::int64_t> times;
    std::uint64_t expectedOffset = CaptureReader::kFileHeaderLength;
    CaptureReader::Status status;
    while ((status = reader.next(record)) == CaptureReader::Status::record) {
        if (record.offset != expectedOffset) fail("records are not one after another");
        expectedOffset = record.offset + 16 + record.frame.size();
        if (expectedOffset > size) fail("a record beyond the end of the file");
        if (record.originalLength < record.frame.size()) fail("original length below the captured one");
        offsets.push_back(record.offset);
        times.push_back(record.timeMicros);
        const CapturedDatagram datagram =
            decodeCapturedFrame(reader.linkType(), record.frame, record.originalLength);
        if (datagram.kind == CapturedDatagram::Kind::udp) {
            if (datagram.payload.size() > datagram.length) fail("more payload than the datagram's length");
            if (datagram.payload.data() < record.frame.data() ||
                datagram.payload.data() + datagram.payload.size() >
                    record.frame.data() + record.frame.size()) {
                fail("payload outside its frame");
            }
            (void)parseRecorderNote(datagram.payload);
        }
    }
    if (status != CaptureReader::Status::end && reader.problem().find(path) == std::string::npos) {
        fail("a damaged tail that does not name the file");
    }
    if (!offsets.empty()) {
        reader.seek(offsets.front());
        if (reader.next(record) != CaptureReader::Status::record || record.timeMicros != times.front()) {
            fail("seeking back did not read the same record");
        }
    }
    return 0;
}
