#include "map/LastHeard.h"
#include "tests/support/ScratchLocale.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"

namespace {

TEST(LastHeard, TheTimeSinceReadsInMinutesAndSecondsAcrossTheClockWrap) {
    struct Case {
        std::int32_t heard, now;
        const char* text;
    };
    const Case cases[] = {
        {1000, 1000, "0 s"},
        {1000, 43999, "42 s"},
        {0, 60000, "1 min 00 s"},
        {0, 185000, "3 min 05 s"},
        {INT32_MAX - 999, INT32_MIN + 41000, "42 s"},  // the clock wrapped in between
        {-5000, 67000, "1 min 12 s"},                  // from the clock's negative half
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatElapsed(elapsedSinceClock(c.heard, c.now)), c.text) << c.heard << " " << c.now;
    }
}

TEST(LastHeard, TheStatusBarTextGivesPositionAltitudeHeadingAndAirspeed) {
    // A heading of -89 degrees reads 271, one of 359.7 reads 0.
    LastHeard heard{{39.98612, -75.21235, 130.0f, -89 / 57.3f, 21.0f, 0, 0}, 72000};
    EXPECT_EQ(formatLastHeardStatus(heard),
              "Last heard 1 min 12 s ago at 39.986120 -75.212350, alt 130.0, heading 271, 21.0");
    heard.fix.psi = 359.7f / 57.3f;
    heard.elapsedMs = 42400;
    EXPECT_EQ(formatLastHeardStatus(heard),
              "Last heard 42 s ago at 39.986120 -75.212350, alt 130.0, heading 0, 21.0");
    EXPECT_EQ(formatLastPosition(heard.fix), "39.986120, -75.212350");

    // The program takes the user's locale: a decimal comma must not reach what a search team types.
    const ScratchLocale comma("de_DE", "de_DE.UTF-8");
    if (!comma.active()) GTEST_SKIP() << "localedef cannot make de_DE.UTF-8 (the locales package is missing)";
    EXPECT_EQ(formatLastPosition(heard.fix), "39.986120, -75.212350");
    EXPECT_EQ(formatLastHeardStatus(heard),
              "Last heard 42 s ago at 39.986120 -75.212350, alt 130.0, heading 0, 21.0");
}

TEST(LastHeard, OnlyALineThatCarriesTheGpsStatusAsAcquiredIsAFix) {
    TelemetryState state;
    std::int32_t clock = 0;
    TelemetryDecoder decoder(state, [&clock] { return clock; });
    const auto decode = [&](std::int32_t at, const std::string& text) {
        clock = at;
        decoder.decode(text.data(), text.size());
    };
    EXPECT_FALSE(state.lastFix.load());
    decode(100, "0 0 0 0 0 0 0 0 1.5 0 0 0 120 18.2 40.1 -75.6 130.0 0 2 1");  // GPS not acquired
    EXPECT_FALSE(state.lastFix.load());
    decode(200, "0 0 0 0 0 0 0 0 1.5 0 0 0 120 18.2 40.123456 -75.654321 131.5 1 2 1");
    decode(300, "0 0 0 0 0 0 0 0 2.5 0 0 0 120 25.0");  // short: keeps status 1, carries no position
    decode(400, "0 0 0 0 0 0 0 0 2.5 0 0 0 120 25.0 41.0 -76.0 99.0 3 2 1");
    const std::optional<LastFix> fix = state.lastFix.load();
    ASSERT_TRUE(fix);
    EXPECT_DOUBLE_EQ(fix->lat, 40.123456);
    EXPECT_DOUBLE_EQ(fix->lon, -75.654321);
    EXPECT_FLOAT_EQ(fix->alt, 131.5f);
    EXPECT_FLOAT_EQ(fix->psi, 1.5f);
    EXPECT_FLOAT_EQ(fix->cas, 18.2f);
    EXPECT_EQ(fix->clockMs, 200);
    EXPECT_GT(fix->utcMicros, 1700000000LL * 1000000);
}

TEST(LastHeard, TheFixTimeIsWrittenInUtc) {
    const LastFix fix{0, 0, 0, 0, 0, 0, 1796794900250000};
    EXPECT_EQ(fixTimeIso(fix), "2026-12-09T05:41:40Z");
    EXPECT_EQ(fixTimeText(fix), "2026-12-09 05:41:40 UTC");
}

}  // namespace
