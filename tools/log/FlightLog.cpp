#include "tools/log/FlightLog.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "net/TelemetryDecoder.h"
#include "record/CaptureFormat.h"
#include "record/CaptureReader.h"
#include "record/CapturedDatagram.h"

namespace {

// Damaged records listed one by one; the rest are only counted.
constexpr std::size_t kDamageListed = 10;

// The fields up to the coordinates: a line that stopped before them has none of its own.
constexpr int kFieldsThroughLongitude = 16;
constexpr int kFieldsThroughAirspeed = 14;
constexpr int kFieldsThroughAltitude = 17;

}  // namespace

std::string endpointText(const Endpoint& endpoint) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", endpoint.address >> 24,
                  (endpoint.address >> 16) & 0xFF, (endpoint.address >> 8) & 0xFF, endpoint.address & 0xFF,
                  endpoint.port);
    return text;
}

std::string addressText(std::uint32_t address) {
    const std::string text = endpointText({address, 0});
    return text.substr(0, text.rfind(':'));
}

bool LoggedLine::hasPosition() const {
    return fields >= kFieldsThroughLongitude && std::isfinite(values.lat) && std::isfinite(values.lon) &&
           std::fabs(values.lat) <= 90 && std::fabs(values.lon) <= 180 &&
           !(values.lat == 0 && values.lon == 0);
}

bool readFlightLog(const std::string& path, std::uint16_t port, FlightLog& log, std::string& error) {
    CaptureReader reader;
    if (!reader.open(path, error)) return false;
    log = FlightLog{};
    log.path = path;
    log.port = port;
    log.linkType = reader.linkType();

    TelemetryState state;
    // The rate the program measured is of no use here; the log measures from the record times.
    TelemetryDecoder decoder(state, [] { return std::int32_t{0}; });
    CaptureReader::Record record;
    CaptureReader::Status status;
    bool first = true;
    // The aircraft the recorder's notes say was pinned: nothing while any sender was taken.
    std::optional<AircraftAddress> pinned;
    while ((status = reader.next(record)) == CaptureReader::Status::record) {
        if (first) log.startMicros = record.timeMicros;
        first = false;
        log.endMicros = record.timeMicros;
        const std::int64_t flightMicros = log.timeline.place(record.timeMicros);

        const CapturedDatagram datagram =
            decodeCapturedFrame(log.linkType, record.frame, record.originalLength);
        switch (datagram.kind) {
            case CapturedDatagram::Kind::fragment:
                ++log.fragments;
                continue;
            case CapturedDatagram::Kind::damaged:
                ++log.damagedRecords;
                if (log.damage.size() < kDamageListed) {
                    log.damage.push_back("record at byte " + std::to_string(record.offset) + ": " +
                                         datagram.problem);
                }
                continue;
            case CapturedDatagram::Kind::other:
            case CapturedDatagram::Kind::udp:
                break;
        }
        const FlightDatagramRole role = flightDatagramRole(datagram, port);
        switch (role) {
            case FlightDatagramRole::refusedEmpty:
                ++log.refusedEmpty;
                break;
            case FlightDatagramRole::refusedOversize:
                ++log.refusedOversize;
                break;
            case FlightDatagramRole::refusedCutByCapture:
                ++log.refusedCutByCapture;
                break;
            case FlightDatagramRole::line: {
                // The live program took only the pinned aircraft's lines; so does the log.
                sockaddr_in sender{};
                sender.sin_family = AF_INET;
                sender.sin_addr.s_addr = htonl(datagram.source);
                sender.sin_port = htons(datagram.sourcePort);
                if (pinned && !pinned->matches(sender)) {
                    ++log.refusedOtherSender;
                    break;
                }
                LoggedLine line;
                line.timeMicros = record.timeMicros;
                line.flightMicros = flightMicros;
                line.sender = {datagram.source, datagram.sourcePort};
                line.fields = decoder.decode(reinterpret_cast<const char*>(datagram.payload.data()),
                                             datagram.payload.size());
                if (line.fields < TelemetryDecoder::kFieldCount) ++log.incompleteLines;
                line.values = snapshotTelemetry(state);
                log.lines.push_back(line);
                break;
            }
            case FlightDatagramRole::upload: {
                LoggedUpload upload;
                upload.timeMicros = record.timeMicros;
                upload.flightMicros = flightMicros;
                upload.destination = {datagram.destination, datagram.destinationPort};
                upload.decoded = datagram.payload.size() < datagram.length
                                     ? Uplink(rejectOversizedUplink(datagram.length))
                                     : decodeUplink(datagram.payload);
                log.uploads.push_back(std::move(upload));
                break;
            }
            case FlightDatagramRole::recorderNote:
                if (const auto note = parseRecorderNote(datagram.payload)) {
                    log.drops = std::max(log.drops.value_or(0), note->dropped);
                    if (note->aircraftKnown) pinned = note->aircraft;
                } else {
                    ++log.otherRecords;
                }
                break;
            case FlightDatagramRole::other:
                ++log.otherRecords;
                break;
        }
        if (role == FlightDatagramRole::line || role == FlightDatagramRole::refusedEmpty ||
            role == FlightDatagramRole::refusedOversize || role == FlightDatagramRole::refusedCutByCapture) {
            ++log.datagramsReceived;
        }
    }
    if (status != CaptureReader::Status::end) log.tailProblem = reader.problem();
    return true;
}

