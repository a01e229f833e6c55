#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "view/FlightDeck.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"

namespace {

class SilentNotifier : public Notifier {
public:
    void showMessage(const std::string&, const std::string&) override {}
};

// The flight deck on the view's timer, without a window: which positions become track points.
class FlightDeckTest : public ::testing::Test {
protected:
    void SetUp() override {
        initMapGeometry(scene.mapGeometry(), kShippedMapWidth, kShippedMapHeight);
        deck.setAlarmsMuted(true);
        deck.setReadoutListener([this](const MapReadout& readout) { last = readout; });
    }
    // One decoded line at program clock `at`, then a tick of the timer.
    void line(std::int32_t at, double lat, double lon, std::int16_t gps) {
        telemetry.lat = lat;
        telemetry.lon = lon;
        telemetry.gpsStatus = gps;
        telemetry.lastLineClock = at;
        telemetry.lineHeard = true;
        tick(at);
    }
    void tick(std::int32_t at) {
        clockMs = at;
        deck.tick(at);
    }

    SilentNotifier notifier;
    TelemetryState telemetry;
    Scene scene{telemetry, notifier};
    std::int64_t clockMs = 0;
    int repaints = 0;
    FlightDeck deck{scene, telemetry, [this] { ++repaints; }, [this] { return clockMs; }};
    std::optional<MapReadout> last;
};

TEST_F(FlightDeckTest, TheLiveTrackTakesEachNewFixAndBreaksWithoutGpsOrLink) {
    tick(0);  // nothing heard yet
    EXPECT_TRUE(scene.flightTrack().points().empty());
    line(100, 39.9870, -75.2120, 1);
    tick(200);  // no new line: nothing new
    line(300, 39.9871, -75.2120, 1);
    line(400, 39.9872, -75.2120, 0);  // GPS not acquired
    line(500, 39.9873, -75.2120, 1);
    tick(500 + 1500);  // the lines stop: the link is lost
    line(2100, 39.9874, -75.2120, 1);
    const auto& points = scene.flightTrack().points();
    ASSERT_EQ(points.size(), 4u);
    const bool starts[] = {true, false, true, true};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(points[i].startsRun, starts[i]) << i;
    EXPECT_EQ(points.back().timeMs, 2100);
    // The readout measures from the live aircraft.
    ASSERT_TRUE(last && last->aircraft);
    EXPECT_EQ(last->aircraft->lat, 39.9874);
    deck.clearTrack();
    EXPECT_TRUE(scene.flightTrack().points().empty());
    EXPECT_GE(repaints, 1);
}

TEST_F(FlightDeckTest, AReplayShowsTheReplayedFlightsOwnTrack) {
    line(100, 39.9870, -75.2120, 1);
    ReplayScene replay;
    scene.showReplay(&replay);
    struct Moment {
        std::time_t second;
        double lat;
        bool linkUp;
        std::size_t pointsAfter;
    };
    const Moment moments[] = {{1000, 39.9860, true, 1},
                              {1001, 39.9861, true, 2},
                              {1001, 39.9861, true, 2},
                              {1002, 39.9862, false, 2},
                              {1003, 39.9863, true, 3},
                              // moved back in the recording: a new track
                              {900, 39.9850, true, 1}};
    std::int32_t at = 200;
    for (const Moment& m : moments) {
        replay.lineTime = m.second;
        replay.telemetry.lat = m.lat;
        replay.telemetry.lon = -75.2130;
        replay.telemetry.gpsStatus = 1;
        replay.telemetry.linkAlive = m.linkUp ? 1 : 0;
        tick(at += 100);
        EXPECT_EQ(scene.flightTrack().points().size(), m.pointsAfter) << m.second;
    }
    EXPECT_EQ(scene.flightTrack().points().back().timeMs, 900000);
    // The readout measures from the replayed aircraft; the live track is kept apart.
    ASSERT_TRUE(last && last->aircraft);
    EXPECT_EQ(last->aircraft->lat, 39.9850);
    EXPECT_EQ(scene.liveTrack().points().size(), 1u);
    scene.showReplay(nullptr);
    EXPECT_EQ(scene.flightTrack().points().size(), 1u);
    EXPECT_EQ(scene.flightTrack().points().front().lat, 39.9870);
}

// The program clock `ms` after `from`, wrapping as the clock does.
std::int32_t after(std::int32_t from, std::int64_t ms) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(from) + static_cast<std::uint32_t>(ms));
}

TEST_F(FlightDeckTest, TheLossAndTheReturnAreLoggedAndTheStatusBarCountsOnEveryTick) {
    std::vector<std::string> log;
    deck.setLinkLog([&log](const std::string& text) { log.push_back(text); });
    std::int32_t now = 0;
    scene.setClock([&now] { return now; });
    TelemetryDecoder decoder(telemetry, [&now] { return now; });
    const auto hear = [&](std::int32_t at, const std::string& text) {
        now = at;
        decoder.decode(text.data(), text.size());
        tick(at);
    };
    const auto tickAt = [&](std::int32_t at) {
        now = at;
        tick(at);
    };
    // Heard just before the program clock wraps.
    const std::int32_t heard = INT32_MAX - 1500;
    hear(heard, "0 0 0 0 0 0 0 0 4.7295 0 0 0 120 21.0 39.98612 -75.21235 130.0 1 2 1");
    tickAt(after(heard, 500));
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->lastHeard);

    repaints = 0;
    tickAt(after(heard, 1000));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Link lost; Last heard 1 s ago at 39.986120 -75.212350, alt 130.0, heading 271, "
                           "21.0 (",
                           0),
              0u)
        << log[0];
    tickAt(after(heard, 73000));
    ASSERT_TRUE(last->lastHeard);
    EXPECT_EQ(formatLastHeardReadout(*last),
              "Last heard 1 min 13 s ago at 39.986120 -75.212350, alt 130.0, heading 271, 21.0");
    EXPECT_EQ(repaints, 2);  // one a tick while it counts

    hear(after(heard, 80000), "0 0 0 0 0 0 0 0 4.7295 0 0 0 120 21.0 39.98700 -75.21200 131.0 1 2 1");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(
        log[1],
        "Link back; it was lost for 1 min 20 s; the last position heard before was 39.986120, -75.212350");
    EXPECT_FALSE(last->lastHeard);

    // A replay counts on its own clock and logs nothing of its own.
    ReplayScene replay;
    replay.lastFix = LastFix{39.9, -75.2, 100, 0, 10, 0, 1796794900000000};
    replay.momentMicros = 1796794900000000 + 185000000;
    scene.showReplay(&replay);
    tickAt(after(heard, 80100));
    ASSERT_TRUE(last->lastHeard);
    EXPECT_EQ(last->lastHeard->elapsedMs, 185000);
    EXPECT_EQ(deck.lastPosition()->lat, 39.9);
    replay.telemetry.linkAlive = 1;
    tickAt(after(heard, 80200));
    EXPECT_FALSE(last->lastHeard);
    EXPECT_EQ(log.size(), 2u);
}

}  // namespace
