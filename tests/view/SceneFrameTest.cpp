#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

namespace {

// Draws a filled rectangle of the scene plane in plain white.
void fillSceneRect(float left, float bottom, float right, float top) {
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glVertex3f(left, bottom, 0);
    glVertex3f(right, bottom, 0);
    glVertex3f(right, top, 0);
    glVertex3f(left, top, 0);
    glEnd();
}

TEST(SceneCamera, TheWholeSceneStretchesOverEveryWindowShape) {
    // A rectangle inset from the visible edges must land at the same fraction of the client area
    // whatever its shape: the projection ignores the window's aspect.
    const float insetX = 5.0f, insetY = 3.3f;
    for (const auto& [width, height] : {std::pair{1024, 672}, std::pair{480, 720}, std::pair{1280, 320}}) {
        OsMesaContext context(width, height);
        ASSERT_TRUE(context.valid());
        TelemetryState telemetry;
        RecordingNotifier notifier;
        Scene scene(telemetry, notifier);
        scene.resize(width, height);
        glClear(GL_COLOR_BUFFER_BIT);
        fillSceneRect(-insetX, -insetY, insetX, insetY);
        const PixelBox box = findPixels(context, isWhite);
        ASSERT_TRUE(box.found);
        const PixelPoint topLeft = sceneToPixel(-insetX, insetY, width, height);
        const PixelPoint bottomRight = sceneToPixel(insetX, -insetY, width, height);
        EXPECT_NEAR(box.left, topLeft.x, 1.0) << width << "x" << height;
        EXPECT_NEAR(box.top, topLeft.y, 1.0) << width << "x" << height;
        EXPECT_NEAR(box.right + 1, bottomRight.x, 1.0) << width << "x" << height;
        EXPECT_NEAR(box.bottom + 1, bottomRight.y, 1.0) << width << "x" << height;
    }
}

TEST(SceneZoom, WheelStepsStayWithinATenthAndTheWholeMap) {
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene(telemetry, notifier);
    struct Step {
        int delta;
        int count;
        float zoomAfter;
    };
    // Single precision steps of 0.05 drift, so the expected values allow for it.
    for (const Step& s : {Step{-120, 1, 0.95f}, Step{-1, 9, 0.5f}, Step{0, 2, 0.6f}, Step{-120, 20, 0.1f},
                          Step{120, 1, 0.15f}, Step{120, 40, 1.0f}, Step{0, 1, 1.0f}}) {
        for (int i = 0; i < s.count; ++i) scene.wheelStep(s.delta);
        EXPECT_NEAR(scene.mapZoom(), s.zoomAfter, 1e-5) << "after " << s.count << " steps of " << s.delta;
    }
}

class SceneFrameTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 672;
    void SetUp() override {
        ASSERT_TRUE(context.valid());
        writeUniformBitmap("site3.bmp", 300, 240, {0, 0, 255});
        scene.initGl();
        scene.resize(kWidth, kHeight);
    }
    PixelPoint pixelOf(double x, double y) const { return sceneToPixel(x, y, kWidth, kHeight); }

    ScratchWorkDir workDir;
    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
};

TEST_F(SceneFrameTest, ALayerDrawnBeforeTheMapStaysVisibleOverIt) {
    ASSERT_TRUE(notifier.messages.empty());
    const MapGeometry& g = scene.mapGeometry();
    const float textX = static_cast<float>(g.mapLeft + 0.05);
    const float textY = static_cast<float>(g.mapBottom + 0.1);
    // The frame's order: an overlay first, then the map with texturing on, in the same plane.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    scene.drawText(textX, textY, colorYellow, 1.0f, "WWW");
    glPushMatrix();
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
    scene.drawMap();
    glPopMatrix();
    glDisable(GL_TEXTURE_2D);

    const PixelPoint mapTopLeft = pixelOf(g.mapLeft, g.mapTop);
    const PixelPoint mapBottomRight = pixelOf(g.mapRight, g.mapBottom);
    const int left = static_cast<int>(mapTopLeft.x) + 3, right = static_cast<int>(mapBottomRight.x) - 3;
    const int top = static_cast<int>(mapTopLeft.y) + 3, bottom = static_cast<int>(mapBottomRight.y) - 3;
    EXPECT_TRUE(findPixels(context, isYellow, left, top, right, bottom).found) << "the text survives the map";
    const PixelBox blue = findPixels(context, isBlue, left, top, right, bottom);
    EXPECT_GT(blue.count, (right - left) * (bottom - top) / 2) << "the map fills the rest of its rectangle";
}

TEST_F(SceneFrameTest, AFrameDrawsEveryLayerAndLeavesTheMatricesAsItFoundThem) {
    telemetry.lat = scene.mapGeometry().upperLeftLat - 0.001;
    telemetry.lon = scene.mapGeometry().upperLeftLon + 0.001;
    GLdouble before[16], after[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    scene.drawFrame();
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << "element " << i;

    // Panel text (white labels above the map), the symbol (red, over the map) and the map (blue).
    const PixelPoint labels = pixelOf(scene.mapGeometry().mapOriginX, 3.3);
    EXPECT_TRUE(findPixels(context, isWhite, 0, static_cast<int>(labels.y) - 30, kWidth / 3,
                           static_cast<int>(labels.y) + 2)
                    .found);
    const ScenePoint symbol = *geoToScene(scene.mapGeometry(), telemetry.lat, telemetry.lon);
    const PixelPoint symbolPixel = pixelOf(symbol.x, symbol.y);
    // Inside the arrowhead: on its axis, between the rear notch and the nose.
    EXPECT_TRUE(isRed(context.at(static_cast<int>(symbolPixel.x), static_cast<int>(symbolPixel.y) - 8)));
    EXPECT_GT(findPixels(context, isBlue).count, 10000);
}

TEST_F(SceneFrameTest, EveryFrameLeavesTheDrawingStateForTheNextOne) {
    // Layers switch state on and off within a frame (texturing, blending for the smoothed lines);
    // one left switched shows only in the frame after it. The panel's clock may tick between two
    // frames, so they are drawn again until both fall within one second.
    telemetry.lat = (scene.mapGeometry().upperLeftLat + scene.mapGeometry().lowerRightLat) / 2;
    telemetry.lon = (scene.mapGeometry().upperLeftLon + scene.mapGeometry().lowerRightLon) / 2;
    telemetry.psi = 0.6f;
    std::vector<std::uint8_t> first, second;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t startedAt = std::time(nullptr);
        scene.drawFrame();
        first = context.pixels();
        scene.drawFrame();
        second = context.pixels();
        if (std::time(nullptr) == startedAt) break;
    }
    std::size_t differing = 0;
    for (std::size_t i = 0; i < first.size(); ++i) differing += first[i] != second[i] ? 1 : 0;
    EXPECT_EQ(differing, 0u);
}

}  // namespace
