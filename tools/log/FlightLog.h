#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/TelemetryValues.h"
#include "net/UplinkDecoder.h"

// A flight read back from a capture file: every telemetry line as the ground station decoded it,
// every upload, and what else the file held. Captures of other tools are read the same way: UDP
// datagrams to the telemetry port are telemetry, datagrams from it are uploads.

struct Endpoint {
    std::uint32_t address = 0;  // host byte order
    std::uint16_t port = 0;
};
std::string endpointText(const Endpoint& endpoint);
// "10.0.0.2"; `address` in host byte order.
std::string addressText(std::uint32_t address);

struct LoggedLine {
    std::int64_t timeMicros = 0;
    Endpoint sender;
    int fields = 0;  // fields that converted; the rest kept the values of earlier lines
    TelemetryValues values;

    bool hasPosition() const;
};

struct LoggedUpload {
    std::int64_t timeMicros = 0;
    Endpoint destination;
    Uplink decoded;
};

struct FlightLog {
    std::string path;
    std::uint16_t port = 0;
    std::uint32_t linkType = 0;
    // The first and last record of the file, of any kind; 0 when it has none.
    std::int64_t startMicros = 0, endMicros = 0;

    std::uint64_t datagramsReceived = 0;  // to the telemetry port
    std::uint64_t refusedEmpty = 0;
    std::uint64_t refusedOversize = 0;      // over 200 bytes
    std::uint64_t refusedCutByCapture = 0;  // the capture kept only part of the datagram
    std::uint64_t incompleteLines = 0;      // decoded, with fewer than twenty fields
    std::uint64_t otherRecords = 0;         // someone else's traffic
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
    std::int64_t startMicros = 0;  // the last line before the gap
    std::int64_t lengthMicros = 0;
};

// What `orvane-log info` tells beyond the counts.
struct FlightSummary {
    // Lines per whole second while the link was up; unknown for a flight shorter than a few seconds.
    std::optional<double> medianRate, minRate;
    std::vector<LinkGap> gaps;  // over one second
    const LoggedLine* highestAltitude = nullptr;
    const LoggedLine* highestAirspeed = nullptr;
    const LoggedLine* lastPosition = nullptr;
    double distanceMetres = 0;  // along the WGS84 ellipsoid between the positions heard
    // The address (host byte order, without the port) that sent most of the lines; 0 when none was
    // heard. Ties go to the lower address.
    std::uint32_t aircraftAddress = 0;
    // From the first record to the last.
    std::int64_t durationMicros = 0;
    // The time between lines that came no more than a link gap apart.
    std::int64_t linkUpMicros = 0;
};
FlightSummary summarizeFlight(const FlightLog& log);

inline constexpr std::int64_t kLinkGapMicros = 1000000;
