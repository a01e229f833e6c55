#pragma once

#include <atomic>
#include <cstdint>

#include "net/LastFix.h"
#include "net/TelemetrySenders.h"

// The latest decoded telemetry, shared by two threads: the receiver thread is the only writer of
// the values; the user-interface thread reads them and clears the two flags. Every field is an
// atomic of its own width so that neither side ever waits for the other; a reader may see fields
// of two consecutive lines in one drawing, which nothing relies on.
//
// Angles are radians, rates radians per second; lat/lon degrees. All fields start at zero.
struct TelemetryState {
    std::atomic<float> p{0}, q{0}, r{0};
    std::atomic<float> ax{0}, ay{0}, az{0};
    std::atomic<float> aux10{0}, aux11{0}, aux12{0};
    std::atomic<float> palt{0}, cas{0};
    std::atomic<float> phi{0}, theta{0}, psi{0};
    std::atomic<std::int16_t> gpsStatus{0}, ahrsStatus{0}, navStatus{0};
    std::atomic<double> lat{0}, lon{0};
    std::atomic<float> alt{0};

    // 1 when a line was decoded since the view last scheduled a repaint; cleared by the view timer.
    std::atomic<std::int32_t> newData{0};
    // 1 when a line was decoded since the status panel last showed "LINK"; cleared by the panel.
    std::atomic<std::int32_t> linkAlive{0};
    // Mean seconds between lines, measured every eleventh line; 0 until the first measurement.
    std::atomic<double> packetInterval{0};
    // The program clock (programClockMs) at which the last line was decoded. Every value is a valid
    // clock reading (it runs negative for half of its cycle), so whether a line has been decoded at
    // all is told by lineHeard, set after the first line's clock is stored.
    std::atomic<std::int32_t> lastLineClock{0};
    std::atomic<bool> lineHeard{false};
    // The last line that carried a position with the GPS acquired, written by the decoder.
    LastFixRecord lastFix;

    // Who the lines come from: written by the receiver thread, the pinned address by the interface.
    TelemetrySenders senders;
};

static_assert(std::atomic<float>::is_always_lock_free && std::atomic<double>::is_always_lock_free &&
                  std::atomic<std::int16_t>::is_always_lock_free,
              "the telemetry fields must be lock-free so the user-interface thread never waits");
