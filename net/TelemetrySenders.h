#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "net/SenderAddress.h"

// A millisecond clock of the program (programClockMs in the program; tests give their own). It is a
// signed 32-bit count that may wrap; differences are taken in 32 bits.
using MillisecondClock = std::function<std::int32_t()>;

// Who the telemetry comes from: the receiver thread decides here whether a datagram is taken (the
// aircraft's address may be pinned) and keeps track of the senders of the lines it takes; the
// user-interface thread reads where an upload would go, whether two senders are heard at once, and
// what was refused. Every value is one atomic word (addresses packed whole), so neither thread ever
// waits for the other.
class TelemetrySenders {
public:
    // Lines from two addresses within this time of each other mean two senders; the warning stays
    // until only one has been heard for as long.
    static constexpr std::int32_t kSeveralSendersWindowMs = 5000;

    // Receiver thread only: whether the datagram from `sender`, received at `nowMs`, is taken. One
    // that the pinned address refuses is counted and its sender kept as the last refused.
    bool admit(const sockaddr_in& sender, std::int32_t nowMs);

    // Any thread. Nothing: telemetry is taken from any sender (the default).
    void pin(const std::optional<AircraftAddress>& aircraft);
    std::optional<AircraftAddress> pinned() const;

    // The sender of the last line taken; nothing before the first.
    std::optional<sockaddr_in> currentSender() const;
    // Where an upload goes: the current sender, unless the pinned address (changed since that line
    // was taken) would refuse it.
    std::optional<sockaddr_in> uploadDestination() const;
    // Milliseconds from the last line taken to `nowMs`; nothing before the first line.
    std::optional<std::int32_t> silenceMs(std::int32_t nowMs) const;
    // True while lines from more than one address (or port) were taken within the window before
    // `nowMs`.
    bool severalSenders(std::int32_t nowMs) const;

    // What severalSenders() reads, taken now so that it can be asked at a later moment (a replay
    // keeps one with each line it admitted).
    struct SeveralSendersStamp {
        std::uint64_t otherHeard = 0;
        bool severalAt(std::int32_t nowMs) const;
    };
    SeveralSendersStamp severalSendersStamp() const;

    std::uint64_t refusedDatagrams() const { return refused_.load(std::memory_order_relaxed); }
    std::optional<sockaddr_in> lastRefused() const;

private:
    std::atomic<std::uint64_t> pin_{kNoSender};
    std::atomic<std::uint64_t> current_{kNoSender};
    // Clock stamps: bit 32 set when the stamp holds a time, the clock in the low 32 bits.
    std::atomic<std::uint64_t> currentHeard_{0};
    // When any other sender than the current one was last heard.
    std::atomic<std::uint64_t> otherHeard_{0};
    std::atomic<std::uint64_t> refused_{0};
    std::atomic<std::uint64_t> lastRefused_{kNoSender};
};

static_assert(std::atomic<std::uint64_t>::is_always_lock_free,
              "the sender words must be lock-free so that the user-interface thread never waits");
