#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "net/TelemetryState.h"
#include "view/AlarmSchedule.h"
#include "view/FrameTick.h"

namespace {

// Drives the schedule through a story of (time, link lost, GPS lost) ticks and records when the
// sound played.
TEST(AlarmScheduleTest, SoundsAtEachLossAndEveryTenSecondsWhileItLastsNeverAtRecovery) {
    struct Tick {
        std::int64_t atMs;
        bool linkLost, gpsLost;
        bool muted;
    };
    struct Case {
        const char* story;
        std::vector<Tick> ticks;
        std::vector<std::int64_t> soundsAt;
    };
    const Case cases[] = {
        {"link lost for 25 s, then back",
         {{0, false, false, false},
          {100, true, false, false},
          {200, true, false, false},
          {10099, true, false, false},
          {10100, true, false, false},
          {20100, true, false, false},
          {25000, false, false, false},
          {30100, false, false, false}},
         {100, 10100, 20100}},
        {"the GPS lost twice: each loss sounds at once",
         {{0, false, true, false},
          {5000, false, false, false},
          {6000, false, true, false},
          {16000, false, true, false}},
         {0, 6000, 16000}},
        {"both lost together sound once; the second loss keeps its own rhythm",
         {{0, true, true, false},
          {3000, true, false, false},
          {4000, true, true, false},
          {10000, true, true, false},
          {14000, true, true, false}},
         {0, 4000, 10000, 14000}},
        {"muted: nothing; unmuted during a loss: at its next repeat",
         {{0, true, false, true},
          {10000, true, false, true},
          {15000, true, false, false},
          {20000, true, false, false}},
         {20000}},
        {"a late tick sounds once and the rhythm restarts from it",
         {{0, true, false, false},
          {35000, true, false, false},
          {44999, true, false, false},
          {45000, true, false, false}},
         {0, 35000, 45000}},
    };
    for (const Case& c : cases) {
        std::int64_t now = 0;
        std::vector<std::int64_t> played;
        AlarmSchedule schedule([&now] { return now; }, [&] { played.push_back(now); });
        for (const Tick& tick : c.ticks) {
            now = tick.atMs;
            schedule.setMuted(tick.muted);
            schedule.update(tick.linkLost, tick.gpsLost);
        }
        EXPECT_EQ(played, c.soundsAt) << c.story;
    }
}

TEST(AlarmScheduleTest, TheConditionsFollowTheLinkAndTheGpsOfTheDecodedLines) {
    struct Case {
        bool heard;
        std::int32_t lastLine;
        std::int16_t gpsStatus;
        std::int32_t now;
        bool linkLost, gpsLost;
    };
    const Case cases[] = {
        {false, 0, 0, 50000, false, false},                     // nothing heard yet: nothing lost
        {true, 1000, 1, 1000 + kLinkLossMs - 1, false, false},  // lines coming, GPS acquired
        {true, 1000, 0, 1500, false, true},                     // lines coming, no GPS
        {true, 1000, 0, 1000 + kLinkLossMs, true, false},       // lines stopped: only the link counts
        {true, -1, 0, 500, false, true},                        // the clock runs negative for half its cycle
        {true, INT32_MAX - 100, 1, INT32_MIN + 2000, true, false},  // across the clock's wrap
    };
    for (const Case& c : cases) {
        TelemetryState telemetry;
        telemetry.lineHeard = c.heard;
        telemetry.lastLineClock = c.lastLine;
        telemetry.gpsStatus = c.gpsStatus;
        const AlarmConditions conditions = alarmConditions(telemetry, c.now);
        EXPECT_EQ(conditions.linkLost, c.linkLost) << c.heard << " " << c.lastLine << " " << c.now;
        EXPECT_EQ(conditions.gpsLost, c.gpsLost) << c.heard << " " << c.lastLine << " " << c.now;
    }
}

}  // namespace
