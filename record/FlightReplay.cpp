#include "record/FlightReplay.h"

#include <algorithm>
#include <span>
#include <variant>

#include <arpa/inet.h>

#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "net/UplinkDecoder.h"
#include "record/CaptureFormat.h"
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
        const std::string refused =
            refusals_.empty() ? std::string()
                              : "; " + std::to_string(refusals_.back().count) +
                                    " came from other senders than the pinned aircraft and were refused";
        error = path + ": no telemetry line to replay (no UDP datagram to port " + std::to_string(port_) +
                " that the receiver would decode" + refused + ")" + (problem_.empty() ? "" : "; " + problem_);
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
        // Bounded by count, whatever the file claims, so that no file can take the program's memory.
        const bool linesFull = lines_.size() >= kMaxLines;
        if (linesFull || routes_.size() >= kMaxRoutes) {
            problem_ = path_ + ": only the first " +
                       (linesFull ? std::to_string(kMaxLines) + " lines"
                                  : std::to_string(kMaxRoutes) + " waypoint uploads") +
                       " are replayed";
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
    // The replay's time is the flight's, in record order: a clock stepped back while recording
    // starts a new stretch, so that every line keeps a moment of its own.
    const std::int64_t recordedMicros = timeMicros;
    timeMicros = startMicros_ + timeline_.place(timeMicros);
    endMicros_ = timeMicros;

    const CapturedDatagram datagram =
        decodeCapturedFrame(linkType, std::span<const std::uint8_t>(frame, frameLength), originalLength);
    switch (flightDatagramRole(datagram, port_)) {
        case FlightDatagramRole::line: {
            decoderClockMs_ = clockMs(timeMicros);
            sockaddr_in sender{};
            sender.sin_family = AF_INET;
            sender.sin_addr.s_addr = htonl(datagram.source);
            sender.sin_port = htons(datagram.sourcePort);
            if (!senders_.admit(sender, decoderClockMs_)) {
                refused(timeMicros);
                break;
            }
            const int fields = decoder_->decode(reinterpret_cast<const char*>(datagram.payload.data()),
                                                datagram.payload.size());
            const std::int32_t lastFix =
                lineCarriesFix(fields, decoded_->gpsStatus.load(std::memory_order_relaxed))
                    ? static_cast<std::int32_t>(lines_.size())
                    : (lines_.empty() ? -1 : lines_.back().lastFixLine);
            lines_.push_back({timeMicros, recordedMicros,
                              decoded_->packetInterval.load(std::memory_order_relaxed),
                              snapshotTelemetry(*decoded_), senders_.severalSendersStamp(), lastFix});
            break;
        }
        case FlightDatagramRole::recorderNote:
            takeNote(datagram);
            break;
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

void FlightReplay::takeNote(const CapturedDatagram& datagram) {
    const std::optional<RecorderNote> note = parseRecorderNote(datagram.payload);
    if (!note) return;
    // The port holds for the whole file: it is taken before the first line or upload only.
    if (note->port && !portFromNote_ && lines_.empty() && routes_.empty() && refusals_.empty()) {
        port_ = *note->port;
        portFromNote_ = true;
    }
    if (note->aircraftKnown) senders_.pin(note->aircraft);
}

std::int32_t FlightReplay::clockMs(std::int64_t timeMicros) const {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint64_t>((timeMicros - startMicros_) / 1000)));
}

void FlightReplay::refused(std::int64_t timeMicros) {
    const std::uint64_t count = senders_.refusedDatagrams();
    const std::optional<sockaddr_in> last = senders_.lastRefused();
    const ReplayRefusals now{timeMicros, count, last ? packSender(*last) : kNoSender};
    if (!refusals_.empty() && (timeMicros - refusals_.back().timeMicros < kRefusalMomentMicros ||
                               refusals_.size() >= kMaxRefusalMoments)) {
        // The moment stays where it began; the count and the sender are the latest.
        refusals_.back().count = now.count;
        refusals_.back().lastRefused = now.lastRefused;
        return;
    }
    refusals_.push_back(now);
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
        state.severalSenders = state.line->senders.severalAt(clockMs(micros));
        if (state.line->lastFixLine >= 0)
            state.lastFix = &lines_[static_cast<std::size_t>(state.line->lastFixLine)];
    }
    const auto laterRefusal = std::upper_bound(
        refusals_.begin(), refusals_.end(), micros,
        [](std::int64_t at, const ReplayRefusals& refusals) { return at < refusals.timeMicros; });
    if (laterRefusal != refusals_.begin()) state.refusals = *(laterRefusal - 1);
    const auto laterRoute =
        std::upper_bound(routes_.begin(), routes_.end(), micros,
                         [](std::int64_t at, const ReplayRoute& route) { return at < route.timeMicros; });
    if (laterRoute != routes_.begin()) state.route = &*(laterRoute - 1);
    return state;
}
