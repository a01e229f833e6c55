#include "record/FlightTimeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr std::int64_t kSecond = 1000000;
constexpr std::int64_t kHour = 3600 * kSecond;
constexpr std::int64_t kStart = 1796751167 * kSecond;

TEST(FlightTimeline, FollowsTheClockForwardAndStartsAStretchWhereItSteps) {
    struct Case {
        const char* name;
        std::vector<std::int64_t> captured;  // after kStart
        std::vector<std::int64_t> flight;
        std::uint64_t backward, forward;
    };
    const Case cases[] = {
        {"steady", {0, 20000, 40000, 2 * kSecond}, {0, 20000, 40000, 2 * kSecond}, 0, 0},
        {"same microsecond", {0, 5, 5, 5, 9}, {0, 5, 6, 7, 9}, 0, 0},
        {"stepped back an hour",
         {0, kSecond, kSecond - kHour, 2 * kSecond - kHour},
         {0, kSecond, kSecond + 1, 2 * kSecond + 1},
         1,
         0},
        {"a silence of an hour is flown", {0, kHour, kHour + 1}, {0, kHour, kHour + 1}, 0, 0},
        {"a jump over a day is not",
         {0, 10, 10 + 25 * 24 * kHour, 20 + 25 * 24 * kHour},
         {0, 10, 11, 21},
         0,
         1},
        {"the far end of the file's clock", {-kStart, 4294967295 * kSecond - kStart}, {0, 1}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlightTimeline timeline;
        std::vector<std::int64_t> flight;
        for (const std::int64_t at : c.captured) flight.push_back(timeline.place(kStart + at));
        EXPECT_EQ(flight, c.flight);
        EXPECT_EQ(timeline.lastMicros(), c.flight.back());
        EXPECT_EQ(timeline.backwardSteps(), c.backward);
        EXPECT_EQ(timeline.forwardJumps(), c.forward);
        EXPECT_EQ(timeline.steps().size(), c.backward + c.forward);
    }
}

TEST(FlightTimeline, ClockSwingingBackAndForthStaysBoundedAndListsTheFirstSteps) {
    FlightTimeline timeline;
    std::int64_t previous = -1;
    for (int i = 0; i < 100000; ++i) {
        const std::int64_t flight = timeline.place(i % 2 == 0 ? 0 : FlightTimeline::kLongestSilenceMicros);
        ASSERT_GT(flight, previous);
        previous = flight;
    }
    EXPECT_EQ(timeline.backwardSteps(), 49999u);
    EXPECT_EQ(timeline.steps().size(), FlightTimeline::kStepsListed);
    EXPECT_EQ(timeline.steps()[0].flightMicros, FlightTimeline::kLongestSilenceMicros + 1);
    EXPECT_EQ(timeline.steps()[0].clockMicros, -FlightTimeline::kLongestSilenceMicros);
    EXPECT_LE(timeline.lastMicros(), FlightTimeline::kLatestFlightMicros);
}

}  // namespace
