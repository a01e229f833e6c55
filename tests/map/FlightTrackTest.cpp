#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "map/FlightTrack.h"

namespace {

// About 1.1 m of latitude.
constexpr double kStep = 1e-5;

TEST(FlightTrackTest, GapsStartNewRunsAndPointsTooCloseAddNothing) {
    FlightTrack track;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    track.addFix(39.98, -75.21, 0);
    track.addFix(39.98 + kStep, -75.21, 20);
    track.addFix(39.98 + kStep + 1e-8, -75.21, 40);  // 1 mm on: nothing visible
    track.addBreak();                                // GPS lost
    track.addFix(39.98 + 2 * kStep, -75.21, 60);
    track.addFix(nan, -75.21, 80);  // no coordinate
    track.addFix(39.98 + 3 * kStep, -75.21, 100);
    track.addFix(91.0, -75.21, 120);               // no coordinate either
    track.addFix(39.98 + 3 * kStep, -75.21, 140);  // the same place, but after a gap: kept
    ASSERT_EQ(track.points().size(), 5u);
    const bool starts[] = {true, false, true, true, true};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(track.points()[i].startsRun, starts[i]) << i;
    track.clear();
    EXPECT_TRUE(track.points().empty());
    track.addFix(39.98, -75.21, 200);
    EXPECT_TRUE(track.points().front().startsRun);
}

TEST(FlightTrackTest, TheModesShowTheLastTenMinutesTheWholeFlightOrNothing) {
    FlightTrack track;
    for (int second = 0; second < 1200; ++second)
        track.addFix(39.98 + second * kStep, -75.21, second * 1000LL);
    const std::int64_t now = 1199 * 1000LL;
    EXPECT_EQ(track.firstShown(TrackMode::WholeFlight, now), 0u);
    EXPECT_EQ(track.firstShown(TrackMode::Off, now), track.points().size());
    // Fixes at 599 s .. 1199 s lie within ten minutes of 1199 s.
    EXPECT_EQ(track.firstShown(TrackMode::LastTenMinutes, now), 599u);
}

TEST(FlightTrackTest, AFlightOfHoursAtFiftyLinesASecondStaysWithinTheBound) {
    FlightTrack track;
    // Five hours at 50 lines a second, circling, with a GPS gap every 1000 lines, and then the same
    // time with a gap at every line (runs too short to thin).
    const std::int64_t lines = 5LL * 3600 * 50;
    std::size_t largest = 0;
    for (std::int64_t i = 0; i < lines; ++i) {
        const double angle = static_cast<double>(i) * 1e-3;
        if (i % 1000 == 0) track.addBreak();
        track.addFix(39.98 + 3e-3 * std::sin(angle), -75.21 + 3e-3 * std::cos(angle), i * 20);
        largest = std::max(largest, track.points().size());
    }
    EXPECT_LE(largest, FlightTrack::kCapacity);
    EXPECT_GT(track.points().size(), FlightTrack::kCapacity / 3);
    // The runs survive the thinning: every run still starts after a gap and ends at its last fix.
    EXPECT_EQ(track.points().back().timeMs, (lines - 1) * 20);
    for (std::int64_t i = 0; i < 120000; ++i) {
        track.addBreak();
        track.addFix(i % 2 == 0 ? 39.98 : 39.981, -75.21, (lines + i) * 20);
        largest = std::max(largest, track.points().size());
    }
    EXPECT_LE(largest, FlightTrack::kCapacity);
    EXPECT_EQ(track.points().back().timeMs, (lines + 119999) * 20);
}

}  // namespace
