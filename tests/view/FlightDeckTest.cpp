#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "common/Notifier.h"
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

}  // namespace
