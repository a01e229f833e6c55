#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "map/TerrainAlarm.h"
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

// A flight told as (time, link alive, GPS acquired, ground, altitude) ticks through the terrain
// alarm and the schedule: when it is armed, when it sounds and what the journal says.
TEST(AlarmScheduleTest, TheTerrainAlarmArmsAboveTheMarginAndSoundsBelowIt) {
    constexpr auto kKnown = GroundHeight::State::Known;
    constexpr auto kNone = GroundHeight::State::NoTerrain;
    constexpr auto kLoading = GroundHeight::State::Loading;
    struct Tick {
        std::int64_t atMs;
        bool link, gps;
        GroundHeight::State ground;
        double altitude;  // ground at 100 m where known
    };
    struct Case {
        const char* story;
        std::vector<Tick> ticks;
        std::vector<std::int64_t> soundsAt;
        std::vector<std::string> journal;
    };
    const Case cases[] = {
        {"standing on the field, then climbing out: nothing",
         {{0, true, true, kKnown, 101}, {10000, true, true, kKnown, 110}, {20000, true, true, kKnown, 200}},
         {},
         {}},
        {"above the margin, then below it for 25 s, then above again",
         {{0, true, true, kKnown, 200},
          {1000, true, true, kKnown, 124},
          {5000, true, true, kLoading, 124},
          {11000, true, true, kKnown, 120},
          {21000, true, true, kKnown, 125},
          {26000, true, true, kKnown, 140},
          {36000, true, true, kKnown, 140}},
         {1000, 11000, 21000},
         {"alarm terrain: AGL 24 m at 39.98612 -75.21235", "alarm terrain: over"}},
        {"no terrain, no GPS or no link: no terrain alarm",
         {{0, true, true, kKnown, 200},
          {1000, true, true, kNone, 110},
          {2000, true, false, kKnown, 110},
          {3000, false, true, kKnown, 110}},
         {},
         {}},
        {"a loss of terrain under the aircraft ends the alarm",
         {{0, true, true, kKnown, 200}, {1000, true, true, kKnown, 110}, {2000, true, true, kNone, 110}},
         {1000},
         {"alarm terrain: AGL 10 m at 39.98612 -75.21235", "alarm terrain: over"}},
    };
    for (const Case& c : cases) {
        std::int64_t now = 0;
        std::vector<std::int64_t> played;
        std::vector<std::string> journal;
        AlarmSchedule schedule([&now] { return now; }, [&] { played.push_back(now); });
        schedule.setJournal([&](const std::string& line) { journal.push_back(line); });
        TerrainAlarm alarm;
        for (const Tick& tick : c.ticks) {
            now = tick.atMs;
            const GroundHeight ground{tick.ground, 100};
            std::optional<std::string> low;
            if (alarm.update(tick.link, tick.gps, ground, tick.altitude)) {
                low = terrainAlarmText(tick.altitude - 100, {39.98612, -75.21235}, HeightUnit::Metres);
            }
            schedule.update(false, false, low);
        }
        EXPECT_EQ(played, c.soundsAt) << c.story;
        EXPECT_EQ(journal, c.journal) << c.story;
    }
}

TEST(AlarmScheduleTest, EveryAlarmIsJournalledWhenItStartsAndEnds) {
    std::int64_t now = 0;
    std::vector<std::string> journal;
    AlarmSchedule schedule([&now] { return now; }, nullptr);
    schedule.setMuted(true);  // muted alarms are still journalled
    schedule.setJournal([&](const std::string& line) { journal.push_back(line); });
    schedule.update(true, false);
    schedule.update(true, false);
    schedule.update(false, true);
    schedule.update(false, false);
    const std::vector<std::string> expected = {"alarm link: lost", "alarm link: over",
                                               "alarm gps: not acquired", "alarm gps: over"};
    EXPECT_EQ(journal, expected);
}

}  // namespace
