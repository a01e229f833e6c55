#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The time of a recorded flight is the order of its records. Each record is placed on one flight
// time, microseconds since the file's first record, that only runs forward: while the capture clock
// runs forward the flight follows it; where the clock was stepped back (a time sync during the
// flight) a new stretch starts, continuing from where the flight was; a forward jump longer than any
// silence of a recording (a clock set wrong, a hostile file) is a step of the clock too, reported
// and not flown. Records of one microsecond are a microsecond apart, so that each has a moment of
// its own to be found at.
//
// Constant work and memory per record: nothing here grows with the span of the times.
class FlightTimeline {
public:
    // Up to this long without a record the link was silent and the time counts as flown; a longer
    // forward jump is a step of the clock.
    static constexpr std::int64_t kLongestSilenceMicros = 24LL * 3600 * 1000000;
    // The flight time never goes beyond this (about 146,000 years), so that no sum can overflow.
    static constexpr std::int64_t kLatestFlightMicros = std::int64_t{1} << 62;
    // Steps kept to be listed; later ones are only counted.
    static constexpr std::size_t kStepsListed = 10;

    struct Step {
        std::int64_t flightMicros = 0;  // where the new stretch begins
        std::int64_t clockMicros = 0;   // how far the capture clock jumped there: negative is back
    };

    // The flight time of the next record, captured at `captureMicros`; later than the one before.
    std::int64_t place(std::int64_t captureMicros);

    // The flight time of the last record placed (the flight's duration); 0 before any.
    std::int64_t lastMicros() const { return lastFlight_; }
    std::uint64_t backwardSteps() const { return backwardSteps_; }
    std::uint64_t forwardJumps() const { return forwardJumps_; }
    // The first steps of either kind, in record order.
    const std::vector<Step>& steps() const { return steps_; }

private:
    bool placedAny_ = false;
    std::int64_t lastCapture_ = 0;
    std::int64_t lastFlight_ = 0;
    // Flight time minus capture time in the current stretch.
    std::int64_t offset_ = 0;
    std::uint64_t backwardSteps_ = 0;
    std::uint64_t forwardJumps_ = 0;
    std::vector<Step> steps_;
};
