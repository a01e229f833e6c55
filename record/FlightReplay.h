#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/MapGeometry.h"
#include "net/TelemetrySenders.h"
#include "net/TelemetryValues.h"
#include "record/FlightTimeline.h"

class CaptureReader;
class TelemetryDecoder;
struct CapturedDatagram;
struct TelemetryState;

// A recorded flight indexed for replay: every telemetry line the ground station took with the state
// it held after it and the line rate it had measured then, and every waypoint upload. Reads the
// recorder's own files and any capture the capture reader takes (UDP to the telemetry port is
// telemetry, UDP from it is an upload). A file that is still being written is followed: follow()
// indexes what the writer has flushed since.
//
// The recorder's notes say the telemetry port and which sender was pinned from when on: lines are
// put through the same sender screen as live, so that the replay holds only what the live program
// took, warns of two senders where it warned, and counts what it refused.
//
// No window, no clock of its own; one thread (the user-interface thread in the program).
struct ReplayLine {
    // Where the line stands in the replay: the first record's time (since 1970-01-01 UTC) and the
    // flight time since (FlightTimeline), so always later than the line before.
    std::int64_t timeMicros = 0;
    std::int64_t recordedMicros = 0;  // the capture clock's time, as the live view showed it
    double packetInterval = 0;        // seconds per line as measured at this line; 0 before the first
    TelemetryValues values;
    TelemetrySenders::SeveralSendersStamp senders;  // the sender screen after this line
    // The last line at or before this one that carried a position with the GPS acquired; -1: none.
    std::int32_t lastFixLine = -1;
};

// The datagrams refused so far because they did not come from the pinned sender, from this moment.
struct ReplayRefusals {
    std::int64_t timeMicros = 0;
    std::uint64_t count = 0;
    std::uint64_t lastRefused = kNoSender;  // packed
};

struct ReplayRoute {
    std::int64_t timeMicros = 0;
    std::vector<GeoPoint> waypoints;  // in route order, 0 to 8
};

// What the view showed at one moment of the flight.
struct ReplayState {
    const ReplayLine* line = nullptr;     // the last line at or before the moment; none before the first
    const ReplayLine* lastFix = nullptr;  // the last line with a GPS position at or before it
    std::size_t lineIndex = 0;
    bool linkUp = false;                 // a line came less than a second before the moment
    const ReplayRoute* route = nullptr;  // the last waypoint upload at or before the moment
    bool severalSenders = false;         // lines of two senders within the window before the moment
    ReplayRefusals refusals;             // as they stood at the moment
};

class FlightReplay {
public:
    // Lines indexed at most: eleven hours at fifty lines a second. A capture holding more is replayed
    // up to there, so that no file can take the program's memory.
    static constexpr std::size_t kMaxLines = 2000000;
    // Waypoint uploads indexed at most, for the same reason: one every 0.4 s for eleven hours.
    static constexpr std::size_t kMaxRoutes = 100000;
    // Refusals within this time of each other are kept as one moment, at most this many moments
    // (later ones are added to the last).
    static constexpr std::int64_t kRefusalMomentMicros = 100000;
    static constexpr std::size_t kMaxRefusalMoments = 400000;
    // Without a line for this long the view read "NO LINK".
    static constexpr std::int64_t kLinkLossMicros = 1000000;

    // `telemetryPort` is taken unless the recording's first note names another.
    explicit FlightReplay(std::uint16_t telemetryPort = 9001);
    ~FlightReplay();
    FlightReplay(const FlightReplay&) = delete;
    FlightReplay& operator=(const FlightReplay&) = delete;

    // Opens and indexes `path`. False with `error` naming the file when it is not a capture that can
    // be read or holds no telemetry line. A damaged record ends the index there: problem() says so.
    bool open(const std::string& path, std::string& error);
    // Indexes the records written since the last call; true when new lines or uploads came.
    bool follow();

    // The first and the last record of the file (of any kind).
    std::int64_t startMicros() const { return startMicros_; }
    std::int64_t endMicros() const { return endMicros_; }

    const std::vector<ReplayLine>& lines() const { return lines_; }
    const std::vector<ReplayRoute>& routes() const { return routes_; }
    const std::vector<ReplayRefusals>& refusals() const { return refusals_; }
    // The telemetry port the lines were taken from.
    std::uint16_t port() const { return port_; }
    ReplayState stateAt(std::int64_t micros) const;

    // Why the index stops before the file's end (a damaged record, the line or upload limit); empty
    // otherwise.
    const std::string& problem() const { return problem_; }
    const std::string& path() const { return path_; }

private:
    void takeRecord(std::int64_t timeMicros, std::uint32_t linkType, const std::uint8_t* frame,
                    std::size_t frameLength, std::uint32_t originalLength);
    void takeNote(const CapturedDatagram& datagram);
    // The sender screen's clock at a record time: milliseconds of the recording, in 32 bits.
    std::int32_t clockMs(std::int64_t timeMicros) const;
    void refused(std::int64_t timeMicros);

    std::uint16_t port_;
    bool portFromNote_ = false;
    TelemetrySenders senders_;
    std::string path_;
    std::string problem_;
    bool stopped_ = false;  // a damaged record or the line limit: nothing more is read
    std::unique_ptr<CaptureReader> reader_;
    std::unique_ptr<TelemetryState> decoded_;
    std::unique_ptr<TelemetryDecoder> decoder_;
    std::int32_t decoderClockMs_ = 0;
    std::int64_t startMicros_ = 0, endMicros_ = 0;
    bool anyRecord_ = false;
    FlightTimeline timeline_;
    std::vector<ReplayLine> lines_;
    std::vector<ReplayRoute> routes_;
    std::vector<ReplayRefusals> refusals_;
};
