#include "net/TelemetrySenders.h"

namespace {

constexpr std::uint64_t kStamped = std::uint64_t{1} << 32;

std::uint64_t stamp(std::int32_t nowMs) {
    return kStamped | static_cast<std::uint32_t>(nowMs);
}

// Milliseconds from the stamp to `nowMs`, taken in 32 bits so that it stays right across the clock's
// wrap; nothing for an empty stamp.
std::optional<std::int32_t> since(std::uint64_t stamped, std::int32_t nowMs) {
    if ((stamped & kStamped) == 0) return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(nowMs) - static_cast<std::uint32_t>(stamped));
}

bool withinWindow(std::uint64_t stamped, std::int32_t nowMs) {
    const std::optional<std::int32_t> elapsed = since(stamped, nowMs);
    return elapsed && *elapsed >= 0 && *elapsed < TelemetrySenders::kSeveralSendersWindowMs;
}

}  // namespace

bool TelemetrySenders::admit(const sockaddr_in& sender, std::int32_t nowMs) {
    const std::uint64_t packed = packSender(sender);
    const std::optional<AircraftAddress> aircraft = pinned();
    if (aircraft && !aircraft->matches(sender)) {
        refused_.fetch_add(1, std::memory_order_relaxed);
        lastRefused_.store(packed, std::memory_order_relaxed);
        return false;
    }
    // Only this thread writes these, so its own reads need no ordering.
    const std::uint64_t previous = current_.load(std::memory_order_relaxed);
    if (previous != kNoSender && previous != packed) {
        // The sender that was current is now the most recent other one.
        otherHeard_.store(currentHeard_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    } else if (!withinWindow(otherHeard_.load(std::memory_order_relaxed), nowMs)) {
        // Forgotten once out of the window, so that a clock that wraps all the way round (after
        // about 49 days) cannot bring an old sender back into it.
        otherHeard_.store(0, std::memory_order_relaxed);
    }
    current_.store(packed, std::memory_order_release);
    currentHeard_.store(stamp(nowMs), std::memory_order_release);
    return true;
}

void TelemetrySenders::pin(const std::optional<AircraftAddress>& aircraft) {
    pin_.store(aircraft ? aircraft->packed() : kNoSender, std::memory_order_release);
}

std::optional<AircraftAddress> TelemetrySenders::pinned() const {
    return AircraftAddress::fromPacked(pin_.load(std::memory_order_acquire));
}

std::optional<sockaddr_in> TelemetrySenders::currentSender() const {
    const sockaddr_in sender = unpackSender(current_.load(std::memory_order_acquire));
    if (sender.sin_family != AF_INET) return std::nullopt;
    return sender;
}

std::optional<sockaddr_in> TelemetrySenders::uploadDestination() const {
    const std::optional<sockaddr_in> sender = currentSender();
    if (!sender) return std::nullopt;
    const std::optional<AircraftAddress> aircraft = pinned();
    if (aircraft && !aircraft->matches(*sender)) return std::nullopt;
    return sender;
}

std::optional<std::int32_t> TelemetrySenders::silenceMs(std::int32_t nowMs) const {
    return since(currentHeard_.load(std::memory_order_acquire), nowMs);
}

bool TelemetrySenders::severalSenders(std::int32_t nowMs) const {
    return severalSendersStamp().severalAt(nowMs);
}

TelemetrySenders::SeveralSendersStamp TelemetrySenders::severalSendersStamp() const {
    return {otherHeard_.load(std::memory_order_acquire)};
}

bool TelemetrySenders::SeveralSendersStamp::severalAt(std::int32_t nowMs) const {
    return withinWindow(otherHeard, nowMs);
}

std::optional<sockaddr_in> TelemetrySenders::lastRefused() const {
    const sockaddr_in sender = unpackSender(lastRefused_.load(std::memory_order_relaxed));
    if (sender.sin_family != AF_INET) return std::nullopt;
    return sender;
}
