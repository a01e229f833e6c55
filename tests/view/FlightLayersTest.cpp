#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;
constexpr std::int64_t kMinute = 60 * 1000;

bool isMagenta(OsMesaContext::Rgb c) {
    return c.r > 200 && c.g < 60 && c.b > 200;
}
bool isGrey(OsMesaContext::Rgb c) {
    return c.r > 90 && c.r < 160 && std::abs(c.r - c.g) < 8 && std::abs(c.r - c.b) < 8;
}

class FlightLayersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.valid());
        initMapGeometry(scene.mapGeometry(), kShippedMapWidth, kShippedMapHeight);
        scene.resize(kWidth, kHeight);
        enableLayerDrawingState();
    }
    // The geographic point at fractions (fx from the left, fy from the top) of the map.
    GeoPoint mapPoint(double fx, double fy) const {
        const MapGeometry& g = scene.mapGeometry();
        return {g.upperLeftLat + fy * (g.lowerRightLat - g.upperLeftLat),
                g.upperLeftLon + fx * (g.lowerRightLon - g.upperLeftLon)};
    }
    PixelPoint pixelOf(GeoPoint p) const {
        const ScenePoint at = *geoToScene(scene.mapGeometry(), p.lat, p.lon);
        return sceneToPixel(at.x, at.y, kWidth, kHeight);
    }
    // Magenta within two pixels of the geographic point.
    bool magentaAt(GeoPoint p) {
        const PixelPoint at = pixelOf(p);
        return findPixels(context, isMagenta, static_cast<int>(at.x) - 2, static_cast<int>(at.y) - 2,
                          static_cast<int>(at.x) + 2, static_cast<int>(at.y) + 2)
            .found;
    }
    void fly(GeoPoint from, GeoPoint to, int fixes, std::int64_t startMs) {
        for (int i = 0; i <= fixes; ++i) {
            const double f = static_cast<double>(i) / fixes;
            scene.flightTrack().addFix(from.lat + f * (to.lat - from.lat), from.lon + f * (to.lon - from.lon),
                                       startMs + i * 100);
        }
    }
    void drawFrame() {
        scene.drawFrame();
        context.pixels();
    }

    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
};

TEST_F(FlightLayersTest, TheTrackFollowsTheFlownPathAndBreaksAtAGap) {
    // East along the top third, a GPS gap, then south-west in the lower part.
    const GeoPoint a = mapPoint(0.1, 0.3), b = mapPoint(0.6, 0.3), c = mapPoint(0.7, 0.5),
                   d = mapPoint(0.3, 0.9);
    fly(a, b, 50, 0);
    scene.flightTrack().addBreak();
    fly(c, d, 50, 10000);
    scene.setTrackClock(20000);
    drawFrame();
    for (double f : {0.05, 0.3, 0.5, 0.7, 0.95}) {
        EXPECT_TRUE(magentaAt({a.lat + f * (b.lat - a.lat), a.lon + f * (b.lon - a.lon)})) << f;
        EXPECT_TRUE(magentaAt({c.lat + f * (d.lat - c.lat), c.lon + f * (d.lon - c.lon)})) << f;
    }
    // Nothing joins b to c across the gap, and nothing else is magenta.
    EXPECT_FALSE(magentaAt({(b.lat + c.lat) / 2, (b.lon + c.lon) / 2}));
    const PixelBox all = findPixels(context, isMagenta);
    EXPECT_GE(all.left, pixelOf(a).x - 3);
    EXPECT_LE(all.right, pixelOf(c).x + 3);
    EXPECT_GE(all.top, pixelOf(a).y - 3);
    EXPECT_LE(all.bottom, pixelOf(d).y + 3);
    // Two pixels wide: a vertical cut through the east-bound line holds two or three lit rows.
    const PixelPoint mid = pixelOf({a.lat, (a.lon + b.lon) / 2});
    const PixelBox cut = findPixels(context, isMagenta, static_cast<int>(mid.x), static_cast<int>(mid.y) - 6,
                                    static_cast<int>(mid.x), static_cast<int>(mid.y) + 6);
    EXPECT_GE(cut.count, 1);
    EXPECT_LE(cut.count, 3);
}

TEST_F(FlightLayersTest, TheModesShowTheLastTenMinutesTheWholeFlightOrNothing) {
    const GeoPoint a = mapPoint(0.1, 0.2), b = mapPoint(0.9, 0.2), c = mapPoint(0.1, 0.7),
                   d = mapPoint(0.9, 0.7);
    fly(a, b, 40, 0);  // an old leg
    fly(c, d, 40, 15 * kMinute);
    scene.setTrackClock(15 * kMinute + 5000);
    struct Case {
        TrackMode mode;
        bool oldLeg, newLeg;
    };
    for (const Case& c0 : {Case{TrackMode::LastTenMinutes, false, true},
                           Case{TrackMode::WholeFlight, true, true}, Case{TrackMode::Off, false, false}}) {
        scene.setTrackMode(c0.mode);
        drawFrame();
        EXPECT_EQ(magentaAt(mapPoint(0.5, 0.2)), c0.oldLeg) << static_cast<int>(c0.mode);
        EXPECT_EQ(magentaAt(mapPoint(0.5, 0.7)), c0.newLeg) << static_cast<int>(c0.mode);
    }
}

