#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "net/CockpitFeed.h"
#include "tools/cockpit/CockpitPacket.h"

// The cockpit display's end of the feed: a non-blocking UDP socket on the loopback address that
// keeps the newest valid packet. Datagrams of any other length are counted and dropped.
class CockpitReceiver {
public:
    CockpitReceiver() = default;
    ~CockpitReceiver();
    CockpitReceiver(const CockpitReceiver&) = delete;
    CockpitReceiver& operator=(const CockpitReceiver&) = delete;

    // Binds 127.0.0.1:`port` (0 takes any free port). False, with error() telling why, on failure.
    bool open(std::uint16_t port);
    // Reads the datagrams waiting now, at most kMaxDatagramsPerDrain so a flood cannot stall the
    // display; the socket stays readable if more remain. Returns how many were accepted.
    int drain();

    int handle() const { return socket_; }
    std::uint16_t boundPort() const { return boundPort_; }
    const std::string& error() const { return error_; }
    const std::optional<CockpitReading>& latest() const { return latest_; }
    long long acceptedCount() const { return accepted_; }
    long long refusedCount() const { return refused_; }

    static constexpr int kMaxDatagramsPerDrain = 64;

private:
    int socket_ = -1;
    std::uint16_t boundPort_ = 0;
    std::string error_;
    std::optional<CockpitReading> latest_;
    long long accepted_ = 0;
    long long refused_ = 0;
    // One byte more than a packet: with MSG_TRUNC the real length is known anyway, and nothing
    // longer is ever written into the buffer.
    std::array<std::uint8_t, kCockpitFeedSize + 1> buffer_{};
};
