// Feeds arbitrary bytes to the capture reader as the contents of a file, and every record it
// gives to the frame decoder. Beyond the sanitizers' checks: records lie inside the file one after
// another, a datagram's captured bytes lie inside its frame and never exceed its length, and going
// back to a record's offset reads the same record again. Then the file goes the flight-log tool's
// way, through its summary and the curves of its picture: the flight's time runs forward, every
// figure lies within the flight, and nothing grows beyond the number of records. Last, the replay's
// index stays within its bounds and in time order, every moment finding its own line.
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
#include "tools/log/FlightLog.h"
#include "tools/log/FlightSeries.h"
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

bool forwardInTime(const std::vector<PlotPoint>& points, double end) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].x < 0 || points[i].x > end + 1 || (i > 0 && points[i].x < points[i - 1].x))
            return false;
    }
    return true;
}

void checkFlightLog(const std::string& path, std::size_t records) {
    FlightLog log;
    std::string error;
    if (!readFlightLog(path, kDefaultTelemetryPort, log, error)) return;
    const FlightSummary summary = summarizeFlight(log);
    for (std::size_t i = 1; i < log.lines.size(); ++i) {
        if (log.lines[i].flightMicros <= log.lines[i - 1].flightMicros) fail("flight time ran backward");
    }
    if (!log.lines.empty() && log.lines.back().flightMicros > summary.durationMicros)
        fail("a line after the flight's end");
    if (summary.linkUpMicros < 0 || summary.linkUpMicros > summary.durationMicros)
        fail("more time with the link up than the flight lasted");
    for (const LinkGap& gap : summary.gaps) {
        if (gap.lengthMicros <= kLinkGapMicros || gap.startMicros + gap.lengthMicros > summary.durationMicros)
            fail("a link gap outside the flight");
    }
    if (summary.lineSeconds.size() > log.lines.size()) fail("more counted seconds than lines");
    if (log.timeline.steps().size() > FlightTimeline::kStepsListed) fail("clock steps listed without bound");
    const double end = static_cast<double>(summary.durationMicros) / 1e6;
    const std::vector<PlotPoint> altitude = seriesAgainstTime(
        log, [](const LoggedLine& line) { return double{line.values.alt}; }, 17);
    const std::vector<PlotPoint> rate = lineRateSeries(log, summary);
    const std::vector<PlotPoint> track = groundTrackSeries(log);
    if (!forwardInTime(altitude, end) || !forwardInTime(rate, end)) fail("a curve that runs backward");
    if (altitude.size() > 2 * records || rate.size() > 3 * records || track.size() > records + 1)
        fail("a curve longer than the file");
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
    checkFlightLog(path, offsets.size());
    checkReplayIndex(path);
    return 0;
}
