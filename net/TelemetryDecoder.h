#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "net/TelemetryState.h"

// Milliseconds since the program started, as a signed 32-bit count that wraps after about 24.8 days
// (differences taken in 32 bits stay right across the wrap).
std::int32_t programClockMs();

// Decodes telemetry lines into one TelemetryState and measures the line rate.
//
// A line is twenty fields separated by white space, read as
// "%f %f %f %f %f %f %f %f %f %f %f %f %f %f %s %s %f %d %d %d":
//   1-6 p q r ax ay az, 7-9 phi theta psi, 10-12 aux10 aux11 aux12, 13 palt, 14 cas,
//   15 lat, 16 lon (tokens, converted to double afterwards), 17 alt,
//   18-20 gpsStatus ahrsStatus navStatus (low 16 bits).
// The scan stops at the first field that does not convert: earlier fields take their new values,
// later ones keep theirs. A coordinate token keeps its first 19 characters; the rest of a longer
// token is skipped so the fields after it stay aligned. A coordinate is its token's longest leading
// plain decimal number, or 0 when it has none or it is not finite.
//
// Every line that is decoded, complete or not, sets newData and linkAlive and counts for the rate:
// each eleventh line sets packetInterval to the mean interval over the last eleven lines. A line
// that carries a position with the GPS acquired (lineCarriesFix) is also kept as the last fix,
// with the clock and the calendar time at which it was decoded.
//
// One thread decodes (the receiver); others may read the state at any time. Values are stored
// relaxed and the two flags last with release, so a reader that acquires a flag sees the line.
class TelemetryDecoder {
public:
    explicit TelemetryDecoder(TelemetryState& state, MillisecondClock clock = programClockMs);

    // Decodes one datagram's bytes. The line ends at `length` or at the first NUL byte, whichever
    // comes first; nothing past `length` is read. Allocates nothing. Returns the number of fields
    // that converted (20 for a complete line).
    int decode(const char* bytes, std::size_t length);

    static constexpr int kFieldCount = 20;

    // Lines decoded since the last rate measurement (0..10) and the clock at that measurement.
    std::int32_t rateLineCount() const { return rateLineCount_; }
    std::int32_t rateLastClock() const { return rateLastClock_; }

private:
    int scanFields(const char* next, const char* end);
    void measureRate(std::int32_t now);

    TelemetryState& state_;
    MillisecondClock clock_;
    std::int32_t rateLineCount_ = 0;
    std::int32_t rateLastClock_ = 0;
};
