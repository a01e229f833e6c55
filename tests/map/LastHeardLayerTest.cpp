#include <GL/gl.h>
#include <gtest/gtest.h>
#include <GeographicLib/Geodesic.hpp>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "map/LastHeard.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;
// A map of about 5 by 4.4 km, so that a reach of a kilometre fits on it (8 m a pixel).
constexpr MapCorners kCorners{40.00, -75.25, 39.96, -75.19};
constexpr double kDegreesPerRadian = 57.3;

bool isOrange(OsMesaContext::Rgb c) {
    return c.r > 200 && c.g > 70 && c.g < 140 && c.b < 60;
}
// The reach's blue (0, 0.55, 1), also where a smoothed edge covers a pixel only in part; told apart
// from the state table's frame (0.2, 1.0, 0.9) and the headings' blue (0, 0, 1).
bool isCyan(OsMesaContext::Rgb c) {
    return c.r < 30 && c.b > 90 && std::abs(c.g - 0.55 * c.b) < 20;
}

std::string line(double lat, double lon, double headingDegrees, double cas, int gps) {
    char text[200];
    std::snprintf(text, sizeof text, "0 0 0 0 0 0 0 0 %.6f 0 0 0 120 %.3f %.7f %.7f 130.0 %d 2 1",
                  headingDegrees / kDegreesPerRadian, cas, lat, lon, gps);
    return text;
}

class LastHeardLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.valid());
        initMapGeometry(scene.mapGeometry(), kShippedMapWidth, kShippedMapHeight);
        setMapCorners(scene.mapGeometry(), kCorners);
        scene.resize(kWidth, kHeight);
        scene.setClock([this] { return nowMs; });
        enableLayerDrawingState();
    }
    void hear(std::int32_t atMs, const std::string& text) {
        lineClockMs = atMs;
        decoder.decode(text.data(), text.size());
    }
    void drawAt(std::int32_t atMs) {
        nowMs = atMs;
        scene.drawFrame();
        context.pixels();
    }
    PixelPoint pixelOf(GeoPoint p) const {
        const ScenePoint at = *geoToScene(scene.mapGeometry(), p.lat, p.lon);
        return sceneToPixel(at.x, at.y, kWidth, kHeight);
    }
    GeoPoint geoOfPixel(double x, double y) const {
        const ScenePoint at{(x / kWidth * 2 - 1) * kSceneHalfWidth, (1 - y / kHeight * 2) * kSceneHalfHeight};
        return sceneToGeo(scene.mapGeometry(), at);
    }
    bool near(const std::function<bool(OsMesaContext::Rgb)>& match, GeoPoint p, int pixels) {
        const PixelPoint at = pixelOf(p);
        return findPixels(context, match, static_cast<int>(at.x) - pixels, static_cast<int>(at.y) - pixels,
                          static_cast<int>(at.x) + pixels, static_cast<int>(at.y) + pixels)
            .found;
    }
    // Metres from `centre` to the middle of the first run of cyan pixels met walking out from it
    // along the screen direction (dx, dy); negative when none is met.
    double ringMetres(GeoPoint centre, double dx, double dy) {
        const PixelPoint from = pixelOf(centre);
        const double length = std::hypot(dx, dy);
        double first = -1, last = -1;
        for (double step = 8; step < 400; step += 0.25) {
            const int x = static_cast<int>(std::lround(from.x + dx / length * step));
            const int y = static_cast<int>(std::lround(from.y + dy / length * step));
            if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) break;
            if (isCyan(context.at(x, y))) {
                if (first < 0) first = step;
                last = step;
            } else if (first >= 0) {
                break;
            }
        }
        if (first < 0) return -1;
        const double middle = (first + last) / 2;
        const GeoPoint at =
            geoOfPixel(from.x + dx / length * middle + 0.5, from.y + dy / length * middle + 0.5);
        double metres = 0;
        GeographicLib::Geodesic::WGS84().Inverse(centre.lat, centre.lon, at.lat, at.lon, metres);
        return metres;
    }

    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
    std::int32_t lineClockMs = 0;
    std::int32_t nowMs = 0;
    TelemetryDecoder decoder{telemetry, [this] { return lineClockMs; }};
};

