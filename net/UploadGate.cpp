#include "net/UploadGate.h"

#include <utility>

#include "common/Notifier.h"
#include "common/SendAsker.h"
#include "net/NetSocket.h"

namespace {

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

}  // namespace

std::string sendToQuestion(const sockaddr_in& destination) {
    return "Send to the aircraft at " + formatSender(destination) + "?";
}

std::string silenceQuestion(std::int32_t silenceMs) {
    return "No telemetry for " + std::to_string(silenceMs / 1000) +
           " s: the aircraft may not receive this. Send anyway?";
}

std::string waypointCutQuestion(int waypointCount) {
    return "Only the first eight of the " + std::to_string(waypointCount) +
           " waypoints are sent, and the other " + std::to_string(waypointCount - kWaypointUploadLimit) +
           " are taken off the list. Send the first eight?";
}

std::string pinnedAircraftNotHeardMessage(const AircraftAddress& aircraft) {
    return "No telemetry has come from the aircraft's address " + aircraft.text() +
           " yet, so there is nowhere to send the upload. Nothing was sent.";
}

UploadGate::UploadGate(NetSocket& socket, const TelemetrySenders& senders, SendAsker& asker,
                       Notifier& notifier, MillisecondClock clock)
    : socket_(socket), senders_(senders), asker_(asker), notifier_(notifier), clock_(std::move(clock)) {}

UploadOutcome UploadGate::send(const UploadRequest& request, const UplinkDatagram& datagram) {
    if (const std::optional<std::string> why = refusal()) {
        notifier_.showMessage(kApplicationTitle, *why);
        return UploadOutcome::refused;
    }
    // Fixed now: the receiver may hear another sender while a question is open.
    const sockaddr_in destination = *senders_.uploadDestination();
    if (!operatorAgrees(request, destination)) return UploadOutcome::cancelled;

    if (socket_.sendToAddress(datagram.data(), kUplinkSize, destination) != kUplinkSize) {
        return UploadOutcome::sendFailed;
    }
    lastDestination_ = destination;
    return UploadOutcome::sent;
}

std::optional<std::string> UploadGate::refusal() const {
    if (socket_.repliesHeld()) return std::string(kReplayNothingSentMessage);
    if (senders_.uploadDestination()) return std::nullopt;
    if (const std::optional<AircraftAddress> aircraft = senders_.pinned()) {
        return pinnedAircraftNotHeardMessage(*aircraft);
    }
    return std::string(kNoAircraftHeardMessage);
}

bool UploadGate::operatorAgrees(const UploadRequest& request, const sockaddr_in& destination) {
    const std::int32_t nowMs = clock_();
    // While two senders are heard the destination is whichever spoke last, so it is confirmed on
    // every upload, the first of the run included.
    const bool destinationChanged = lastDestination_ && !sameAddress(*lastDestination_, destination);
    if ((destinationChanged || senders_.severalSenders(nowMs)) &&
        !asker_.askToSend(sendToQuestion(destination))) {
        return false;
    }
    const std::optional<std::int32_t> silence = senders_.silenceMs(nowMs);
    if (silence && *silence > kSilenceQuestionMs && !asker_.askToSend(silenceQuestion(*silence))) {
        return false;
    }
    if (request.kind == UploadRequest::Kind::waypoints && request.waypointCount > kWaypointUploadLimit &&
        !asker_.askToSend(waypointCutQuestion(request.waypointCount))) {
        return false;
    }
    return true;
}
