#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

#include "net/TelemetrySenders.h"
#include "net/UplinkFrame.h"

class NetSocket;
class Notifier;
class SendAsker;

// What is being uploaded; the questions depend on it.
struct UploadRequest {
    enum class Kind { gains, waypoints };
    Kind kind;
    // Waypoints in the list when the upload was asked for (more than the datagram carries are cut).
    int waypointCount = 0;
};

enum class UploadOutcome {
    sent,
    // Handed to the socket, which refused it.
    sendFailed,
    // Not to be sent (nowhere to send it); the operator was told why.
    refused,
    // The operator chose Cancel.
    cancelled,
};

// The one way out to the aircraft for every upload: decides where it goes, asks the operator what
// has to be asked and sends it on the telemetry socket. User-interface thread only; the receiver
// thread keeps receiving on the same socket meanwhile.
class UploadGate {
public:
    // No telemetry for longer than this, and the operator is asked whether to send anyway.
    static constexpr std::int32_t kSilenceQuestionMs = 3000;

    UploadGate(NetSocket& socket, const TelemetrySenders& senders, SendAsker& asker, Notifier& notifier,
               MillisecondClock clock);

    // Sends `datagram` to the aircraft unless it is refused or the operator cancels. The destination
    // is fixed before any question is asked, so that Send reaches the address the question showed.
    UploadOutcome send(const UploadRequest& request, const UplinkDatagram& datagram);

    // Where the last upload of this run went; nothing before the first.
    std::optional<sockaddr_in> lastDestination() const { return lastDestination_; }

private:
    // Why the upload cannot be sent at all, or nothing.
    std::optional<std::string> refusal() const;
    // Each question the upload needs, in order; false as soon as the operator cancels one.
    bool operatorAgrees(const UploadRequest& request, const sockaddr_in& destination);

    NetSocket& socket_;
    const TelemetrySenders& senders_;
    SendAsker& asker_;
    Notifier& notifier_;
    MillisecondClock clock_;
    std::optional<sockaddr_in> lastDestination_;
};

// The questions and the refusal, as the operator reads them.
std::string sendToQuestion(const sockaddr_in& destination);
std::string silenceQuestion(std::int32_t silenceMs);
std::string waypointCutQuestion(int waypointCount);
std::string pinnedAircraftNotHeardMessage(const AircraftAddress& aircraft);
