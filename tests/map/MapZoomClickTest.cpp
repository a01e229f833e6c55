#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>

#include "map/Waypoints.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

// What is drawn from coordinates lands where those coordinates are on the picture as shown, and a
// double-click records the coordinates under the cursor, at every zoom and window size.
namespace {

constexpr int kMapWidth = 989;
constexpr int kMapHeight = 826;
// A blue pond of 9 x 9 texels off the picture's centre, inside the narrowest zoom window.
constexpr int kPondLeft = 515, kPondBottom = 426, kPondSide = 9;
constexpr Rgb8 kGround{90, 90, 90};

// Wheel-back steps from the full picture and the zoom they give.
struct Zoom {
    int backSteps;
    float value;
};
constexpr Zoom kZooms[] = {{0, 1.0f}, {10, 0.5f}, {18, 0.1f}};

struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{1024, 672}, {1280, 1005}};

class ZoomedMap {
public:
    explicit ZoomedMap(Size size, Size picture = {kMapWidth, kMapHeight})
        : size_(size), context_(size.width, size.height) {
        writeBitmap24("site3.bmp", picture.width, picture.height, [](int x, int y) {
            const bool pond = x >= kPondLeft && x < kPondLeft + kPondSide && y >= kPondBottom &&
                              y < kPondBottom + kPondSide;
            return pond ? Rgb8{0, 0, 255} : kGround;
        });
        scene_.initGl();
        scene_.resize(size.width, size.height);
    }

    bool valid() const { return context_.valid() && notifier_.messages.empty(); }
    Scene& scene() { return scene_; }
    TelemetryState& telemetry() { return telemetry_; }
    OsMesaContext& context() { return context_; }

    void setZoom(const Zoom& zoom) {
        for (int i = 0; i < 20; ++i) scene_.wheelStep(120);
        for (int i = 0; i < zoom.backSteps; ++i) scene_.wheelStep(-120);
    }
    void doubleClick(int x, int y) { scene_.doubleClick(x, y, size_.width, size_.height, {}); }

    // One layer alone, as the frame draws it.
    void drawOnly(void (Scene::*layer)()) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_TEXTURE_2D);
        (scene_.*layer)();
    }
    void drawMapOnly() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glEnable(GL_TEXTURE_2D);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
        scene_.drawMap();
        glPopMatrix();
        glDisable(GL_TEXTURE_2D);
    }

    // The drawn map rectangle in pixels (y from the top).
    PixelPoint mapTopLeft() {
        const MapGeometry& g = scene_.mapGeometry();
        return sceneToPixel(g.mapLeft, g.mapTop, size_.width, size_.height);
    }
    PixelPoint mapBottomRight() {
        const MapGeometry& g = scene_.mapGeometry();
        return sceneToPixel(g.mapRight, g.mapBottom, size_.width, size_.height);
    }

private:
    Size size_;
    ScratchWorkDir workDir_;
    OsMesaContext context_;
    TelemetryState telemetry_;
    RecordingNotifier notifier_;
    Scene scene_{telemetry_, notifier_};
};

// Centre of a box of pixel indices: a shape centred on pixel x's centre gives x.
PixelPoint centreOf(const PixelBox& box) {
    return {(box.left + box.right) / 2.0, (box.top + box.bottom) / 2.0};
}

TEST(MapZoomClick, AMarkerIsDrawnOnTheClickedPixelAtTheMapsCornersAndCentre) {
    // The shipped pictures' size in both windows, and a start-up picture of another size.
    const std::pair<Size, Size> cases[] = {
        {kSizes[0], {kMapWidth, kMapHeight}}, {kSizes[1], {kMapWidth, kMapHeight}}, {kSizes[1], {600, 700}}};
    for (const auto& [size, picture] : cases) {
        ZoomedMap map(size, picture);
        ASSERT_TRUE(map.valid());
        for (const Zoom& zoom : kZooms) {
            map.setZoom(zoom);
            ASSERT_FLOAT_EQ(map.scene().mapZoom(), zoom.value);
            // Far enough inside that the marker (up to 7 pixels across) is not cut by the edges.
            const int inset = 8;
            const PixelPoint topLeft = map.mapTopLeft(), bottomRight = map.mapBottomRight();
            const int left = static_cast<int>(std::ceil(topLeft.x)) + inset;
            const int right = static_cast<int>(bottomRight.x) - inset;
            const int top = static_cast<int>(std::ceil(topLeft.y)) + inset;
            const int bottom = static_cast<int>(bottomRight.y) - inset;
            const int clicks[][2] = {{left, top},
                                     {right, top},
                                     {left, bottom},
                                     {right, bottom},
                                     {(left + right) / 2, (top + bottom) / 2}};
            for (const auto& click : clicks) {
                SCOPED_TRACE(testing::Message()
                             << size.width << "x" << size.height << ", picture " << picture.width << "x"
                             << picture.height << ", zoom " << zoom.value << ", click at " << click[0] << ","
                             << click[1]);
                map.scene().waypoints().waypointCount = 0;
                map.doubleClick(click[0], click[1]);
                ASSERT_EQ(map.scene().waypoints().waypointCount, 1);
                map.drawOnly(&Scene::drawWaypointMarks);
                const PixelBox marker = findPixels(map.context(), isRed, click[0] - 20, click[1] - 20,
                                                   click[0] + 20, click[1] + 20);
                ASSERT_TRUE(marker.found);
                EXPECT_NEAR(centreOf(marker).x, click[0], 1.0);
                EXPECT_NEAR(centreOf(marker).y, click[1], 1.0);
            }
        }
    }
}

