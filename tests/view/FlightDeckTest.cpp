#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "record/FlightReplay.h"
#include "tests/record/RecordTestSupport.h"
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

// The replayed track is the recording's own: every line of the index (not one a tick), broken
// where the live track broke, drawn up to the moment shown wherever the operator moves it.
TEST_F(FlightDeckTest, AReplayShowsTheRecordedTrackUpToItsMoment) {
    constexpr std::int64_t kStart = 1796751167000000;
    constexpr std::int64_t kTenth = 100000;
    // Ten lines a second for 10 s: no GPS fix at lines 30 to 34, a 2 s silence after line 60.
    std::vector<FrameToWrite> frames;
    std::vector<std::int64_t> fixTimes;
    for (int i = 0; i < 100; ++i) {
        const std::int64_t time = kStart + i * kTenth + (i > 60 ? 20 * kTenth : 0);
        const bool fix = i < 30 || i > 34;
        char text[160];
        std::snprintf(text, sizeof text, "%d 0 0 0 0 0 0 0 0 0 0 0 0 0 %.6f -75.21 0 %d 2 1", i,
                      39.98 + i * 1e-4, fix ? 1 : 0);
        frames.push_back({time, udpPacket(0x7F000001, 14550, 0x7F000001, 9001, bytesOf(text))});
        if (fix) fixTimes.push_back(time / 1000);
    }
    ScratchFolder folder;
    const std::filesystem::path path = folder.path() / "flight.pcap";
    writeCapture(path, DLT_RAW, frames);
    FlightReplay recording;
    std::string error;
    ASSERT_TRUE(recording.open(path, error)) << error;

    line(100, 39.9870, -75.2120, 1);
    ReplayScene replay;
    extendReplayTrack(recording, replay);
    scene.showReplay(&replay);
    const std::vector<TrackPoint>& points = scene.flightTrack().points();
    ASSERT_EQ(points.size(), fixTimes.size()) << "a point for every line with a fix";
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i].timeMs, fixTimes[i]);
        // Runs begin at the first line, after the GPS gap and after the silence.
        EXPECT_EQ(points[i].startsRun, i == 0 || i == 30 || i == 56) << i;
    }
    struct Moment {
        std::int64_t at;  // from the start
        std::size_t shown;
    };
    // Forward, to the end at once, and back again: the drawn part follows every move.
    for (const Moment m : {Moment{5 * kTenth, 6}, Moment{118 * kTenth, 94}, Moment{50 * kTenth, 46},
                           Moment{-kTenth, 0}, Moment{33 * kTenth, 30}}) {
        replay.atMicros = kStart + m.at;
        tick(200);
        EXPECT_EQ(scene.flightTrack().shownEnd(scene.trackClockMs()), m.shown) << m.at;
    }
    EXPECT_EQ(points.size(), fixTimes.size()) << "moving back keeps the track";
    // The live track is kept apart.
    EXPECT_EQ(scene.liveTrack().points().size(), 1u);
    scene.showReplay(nullptr);
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
    replay.atMicros = 1796794900000000 + 185000000;
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
