#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "net/TelemetryValues.h"
#include "net/UplinkDecoder.h"
#include "record/FlightTimeline.h"

// A flight read back from a capture file: every telemetry line as the ground station decoded it,
// every upload, and what else the file held. Captures of other tools are read the same way: UDP
// datagrams to the telemetry port are telemetry, datagrams from it are uploads.
//
// Each record has two times: the capture clock's (`timeMicros`, since 1970 UTC, as the file says)
// and its place in the flight (`flightMicros`, since the file's first record, in record order; see
// FlightTimeline). Durations, rates, gaps and the plot go by the flight's; times of day by the clock's.

struct Endpoint {
    std::uint32_t address = 0;  // host byte order
    std::uint16_t port = 0;
};
std::string endpointText(const Endpoint& endpoint);
// "10.0.0.2"; `address` in host byte order.
std::string addressText(std::uint32_t address);

struct LoggedLine {
    std::int64_t timeMicros = 0;
    std::int64_t flightMicros = 0;
    Endpoint sender;
    int fields = 0;  // fields that converted; the rest kept the values of earlier lines
    TelemetryValues values;
    // The ground under the line's position (metres above sea level) where elevation files were
    // given and cover it; NaN elsewhere.
    double ground = std::numeric_limits<double>::quiet_NaN();

    bool hasPosition() const;
};

struct LoggedUpload {
    std::int64_t timeMicros = 0;
    std::int64_t flightMicros = 0;
    Endpoint destination;
    Uplink decoded;
};

struct FlightLog {
    std::string path;
    bool terrainInUse = false;  // elevation files were given: lines carry the ground
    std::uint16_t port = 0;
    std::uint32_t linkType = 0;
    // The capture clock at the first and the last record of the file, of any kind; 0 when it has
    // none. After a step of the clock the end may read earlier than the start.
    std::int64_t startMicros = 0, endMicros = 0;
    // Every record placed on the flight's time; its steps of the clock.
    FlightTimeline timeline;

    std::uint64_t datagramsReceived = 0;  // to the telemetry port
    std::uint64_t refusedEmpty = 0;
    std::uint64_t refusedOversize = 0;      // over 200 bytes
    std::uint64_t refusedCutByCapture = 0;  // the capture kept only part of the datagram
    // Lines of other senders while the recorder's notes name a pinned aircraft (the live program
    // refused them too).
    std::uint64_t refusedOtherSender = 0;
    std::uint64_t incompleteLines = 0;  // decoded, with fewer than twenty fields
    std::uint64_t otherRecords = 0;     // someone else's traffic
    std::uint64_t fragments = 0;
    std::uint64_t damagedRecords = 0;
    // The recorder's drop count, from its notes; unknown for captures of other tools.
    std::optional<std::uint64_t> drops;

    std::vector<LoggedLine> lines;
    std::vector<LoggedUpload> uploads;
    // The first few damaged records, each with its offset and fault.
    std::vector<std::string> damage;
    // Set when the file ends inside a record or at a damaged record header; what came before is used.
    std::string tailProblem;
};

inline constexpr std::uint16_t kDefaultTelemetryPort = 9001;

// Reads `path`. False with `error` (naming the file) when it cannot be read as a capture at all.
bool readFlightLog(const std::string& path, std::uint16_t port, FlightLog& log, std::string& error);

struct LinkGap {
    std::int64_t startMicros = 0;  // flight time of the last line before the gap
    std::int64_t lengthMicros = 0;
    std::int64_t clockMicros = 0;  // the capture clock at that line
};

// The lines of one whole second of the flight, counted from the first line's.
struct LineSecond {
    std::int64_t second = 0;
    int lines = 0;
    bool touchesGap = false;  // a link gap over one second begins or ends in it
};

// What `orvane-log info` tells beyond the counts; also the figures of a flight elsewhere. Work and
// memory go with the number of lines, never with the span of their times.
struct FlightSummary {
    // Flight time from the first record to the last, in record order.
    std::int64_t durationMicros = 0;
    // Of it, the time a line had come less than a second before (the link was up).
    std::int64_t linkUpMicros = 0;
    // Lines per whole second while the link was up; unknown for a flight shorter than a few seconds.
    std::optional<double> medianRate, minRate;
    // Every whole second that holds a line, in order; the last, partial second is left out.
    std::vector<LineSecond> lineSeconds;
    std::vector<LinkGap> gaps;  // over one second
    const LoggedLine* highestAltitude = nullptr;
    const LoggedLine* highestAirspeed = nullptr;
    const LoggedLine* lastPosition = nullptr;
    double distanceMetres = 0;  // along the WGS84 ellipsoid between the positions heard
    // The address (host byte order, without the port) that sent most of the lines; 0 when none was
    // heard. Ties go to the lower address.
    std::uint32_t aircraftAddress = 0;
};
FlightSummary summarizeFlight(const FlightLog& log);

inline constexpr std::int64_t kLinkGapMicros = 1000000;