TEST_F(FlightLayersTest, MarkersRouteAndSymbolStayOverTheTrack) {
    // North to south; a waypoint and the aircraft (heading north) on it.
    const GeoPoint a = mapPoint(0.7, 0.1), b = mapPoint(0.7, 0.9);
    fly(a, b, 80, 0);
    scene.setTrackClock(8000);
    Waypoints& w = scene.waypoints();
    w.waypointCount = 1;
    const GeoPoint waypoint = mapPoint(0.7, 0.3);
    w.waypointLat[0] = waypoint.lat;
    w.waypointLon[0] = waypoint.lon;
    const ScenePoint marker = *geoToScene(scene.mapGeometry(), waypoint.lat, waypoint.lon);
    w.waypointSceneX[0] = marker.x;
    w.waypointSceneY[0] = marker.y;
    const GeoPoint aircraft = mapPoint(0.7, 0.6);
    telemetry.lat = aircraft.lat;
    telemetry.lon = aircraft.lon;
    telemetry.gpsStatus = 1;
    telemetry.lineHeard = true;
    telemetry.lastLineClock = programClockMs();
    drawFrame();
    const PixelPoint m = pixelOf(waypoint);
    EXPECT_TRUE(isRed(context.at(static_cast<int>(m.x), static_cast<int>(m.y))));
    // Inside the arrowhead, one symbol unit ahead of its position (0.09 scene units, 8 pixels).
    const PixelPoint s = pixelOf(aircraft);
    EXPECT_TRUE(isRed(context.at(static_cast<int>(s.x), static_cast<int>(s.y) - 8)));
    EXPECT_TRUE(magentaAt(mapPoint(0.7, 0.45)));
}

TEST_F(FlightLayersTest, ALostLinkGreysTheUnitWordsAndEmptiesTheSymbol) {
    scene.buildFonts();
    ASSERT_NE(scene.outlineFontBase(), 0u);
    const GeoPoint aircraft = mapPoint(0.5, 0.5);
    telemetry.lat = aircraft.lat;
    telemetry.lon = aircraft.lon;
    telemetry.gpsStatus = 1;
    telemetry.navStatus = 1;
    telemetry.ahrsStatus = 2;
    // The status words' column of the state table.
    const PixelPoint wordsTop = sceneToPixel(1.712 + 1.68, 2.2 - 2.91 + 0.22, kWidth, kHeight);
    const PixelPoint wordsBottom = sceneToPixel(1.712 + 1.68 + 1.0, 2.2 - 3.41 - 0.02, kWidth, kHeight);
    auto words = [&](const std::function<bool(OsMesaContext::Rgb)>& match) {
        return findPixels(context, match, static_cast<int>(wordsTop.x), static_cast<int>(wordsTop.y),
                          static_cast<int>(wordsBottom.x), static_cast<int>(wordsBottom.y))
            .count;
    };
    const PixelPoint s = pixelOf(aircraft);
    auto symbol = [&](const std::function<bool(OsMesaContext::Rgb)>& match) {
        return findPixels(context, match, static_cast<int>(s.x) - 15, static_cast<int>(s.y) - 20,
                          static_cast<int>(s.x) + 15, static_cast<int>(s.y) + 15)
            .count;
    };
    for (const bool lost : {false, true}) {
        telemetry.linkAlive = 1;
        telemetry.lineHeard = true;
        telemetry.lastLineClock = programClockMs() - (lost ? 5000 : 0);
        drawFrame();
        EXPECT_EQ(words(isGreen) > 50, !lost) << lost;
        EXPECT_EQ(words(isGrey) > 50, lost) << lost;
        EXPECT_EQ(symbol(isRed) > 20, !lost) << lost;
        EXPECT_GT(symbol(isYellow), 15) << lost;
    }
}

