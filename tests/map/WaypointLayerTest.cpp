#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "map/Waypoints.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;
// The map picture: a dull grey that none of the overlay colours matches.
constexpr Rgb8 kMapGrey{90, 90, 90};

class WaypointLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.valid());
        writeUniformBitmap("site3.bmp", kShippedMapWidth, kShippedMapHeight, kMapGrey);
        scene.initGl();
        scene.resize(kWidth, kHeight);
        ASSERT_TRUE(notifier.messages.empty());
    }

    // The window is the reference frame's size, so reference positions are client pixels.
    void doubleClick(int x, int y) { scene.doubleClick(x, y, kWidth, kHeight, {}); }

    PixelPoint waypointPixel(int i) {
        const Waypoints& w = scene.waypoints();
        return sceneToPixel(w.waypointSceneX[static_cast<std::size_t>(i)],
                            w.waypointSceneY[static_cast<std::size_t>(i)], kWidth, kHeight);
    }

    // Pixels matching `match` within `radius` pixels of `p`.
    PixelBox near(PixelPoint p, int radius, bool (*match)(OsMesaContext::Rgb)) {
        const int x = static_cast<int>(p.x);
        const int y = static_cast<int>(p.y);
        return findPixels(context, match, x - radius, y - radius, x + radius, y + radius);
    }

    ScratchWorkDir workDir;
    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
};

TEST_F(WaypointLayerTest, APressedButtonIsRedInFourDrawingsThenDarkAgain) {
    struct Button {
        const char* name;
        int clickX, clickY;
        float x, y;  // lower-left corner in scene units
    };
    const Button buttons[] = {
        {"upload", 700, 540, 1.812f, -2.5f},
        {"clear", 900, 540, 3.412f, -2.5f},
        {"load map", 700, 600, 1.812f, -3.1f},
    };
    for (const Button& button : buttons) {
        SCOPED_TRACE(button.name);
        doubleClick(button.clickX, button.clickY);
        // Inside the box, clear of its outline.
        const PixelPoint topLeft = sceneToPixel(button.x + 0.05, button.y + 0.45, kWidth, kHeight);
        const PixelPoint bottomRight = sceneToPixel(button.x + 1.45, button.y + 0.05, kWidth, kHeight);
        auto fillPixels = [&](bool (*match)(OsMesaContext::Rgb)) {
            return findPixels(context, match, static_cast<int>(topLeft.x), static_cast<int>(topLeft.y),
                              static_cast<int>(bottomRight.x), static_cast<int>(bottomRight.y))
                .count;
        };
        for (int drawing = 1; drawing <= 5; ++drawing) {
            // The panel step of the frame alone, texturing off as the frame has it.
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glDisable(GL_TEXTURE_2D);
            scene.drawWaypointPanel();
            glFinish();
            const bool red = drawing <= 4;
            EXPECT_EQ(fillPixels(isRed) > 1000, red) << "drawing " << drawing;
            const int dark = fillPixels([](OsMesaContext::Rgb c) {
                return std::abs(c.r - 25) <= 2 && std::abs(c.g - 51) <= 2 && std::abs(c.b - 76) <= 2;
            });
            EXPECT_EQ(dark > 1000, !red) << "drawing " << drawing;
            // The label stays on top of the fill.
            EXPECT_GT(fillPixels(isWhite), 50) << "drawing " << drawing;
        }
    }
}

TEST_F(WaypointLayerTest, EveryMarkerReplaysOneSphereList) {
    for (int i = 0; i < 30; ++i) doubleClick(60 + 20 * i, 150 + 15 * i);
    for (int frame = 0; frame < 3; ++frame) scene.drawFrame();
    EXPECT_EQ(scene.sphereCache().listCount(), 1u);
    const GLuint list = scene.sphereCache().listFor(0.05);
    ASSERT_NE(list, 0u);
    EXPECT_EQ(glIsList(list), GL_TRUE);
    // Every marker was drawn, not only the one that recorded the list.
    for (int i = 0; i < 30; i += 7)
        EXPECT_GT(near(waypointPixel(i), 3, isRed).count, 0) << "marker " << i + 1;

    scene.drawSolidSphere(0.2);
    EXPECT_EQ(scene.sphereCache().listCount(), 2u);
    EXPECT_NE(scene.sphereCache().listFor(0.2), list);
}

TEST_F(WaypointLayerTest, AnUploadedRouteShowsMarkersLabelsAndTheClosedLine) {
    // Waypoint 3 lies straight above waypoint 1, so the closing segment is a vertical line with
    // nothing else near its middle.
    doubleClick(100, 500);
    doubleClick(400, 200);
    doubleClick(100, 200);
    scene.waypoints().routeShown = 1;
    scene.drawFrame();

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "waypoint " << i + 1);
        const PixelPoint at = waypointPixel(i);
        EXPECT_GT(near(at, 3, isRed).count, 0);
        // The labels start a tenth of a unit (about 9 pixels) to the right.
        EXPECT_GT(findPixels(context, isYellow, static_cast<int>(at.x) + 5, static_cast<int>(at.y) - 15,
                             static_cast<int>(at.x) + 150, static_cast<int>(at.y) + 15)
                      .count,
                  20);
    }
    const PixelPoint first = waypointPixel(0);
    const PixelPoint third = waypointPixel(2);
    for (const double f : {0.25, 0.5, 0.75}) {
        const PixelPoint on{third.x + f * (first.x - third.x), third.y + f * (first.y - third.y)};
        EXPECT_GT(near(on, 2, isWhite).count, 0) << "closing segment at " << f;
    }

    // CLEAR takes markers and line away: only the map shows there.
    doubleClick(900, 540);
    scene.drawFrame();
    for (const PixelPoint p : {first, third, PixelPoint{first.x, (first.y + third.y) / 2}}) {
        EXPECT_EQ(near(p, 4, isRed).count, 0);
        EXPECT_EQ(near(p, 4, isWhite).count, 0);
    }
}

}  // namespace
