#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

// The last line heard with the GPS acquired: where the aircraft was, how it flew, and when. It is
// what an operator who has lost the link searches from.
struct LastFix {
    double lat = 0, lon = 0;     // degrees
    float alt = 0;               // GPS altitude, the aircraft's unit
    float psi = 0;               // heading, radians
    float cas = 0;               // airspeed, metres a second
    std::int32_t clockMs = 0;    // program clock when heard (a live line; wraps)
    std::int64_t utcMicros = 0;  // calendar time when heard, microseconds since 1970 UTC
};

// Whether a decoded line carries a position with the GPS acquired: the scan reached its GPS status
// (so position, altitude, heading and airspeed all came with it) and that status is 1. A short line
// keeps the earlier line's values, which were heard then, not now.
bool lineCarriesFix(int fieldsConverted, std::int16_t gpsStatus);

// One writer thread (the receiver), readers on any thread, and nobody waits: the writer marks the
// record as being written by an odd sequence number, and a reader that finds it odd or changed
// reads again, a bounded number of times.
class LastFixRecord {
public:
    void store(const LastFix& fix);
    // The last fix stored; nothing before the first. Nothing also in the rare case that the writer
    // was stopped in the middle of a store through every attempt (the caller shows nothing new for
    // one tick rather than a position made of two lines).
    std::optional<LastFix> load() const;

private:
    std::atomic<std::uint32_t> sequence_{0};  // 0: never stored; odd: being written
    std::atomic<double> lat_{0}, lon_{0};
    std::atomic<float> alt_{0}, psi_{0}, cas_{0};
    std::atomic<std::int32_t> clockMs_{0};
    std::atomic<std::int64_t> utcMicros_{0};
};
