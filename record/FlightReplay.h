#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/MapGeometry.h"
#include "net/TelemetryValues.h"

class CaptureReader;
class TelemetryDecoder;
struct TelemetryState;

// A recorded flight indexed for replay: every telemetry line with the state the ground station held
// after it and the line rate it had measured then, and every waypoint upload. Reads the recorder's
// own files and any capture the capture reader takes (UDP to the telemetry port is telemetry, UDP
// from it is an upload). A file that is still being written is followed: follow() indexes what the
// writer has flushed since.
//
// No window, no clock of its own; one thread (the user-interface thread in the program).
struct ReplayLine {
    std::int64_t timeMicros = 0;  // since 1970-01-01 UTC; never earlier than the line before
    double packetInterval = 0;    // seconds per line as measured at this line; 0 before the first
    TelemetryValues values;
    // The last line at or before this one that carried a position with the GPS acquired; -1: none.
    std::int32_t lastFixLine = -1;
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
};

class FlightReplay {
public:
    // Lines indexed at most: eleven hours at fifty lines a second. A capture holding more is replayed
    // up to there, so that no file can take the program's memory.
    static constexpr std::size_t kMaxLines = 2000000;
    // Without a line for this long the view read "NO LINK".
    static constexpr std::int64_t kLinkLossMicros = 1000000;

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
    ReplayState stateAt(std::int64_t micros) const;

    // Why the index stops before the file's end (a damaged record, the line limit); empty otherwise.
    const std::string& problem() const { return problem_; }
    const std::string& path() const { return path_; }

private:
    void takeRecord(std::int64_t timeMicros, std::uint32_t linkType, const std::uint8_t* frame,
                    std::size_t frameLength, std::uint32_t originalLength);

    std::uint16_t port_;
    std::string path_;
    std::string problem_;
    bool stopped_ = false;  // a damaged record or the line limit: nothing more is read
    std::unique_ptr<CaptureReader> reader_;
    std::unique_ptr<TelemetryState> decoded_;
    std::unique_ptr<TelemetryDecoder> decoder_;
    std::int32_t decoderClockMs_ = 0;
    std::int64_t startMicros_ = 0, endMicros_ = 0;
    bool anyRecord_ = false;
    std::vector<ReplayLine> lines_;
    std::vector<ReplayRoute> routes_;
};
