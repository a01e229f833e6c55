// Feeds arbitrary bytes to the capture reader as the contents of a file, and every record it
// gives to the frame decoder; then the same file to the replay's index. Beyond the sanitizers'
// checks: records lie inside the file one after another, a datagram's captured bytes lie inside its
// frame and never exceed its length, going back to a record's offset reads the same record again,
// and the index stays within its bounds and in time order, every moment finding its own line.
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
#include "record/FlightReplay.h"

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

// The replay's index of the file: bounded by count whatever the records claim, in time order, and
// each moment shows the last line and upload at or before it.
void checkReplayIndex(const std::string& path) {
    FlightReplay replay;
    std::string error;
    if (!replay.open(path, error)) return;
    const auto& lines = replay.lines();
    const auto& routes = replay.routes();
    if (lines.size() > FlightReplay::kMaxLines || routes.size() > FlightReplay::kMaxRoutes ||
        replay.refusals().size() > FlightReplay::kMaxRefusalMoments) {
        fail("the index outgrew its bounds");
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].timeMicros < lines[i - 1].timeMicros) fail("lines out of time order");
    }
    for (std::size_t i = 1; i < routes.size(); ++i) {
        if (routes[i].timeMicros < routes[i - 1].timeMicros) fail("uploads out of time order");
    }
    for (const std::int64_t at :
         {replay.startMicros(), lines.front().timeMicros, lines.back().timeMicros, replay.endMicros()}) {
        const ReplayState state = replay.stateAt(at);
        // The file may start with other records than a line.
        if (state.line == nullptr ? at >= lines.front().timeMicros : state.line->timeMicros > at) {
            fail("a moment without its line");
        }
        if (state.route != nullptr && state.route->timeMicros > at) fail("an upload after its moment");
    }
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
    checkReplayIndex(path);
    return 0;
}