namespace {

std::optional<double> medianOf(std::vector<double> values) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Lines in each whole second from the first line on, leaving out the last (partial) second. Only
// seconds that hold a line are listed: a second without one lies inside a link gap.
void countSeconds(const FlightLog& log, FlightSummary& summary) {
    const std::vector<LoggedLine>& lines = log.lines;
    if (lines.size() < 2) return;
    const std::int64_t start = lines.front().flightMicros;
    const std::int64_t wholeSeconds = (lines.back().flightMicros - start) / 1000000;
    for (const LoggedLine& line : lines) {
        const std::int64_t second = (line.flightMicros - start) / 1000000;
        if (second >= wholeSeconds) break;
        if (summary.lineSeconds.empty() || summary.lineSeconds.back().second != second) {
            summary.lineSeconds.push_back({second, 0, false});
        }
        ++summary.lineSeconds.back().lines;
    }
    const auto touch = [&](std::int64_t micros) {
        const std::int64_t second = (micros - start) / 1000000;
        const auto found = std::lower_bound(
            summary.lineSeconds.begin(), summary.lineSeconds.end(), second,
            [](const LineSecond& counted, std::int64_t wanted) { return counted.second < wanted; });
        if (found != summary.lineSeconds.end() && found->second == second) found->touchesGap = true;
    };
    for (const LinkGap& gap : summary.gaps) {
        touch(gap.startMicros);
        touch(gap.startMicros + gap.lengthMicros);
    }
}

// The rate over the whole seconds that no link gap touches.
void measureRate(FlightSummary& summary) {
    std::vector<double> up;
    for (const LineSecond& second : summary.lineSeconds) {
        if (!second.touchesGap) up.push_back(second.lines);
    }
    if (up.empty()) return;
    summary.medianRate = medianOf(up);
    summary.minRate = *std::min_element(up.begin(), up.end());
}

}  // namespace

FlightSummary summarizeFlight(const FlightLog& log) {
    FlightSummary summary;
    summary.durationMicros = log.timeline.lastMicros();
    const GeographicLib::Geodesic& earth = GeographicLib::Geodesic::WGS84();
    const LoggedLine* previous = nullptr;
    const LoggedLine* previousPosition = nullptr;
    std::unordered_map<std::uint32_t, std::uint64_t> linesBySender;
    for (const LoggedLine& line : log.lines) {
        if (previous != nullptr) {
            const std::int64_t silence = line.flightMicros - previous->flightMicros;
            if (silence > kLinkGapMicros)
                summary.gaps.push_back({previous->flightMicros, silence, previous->timeMicros});
            summary.linkUpMicros += std::min(silence, kLinkGapMicros);
        }
        previous = &line;
        ++linesBySender[line.sender.address];
        if (line.fields >= kFieldsThroughAltitude && std::isfinite(line.values.alt) &&
            (summary.highestAltitude == nullptr || line.values.alt > summary.highestAltitude->values.alt)) {
            summary.highestAltitude = &line;
        }
        if (line.fields >= kFieldsThroughAirspeed && std::isfinite(line.values.cas) &&
            (summary.highestAirspeed == nullptr || line.values.cas > summary.highestAirspeed->values.cas)) {
            summary.highestAirspeed = &line;
        }
        if (!line.hasPosition()) continue;
        if (previousPosition != nullptr) {
            double metres = 0;
            earth.Inverse(previousPosition->values.lat, previousPosition->values.lon, line.values.lat,
                          line.values.lon, metres);
            if (std::isfinite(metres)) summary.distanceMetres += metres;
        }
        previousPosition = &line;
    }
    if (previous != nullptr) {
        summary.linkUpMicros += std::min(summary.durationMicros - previous->flightMicros, kLinkGapMicros);
    }
    summary.lastPosition = previousPosition;
    std::uint64_t mostLines = 0;
    for (const auto& [address, count] : linesBySender) {
        if (count > mostLines || (count == mostLines && address < summary.aircraftAddress)) {
            mostLines = count;
            summary.aircraftAddress = address;
        }
    }
    countSeconds(log, summary);
    measureRate(summary);
    return summary;
}