TEST(MapZoomClick, ThePondKeepsItsMarkerAndTheAircraftAtEveryZoom) {
    ZoomedMap map(kSizes[0]);
    ASSERT_TRUE(map.valid());
    const MapGeometry& g = map.scene().mapGeometry();
    // The pond's centre on the ground: rows count from the picture's bottom, latitude from its top.
    const double pondX = (kPondLeft + kPondSide / 2.0) / kMapWidth;
    const double pondY = (kMapHeight - kPondBottom - kPondSide / 2.0) / kMapHeight;
    const double pondLon = g.upperLeftLon + pondX * (g.lowerRightLon - g.upperLeftLon);
    const double pondLat = g.upperLeftLat + pondY * (g.lowerRightLat - g.upperLeftLat);
    // Two texels of the picture, in degrees.
    const double lonTolerance = 2.0 / kMapWidth * std::fabs(g.lowerRightLon - g.upperLeftLon);
    const double latTolerance = 2.0 / kMapHeight * std::fabs(g.lowerRightLat - g.upperLeftLat);

    // The flown track passes west to east over the pond.
    map.scene().flightTrack().addFix(pondLat, pondLon - 20 * lonTolerance, 0);
    map.scene().flightTrack().addFix(pondLat, pondLon + 20 * lonTolerance, 100);
    map.scene().setTrackClock(200);

    // Each zoom centred, and panned by a drag of a fifth of the map to the left and up.
    for (const auto& [zoom, drag] :
         {std::pair{kZooms[0], 0.0}, std::pair{kZooms[1], 0.0}, std::pair{kZooms[1], 0.2},
          std::pair{kZooms[2], 0.0}, std::pair{kZooms[2], 0.2}}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom.value << ", drag " << drag);
        map.scene().resetMapView();
        map.setZoom(zoom);
        map.scene().panMap(-drag * (g.mapRight - g.mapLeft), drag * (g.mapTop - g.mapBottom));
        map.drawMapOnly();
        const PixelBox pond = findPixels(map.context(), isBlue);
        ASSERT_TRUE(pond.found);
        const PixelPoint pondPixel = centreOf(pond);

        // The double-click on the pond records the pond's coordinates.
        map.scene().waypoints().waypointCount = 0;
        map.doubleClick(static_cast<int>(std::lround(pondPixel.x)),
                        static_cast<int>(std::lround(pondPixel.y)));
        ASSERT_EQ(map.scene().waypoints().waypointCount, 1);
        EXPECT_NEAR(map.scene().waypoints().waypointLat[0], pondLat, latTolerance);
        EXPECT_NEAR(map.scene().waypoints().waypointLon[0], pondLon, lonTolerance);

        // Its marker is drawn on the pond.
        map.drawOnly(&Scene::drawWaypointMarks);
        const PixelBox marker = findPixels(map.context(), isRed);
        ASSERT_TRUE(marker.found);
        EXPECT_NEAR(centreOf(marker).x, pondPixel.x, 1.0);
        EXPECT_NEAR(centreOf(marker).y, pondPixel.y, 1.0);

        // An aircraft reporting the pond's coordinates is drawn on it: heading north, its position
        // lies a third of the way up from the arrowhead's rear edge.
        map.telemetry().lat = pondLat;
        map.telemetry().lon = pondLon;
        map.telemetry().psi = 0;
        map.drawOnly(&Scene::drawAircraftSymbol);
        const PixelBox symbol = findPixels(map.context(), isLit);
        ASSERT_TRUE(symbol.found);
        EXPECT_NEAR(centreOf(symbol).x, pondPixel.x, 1.0);
        EXPECT_NEAR(symbol.bottom - (symbol.bottom - symbol.top) / 3.0, pondPixel.y, 1.5);

        // So is the track.
        map.drawOnly(&Scene::drawTrack);
        const int x = static_cast<int>(std::lround(pondPixel.x));
        const PixelBox track = findPixels(map.context(), isLit, x, 0, x, 10000);
        ASSERT_TRUE(track.found);
        EXPECT_NEAR((track.top + track.bottom) / 2.0, pondPixel.y, 1.5);
    }
}

TEST(MapZoomClick, WhatLiesOutsideTheShownMapIsNotDrawnOverThePanels) {
    ZoomedMap map(kSizes[0]);
    ASSERT_TRUE(map.valid());
    const PixelPoint topLeft = map.mapTopLeft(), bottomRight = map.mapBottomRight();
    // Near the right edge, whose label would run over the state table, and near the upper-left
    // corner, which the narrowest zoom window does not show; the route joins them.
    const int middleY = static_cast<int>((topLeft.y + bottomRight.y) / 2);
    map.doubleClick(static_cast<int>(bottomRight.x) - 10, middleY);
    map.doubleClick(static_cast<int>(topLeft.x) + 10, static_cast<int>(topLeft.y) + 10);
    map.scene().waypoints().routeShown = 1;
    // The aircraft far east of the map.
    const MapGeometry& g = map.scene().mapGeometry();
    map.telemetry().lat = (g.upperLeftLat + g.lowerRightLat) / 2;
    map.telemetry().lon = g.lowerRightLon + (g.lowerRightLon - g.upperLeftLon) / 2;

    for (const Zoom& zoom : kZooms) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom.value);
        map.setZoom(zoom);
        for (void (Scene::*layer)() : {&Scene::drawWaypointMarks, &Scene::drawAircraftSymbol}) {
            map.drawOnly(layer);
            const PixelBox drawn = findPixels(map.context(), isLit);
            if (!drawn.found) continue;
            EXPECT_GE(drawn.left, std::floor(topLeft.x));
            EXPECT_LE(drawn.right, std::ceil(bottomRight.x));
            EXPECT_GE(drawn.top, std::floor(topLeft.y));
            EXPECT_LE(drawn.bottom, std::ceil(bottomRight.y));
        }
    }
}

}  // namespace