TEST_F(LastHeardLayerTest, TheMarkStandsAtTheLastGpsLineOnlyWhileTheLinkIsLost) {
    const GeoPoint fix{39.985, -75.225}, later{39.975, -75.205};
    // No line at all, then lines without the GPS acquired: no last position, whatever the silence.
    drawAt(60000);
    EXPECT_FALSE(findPixels(context, isOrange).found);
    hear(1000, line(fix.lat, fix.lon, 0, 20, 0));
    drawAt(9000);
    EXPECT_FALSE(findPixels(context, isOrange).found);

    hear(10000, line(fix.lat, fix.lon, 0, 20, 1));
    drawAt(10500);  // the link is up: nothing
    EXPECT_FALSE(findPixels(context, isOrange).found);
    // A later line without GPS moves the symbol but not the last position heard.
    hear(10600, line(later.lat, later.lon, 0, 20, 0));
    drawAt(10600 + 1000);
    EXPECT_TRUE(near(isOrange, fix, 8));
    EXPECT_FALSE(near(isOrange, later, 20));
    // A line heard again takes it away at the next frame.
    hear(12000, line(later.lat, later.lon, 0, 20, 0));
    drawAt(12100);
    EXPECT_FALSE(findPixels(context, isOrange).found);
}

TEST_F(LastHeardLayerTest, TheReachIsTheGeodesicCircleAtTheLastAirspeedAndStopsAtHalfAnHour) {
    const GeoPoint fix{39.980, -75.220};
    struct Case {
        std::int32_t heardMs;
        std::int64_t sinceMs;
        double cas;
        double metres;
    };
    const Case cases[] = {
        // Across the program clock's wrap: 42 s at 20 m/s.
        {INT32_MAX - 20000, 42000, 20.0, 840.0},
        // No airspeed: the mark alone.
        {5000, 60000, 0.0, 0.0},
        // 45 minutes at 0.5 m/s flies what 30 minutes do.
        {5000, 45 * 60000, 0.5, 900.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.metres);
        hear(c.heardMs, line(fix.lat, fix.lon, 90, c.cas, 1));
        const auto now = static_cast<std::int32_t>(static_cast<std::uint32_t>(c.heardMs) +
                                                   static_cast<std::uint32_t>(c.sinceMs));
        drawAt(now);
        const double metresPerPixel = 5100.0 / 638;
        EXPECT_TRUE(near(isOrange, fix, 8));
        if (c.metres == 0) {
            EXPECT_FALSE(findPixels(context, isCyan).found);
            continue;
        }
        // North, south, west and two diagonals (east holds the dashed line and the point).
        for (const auto& [dx, dy] :
             {std::pair{0.0, -1.0}, {0.0, 1.0}, {-1.0, 0.0}, {-1.0, -1.0}, {-1.0, 1.0}}) {
            const double metres = ringMetres(fix, dx, dy);
            EXPECT_NEAR(metres, c.metres, 2 * metresPerPixel) << dx << " " << dy;
        }
        // The dead-reckoned point lies due east at the reach, computed here on its own.
        GeoPoint ahead;
        GeographicLib::Geodesic::WGS84().Direct(fix.lat, fix.lon, 90, c.metres, ahead.lat, ahead.lon);
        EXPECT_TRUE(near(isCyan, ahead, 2));
        // Joined to the mark by a dashed line: lit and dark pixels alternate along it.
        const PixelPoint from = pixelOf(fix), to = pixelOf(ahead);
        int lit = 0, dark = 0;
        for (double f = 0.2; f < 0.8; f += 0.005) {
            const int x = static_cast<int>(from.x + f * (to.x - from.x));
            const int y = static_cast<int>(std::lround(from.y));
            (findPixels(context, isCyan, x, y - 1, x, y + 1).found ? lit : dark) += 1;
        }
        EXPECT_GT(lit, 20);
        EXPECT_GT(dark, 20);
    }
}

}  // namespace
