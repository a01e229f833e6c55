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
    // Each value is stored with release, so a reader that sees a new value also sees the odd
    // number stored before it, and so reads again.
    constexpr auto release = std::memory_order_release;
    const std::uint32_t start = sequence_.load(std::memory_order_relaxed) + 1;
    sequence_.store(start, std::memory_order_relaxed);
    lat_.store(fix.lat, release);
    lon_.store(fix.lon, release);
    alt_.store(fix.alt, release);
    psi_.store(fix.psi, release);
    cas_.store(fix.cas, release);
    clockMs_.store(fix.clockMs, release);
    utcMicros_.store(fix.utcMicros, release);
    sequence_.store(start + 1, release);
}

std::optional<LastFix> LastFixRecord::load() const {
    // Acquire loads of the values keep the second look at the sequence after them.
    constexpr auto acquire = std::memory_order_acquire;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        const std::uint32_t before = sequence_.load(acquire);
        if (before == 0) return std::nullopt;
        if (before % 2 != 0) continue;
        LastFix fix;
        fix.lat = lat_.load(acquire);
        fix.lon = lon_.load(acquire);
        fix.alt = alt_.load(acquire);
        fix.psi = psi_.load(acquire);
        fix.cas = cas_.load(acquire);
        fix.clockMs = clockMs_.load(acquire);
        fix.utcMicros = utcMicros_.load(acquire);
        if (sequence_.load(std::memory_order_relaxed) == before) return fix;
    }
    return std::nullopt;
}