TEST_F(FlightLayersTest, AnAircraftOffTheMapIsShownByAnArrowAtTheEdge) {
    scene.buildFonts();
    const MapGeometry& g = scene.mapGeometry();
    telemetry.gpsStatus = 1;
    telemetry.lineHeard = true;
    telemetry.lastLineClock = programClockMs();
    const PixelPoint topLeft = sceneToPixel(g.mapLeft, g.mapTop, kWidth, kHeight);
    const PixelPoint bottomRight = sceneToPixel(g.mapRight, g.mapBottom, kWidth, kHeight);
    struct Case {
        GeoPoint aircraft;
        int side;  // 0 none, 1 right edge, 2 top edge
    };
    const Case cases[] = {{mapPoint(0.5, 0.5), 0}, {mapPoint(3.0, 0.5), 1}, {mapPoint(0.5, -4.0), 2}};
    for (const Case& c : cases) {
        telemetry.lat = c.aircraft.lat;
        telemetry.lon = c.aircraft.lon;
        drawFrame();
        const PixelBox nearRight = findPixels(
            context, isYellow, static_cast<int>(bottomRight.x) - 40, static_cast<int>(topLeft.y) + 2,
            static_cast<int>(bottomRight.x) - 2, static_cast<int>(bottomRight.y) - 2);
        const PixelBox nearTop =
            findPixels(context, isYellow, static_cast<int>(topLeft.x) + 2, static_cast<int>(topLeft.y) + 2,
                       static_cast<int>(bottomRight.x) - 2, static_cast<int>(topLeft.y) + 40);
        EXPECT_EQ(nearRight.count > 30, c.side == 1) << c.side;
        EXPECT_EQ(nearTop.count > 30, c.side == 2) << c.side;
    }
}

}  // namespace

namespace {

TEST_F(FlightLayersTest, PanningMovesTheZoomWindowOverThePictureButNeverPastItsEdges) {
    const MapGeometry& g = scene.mapGeometry();
    const double width = g.mapRight - g.mapLeft, height = g.mapTop - g.mapBottom;
    const double centreX = (g.mapLeft + g.mapRight) / 2, centreY = (g.mapBottom + g.mapTop) / 2;
    // At full view nothing pans, and the map's corners read as its reference corners.
    scene.panMap(1.0, 1.0);
    EXPECT_EQ(scene.mapWindow().startU, 0.0f);
    const GeoPoint upperLeft = *scene.geoAtScene({g.mapLeft, g.mapTop});
    EXPECT_NEAR(upperLeft.lat, g.upperLeftLat, 1e-12);
    EXPECT_NEAR(upperLeft.lon, g.upperLeftLon, 1e-12);
    EXPECT_FALSE(scene.geoAtScene({g.mapLeft - 0.01, centreY}));

    for (int i = 0; i < 10; ++i) scene.wheelStep(-120);  // zoom 0.5: the window [0.25, 0.75]
    ASSERT_NEAR(scene.mapZoom(), 0.5, 1e-6);
    struct Case {
        double dx, dy;  // the drag, in map widths and heights
        double u0, v0;  // the window afterwards
    };
    const Case cases[] = {
        {0.2, 0, 0.15, 0.25},    // the picture moves right: the window left by 0.2 x 0.5
        {0, -0.4, 0.15, 0.45},   // down: the window up
        {5.0, 0, 0.0, 0.45},     // far right: stops at the picture's left edge
        {-0.2, 5.0, 0.1, 0.0},   // and back a little, then far up: the bottom edge
        {-9.0, -9.0, 0.5, 0.5},  // the other corner
    };
    for (const Case& c : cases) {
        scene.panMap(c.dx * width, c.dy * height);
        EXPECT_NEAR(scene.mapWindow().startU, c.u0, 1e-6) << c.dx << " " << c.dy;
        EXPECT_NEAR(scene.mapWindow().startV, c.v0, 1e-6) << c.dx << " " << c.dy;
    }
    // The drawn map shows that window, and the readout reads the picture under the cursor: the
    // map's centre now shows the picture at (0.75, 0.75).
    scene.drawMap();
    EXPECT_NEAR(g.mapTexU0, 0.5f, 1e-6);
    EXPECT_NEAR(g.mapTexV0, 0.5f, 1e-6);
    const GeoPoint centre = *scene.geoAtScene({centreX, centreY});
    EXPECT_NEAR(centre.lon, g.upperLeftLon + 0.75 * (g.lowerRightLon - g.upperLeftLon), 1e-9);
    EXPECT_NEAR(centre.lat, g.lowerRightLat + 0.75 * (g.upperLeftLat - g.lowerRightLat), 1e-9);

    // Zooming keeps the window's centre; the whole view returns on reset.
    scene.wheelStep(120);
    EXPECT_NEAR(scene.mapWindow().startU, 0.45, 1e-6);
    scene.resetMapView();
    EXPECT_EQ(scene.mapZoom(), 1.0f);
    EXPECT_EQ(scene.mapWindow().startU, 0.0f);
    EXPECT_EQ(scene.mapWindow().startV, 0.0f);
    scene.wheelStep(-120);
    EXPECT_NEAR(scene.mapWindow().startU, 0.025, 1e-6);  // centred again
}

}  // namespace
