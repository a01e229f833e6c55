#include "net/LastFix.h"

namespace {
constexpr int kGpsStatusField = 18;
constexpr std::int16_t kGpsAcquired = 1;
constexpr int kReadAttempts = 64;
}  // namespace

bool lineCarriesFix(int fieldsConverted, std::int16_t gpsStatus) {
    return fieldsConverted >= kGpsStatusField && gpsStatus == kGpsAcquired;
}

void LastFixRecord::store(const LastFix& fix) {
    constexpr auto relaxed = std::memory_order_relaxed;
    const std::uint32_t start = sequence_.load(relaxed) + 1;
    sequence_.store(start, relaxed);
    // The odd number must be seen before any of the new values.
    std::atomic_thread_fence(std::memory_order_release);
    lat_.store(fix.lat, relaxed);
    lon_.store(fix.lon, relaxed);
    alt_.store(fix.alt, relaxed);
    psi_.store(fix.psi, relaxed);
    cas_.store(fix.cas, relaxed);
    clockMs_.store(fix.clockMs, relaxed);
    utcMicros_.store(fix.utcMicros, relaxed);
    sequence_.store(start + 1, std::memory_order_release);
}

std::optional<LastFix> LastFixRecord::load() const {
    constexpr auto relaxed = std::memory_order_relaxed;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        const std::uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before == 0) return std::nullopt;
        if (before % 2 != 0) continue;
        LastFix fix;
        fix.lat = lat_.load(relaxed);
        fix.lon = lon_.load(relaxed);
        fix.alt = alt_.load(relaxed);
        fix.psi = psi_.load(relaxed);
        fix.cas = cas_.load(relaxed);
        fix.clockMs = clockMs_.load(relaxed);
        fix.utcMicros = utcMicros_.load(relaxed);
        // The values must be read before the sequence is looked at again.
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(relaxed) == before) return fix;
    }
    return std::nullopt;
}
