#include "net/TelemetryDecoder.h"

#include <array>
#include <chrono>
#include <cstring>
#include <utility>

#include "net/ScanfNumbers.h"

namespace {

// Taken during static initialisation, before main runs: the clock counts from program start.
const std::chrono::steady_clock::time_point programStart = std::chrono::steady_clock::now();

// Lines per rate measurement, and 1/11000: eleven intervals, milliseconds to seconds.
constexpr std::int32_t kLinesPerMeasurement = 10;
constexpr double kIntervalFactor = 9.090909090909092e-05;

// A coordinate token: 19 characters and the terminator.
constexpr std::size_t kCoordinateTokenSize = 20;

using FloatField = std::atomic<float> TelemetryState::*;
using CoordinateField = std::atomic<double> TelemetryState::*;
using StatusField = std::atomic<std::int16_t> TelemetryState::*;

// The line's order, which is not the record's: the attitude angles come before aux10..aux12.
constexpr std::array<FloatField, 14> kLeadingFloats = {
    &TelemetryState::p,    &TelemetryState::q,     &TelemetryState::r,     &TelemetryState::ax,
    &TelemetryState::ay,   &TelemetryState::az,    &TelemetryState::phi,   &TelemetryState::theta,
    &TelemetryState::psi,  &TelemetryState::aux10, &TelemetryState::aux11, &TelemetryState::aux12,
    &TelemetryState::palt, &TelemetryState::cas,
};
constexpr std::array<CoordinateField, 2> kCoordinates = {&TelemetryState::lat, &TelemetryState::lon};
constexpr FloatField kAltitude = &TelemetryState::alt;
constexpr std::array<StatusField, 3> kStatuses = {&TelemetryState::gpsStatus, &TelemetryState::ahrsStatus,
                                                  &TelemetryState::navStatus};

}  // namespace

std::int32_t programClockMs() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - programStart);
    // Wraps modulo 2^32 like the platform's millisecond tick.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(elapsed.count()));
}

TelemetryDecoder::TelemetryDecoder(TelemetryState& state, MillisecondClock clock)
    : state_(state), clock_(std::move(clock)) {}

int TelemetryDecoder::decode(const char* bytes, std::size_t length) {
    // As with a C string, a NUL ends the line.
    const void* nul = length == 0 ? nullptr : std::memchr(bytes, '\0', length);
    const char* end = nul != nullptr ? static_cast<const char*>(nul) : bytes + length;
    const int fields = scanFields(bytes, end);

    const std::int32_t now = clock_();
    if (lineCarriesFix(fields, state_.gpsStatus.load(std::memory_order_relaxed))) {
        constexpr auto relaxed = std::memory_order_relaxed;
        const auto utc = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        state_.lastFix.store({state_.lat.load(relaxed), state_.lon.load(relaxed), state_.alt.load(relaxed),
                              state_.psi.load(relaxed), state_.cas.load(relaxed), now,
                              static_cast<std::int64_t>(utc.count())});
    }
    state_.lastLineClock.store(now, std::memory_order_relaxed);
    state_.lineHeard.store(true, std::memory_order_release);
    measureRate(now);
    state_.newData.store(1, std::memory_order_release);
    state_.linkAlive.store(1, std::memory_order_release);
    return fields;
}

int TelemetryDecoder::scanFields(const char* next, const char* end) {
    constexpr auto relaxed = std::memory_order_relaxed;
    int fields = 0;
    for (const FloatField field : kLeadingFloats) {
        float value = 0;
        if (!scanFloatField(next, end, value)) return fields;
        (state_.*field).store(value, relaxed);
        ++fields;
    }
    for (const CoordinateField field : kCoordinates) {
        char token[kCoordinateTokenSize];
        std::size_t tokenLength = 0;
        if (!scanTokenField(next, end, token, sizeof token, tokenLength)) return fields;
        (state_.*field).store(leadingDecimal(token, tokenLength), relaxed);
        ++fields;
    }
    float altitude = 0;
    if (!scanFloatField(next, end, altitude)) return fields;
    (state_.*kAltitude).store(altitude, relaxed);
    ++fields;
    for (const StatusField field : kStatuses) {
        std::int16_t status = 0;
        if (!scanInt16Field(next, end, status)) return fields;
        (state_.*field).store(status, relaxed);
        ++fields;
    }
    return fields;
}

void TelemetryDecoder::measureRate(std::int32_t now) {
    const std::int32_t old = rateLineCount_++;
    if (old != kLinesPerMeasurement) return;
    // The difference is taken in 32 bits, so it stays right when the clock wraps.
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) -
                                                   static_cast<std::uint32_t>(rateLastClock_));
    state_.packetInterval.store(static_cast<double>(elapsed) * kIntervalFactor, std::memory_order_relaxed);
    rateLastClock_ = now;
    rateLineCount_ = 0;
}
