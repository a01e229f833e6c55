#include "record/FlightReplay.h"

#include <algorithm>
#include <span>
#include <variant>

#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "net/UplinkDecoder.h"
#include "record/CaptureReader.h"
#include "record/CapturedDatagram.h"

FlightReplay::FlightReplay(std::uint16_t telemetryPort)
    : port_(telemetryPort),
      reader_(std::make_unique<CaptureReader>()),
      decoded_(std::make_unique<TelemetryState>()),
      // The line rate is measured as the receiver measured it, on the clock of the record times.
      decoder_(std::make_unique<TelemetryDecoder>(*decoded_, [this] { return decoderClockMs_; })) {}

FlightReplay::~FlightReplay() = default;

bool FlightReplay::open(const std::string& path, std::string& error) {
    path_ = path;
    if (!reader_->open(path, error)) return false;
    follow();
    if (lines_.empty()) {
        error = path + ": no telemetry line to replay (no UDP datagram to port " + std::to_string(port_) +
                " that the receiver would decode)" + (problem_.empty() ? "" : "; " + problem_);
        return false;
    }
    return true;
}

bool FlightReplay::follow() {
    if (stopped_) return false;
    const std::size_t linesBefore = lines_.size();
    const std::size_t routesBefore = routes_.size();
    CaptureReader::Record record;
    CaptureReader::Status status;
    while ((status = reader_->next(record)) == CaptureReader::Status::record) {
        takeRecord(record.timeMicros, reader_->linkType(), record.frame.data(), record.frame.size(),
                   record.originalLength);
        if (lines_.size() >= kMaxLines) {
            problem_ = path_ + ": only the first " + std::to_string(kMaxLines) + " lines are replayed";
            stopped_ = true;
            break;
        }
    }
    // A cut last record may be one the writer has not flushed whole yet: it is read again next time.
    if (status == CaptureReader::Status::damaged) {
        problem_ = reader_->problem();
        stopped_ = true;
    }
    return lines_.size() != linesBefore || routes_.size() != routesBefore;
}

void FlightReplay::takeRecord(std::int64_t timeMicros, std::uint32_t linkType, const std::uint8_t* frame,
                              std::size_t frameLength, std::uint32_t originalLength) {
    if (!anyRecord_) {
        startMicros_ = timeMicros;
        anyRecord_ = true;
    }
    // A clock stepped back while recording: the record keeps its place in the file, at the time of
    // the one before, so that the index stays in time order.
    timeMicros = std::max(timeMicros, endMicros_);
    endMicros_ = timeMicros;

    const CapturedDatagram datagram =
        decodeCapturedFrame(linkType, std::span<const std::uint8_t>(frame, frameLength), originalLength);
    switch (flightDatagramRole(datagram, port_)) {
        case FlightDatagramRole::line: {
            decoderClockMs_ = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(static_cast<std::uint64_t>((timeMicros - startMicros_) / 1000)));
            const int fields = decoder_->decode(reinterpret_cast<const char*>(datagram.payload.data()),
                                                datagram.payload.size());
            const std::int32_t lastFix =
                lineCarriesFix(fields, decoded_->gpsStatus.load(std::memory_order_relaxed))
                    ? static_cast<std::int32_t>(lines_.size())
                    : (lines_.empty() ? -1 : lines_.back().lastFixLine);
            lines_.push_back({timeMicros, decoded_->packetInterval.load(std::memory_order_relaxed),
                              snapshotTelemetry(*decoded_), lastFix});
            break;
        }
        case FlightDatagramRole::upload:
            if (datagram.payload.size() == datagram.length) {
                const Uplink uplink = decodeUplink(datagram.payload);
                if (const auto* route = std::get_if<WaypointUplink>(&uplink)) {
                    routes_.push_back({timeMicros, route->waypoints});
                }
            }
            break;
        default:
            break;
    }
}

ReplayState FlightReplay::stateAt(std::int64_t micros) const {
    ReplayState state;
    const auto later =
        std::upper_bound(lines_.begin(), lines_.end(), micros,
                         [](std::int64_t at, const ReplayLine& line) { return at < line.timeMicros; });
    if (later != lines_.begin()) {
        state.lineIndex = static_cast<std::size_t>(later - lines_.begin()) - 1;
        state.line = &lines_[state.lineIndex];
        state.linkUp = micros - state.line->timeMicros < kLinkLossMicros;
        if (state.line->lastFixLine >= 0)
            state.lastFix = &lines_[static_cast<std::size_t>(state.line->lastFixLine)];
    }
    const auto laterRoute =
        std::upper_bound(routes_.begin(), routes_.end(), micros,
                         [](std::int64_t at, const ReplayRoute& route) { return at < route.timeMicros; });
    if (laterRoute != routes_.begin()) state.route = &*(laterRoute - 1);
    return state;
}
