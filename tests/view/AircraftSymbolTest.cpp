#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;
// Scene units per symbol unit.
constexpr double kSymbolScale = 0.09;

class AircraftSymbolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.valid());
        initMapGeometry(scene.mapGeometry(), kShippedMapWidth, kShippedMapHeight);
        scene.resize(kWidth, kHeight);
        enableLayerDrawingState();
    }
    // The picture's centre, which the zoom window keeps in place.
    void placeAtMapCentre() {
        const MapGeometry& g = scene.mapGeometry();
        telemetry.lat = (g.upperLeftLat + g.lowerRightLat) / 2;
        telemetry.lon = (g.upperLeftLon + g.lowerRightLon) / 2;
    }
    PixelBox drawSymbol() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene.drawAircraftSymbol();
        return findPixels(context, isLit);
    }

    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
};

TEST_F(AircraftSymbolTest, TheNosePointsAlongTheHeadingFromTheAircraftsPosition) {
    placeAtMapCentre();
    const MapGeometry& g = scene.mapGeometry();
    const double x0 = (g.mapLeft + g.mapRight) / 2, y0 = (g.mapTop + g.mapBottom) / 2;
    struct Case {
        double psi;
        // Extent of the drawn arrowhead around the position, in symbol units.
        double left, right, bottom, top;
    };
    const double pi = std::numbers::pi;
    const Case cases[] = {Case{0, -1, 1, -1, 2}, Case{pi / 2, -1, 2, -1, 1}, Case{-pi / 2, -2, 1, -1, 1},
                          Case{pi, -1, 1, -2, 1}};
    // The second round narrows the map's zoom window, which is centred on the picture.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            for (int i = 0; i < 12; ++i) scene.wheelStep(-120);
        }
        for (const Case& c : cases) {
            telemetry.psi = static_cast<float>(c.psi);
            const PixelBox box = drawSymbol();
            ASSERT_TRUE(box.found) << "psi " << c.psi;
            const PixelPoint topLeft =
                sceneToPixel(x0 + c.left * kSymbolScale, y0 + c.top * kSymbolScale, kWidth, kHeight);
            const PixelPoint bottomRight =
                sceneToPixel(x0 + c.right * kSymbolScale, y0 + c.bottom * kSymbolScale, kWidth, kHeight);
            // The smoothed outline reaches about a pixel past the vertices.
            EXPECT_NEAR(box.left, topLeft.x, 2.0) << "psi " << c.psi;
            EXPECT_NEAR(box.right, bottomRight.x, 2.0) << "psi " << c.psi;
            EXPECT_NEAR(box.top, topLeft.y, 2.0) << "psi " << c.psi;
            EXPECT_NEAR(box.bottom, bottomRight.y, 2.0) << "psi " << c.psi;
            // A red fill inside a yellow outline.
            EXPECT_GT(findPixels(context, isRed).count, 20) << "psi " << c.psi;
            EXPECT_GT(findPixels(context, isYellow).count, 15) << "psi " << c.psi;
        }
    }
}

TEST_F(AircraftSymbolTest, APositionOrHeadingThatCannotBePlacedDrawsNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        double lat, lon;
        float psi;
    };
    const MapGeometry& g = scene.mapGeometry();
    for (const Case& c :
         {Case{"before the first line", 0, 0, 0}, Case{"far latitude", 1e300, g.upperLeftLon, 0},
          Case{"latitude beyond float range", 1e40, g.upperLeftLon, 0},
          Case{"no latitude", nan, g.upperLeftLon, 0},
          Case{"no heading", g.upperLeftLat, g.upperLeftLon, std::numeric_limits<float>::quiet_NaN()}}) {
        telemetry.lat = c.lat;
        telemetry.lon = c.lon;
        telemetry.psi = c.psi;
        EXPECT_FALSE(drawSymbol().found) << c.what;
    }
    GLdouble matrix[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_EQ(matrix[14], -10.0) << "the eye transform is left in place";
}

}  // namespace
