#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "map/Geodesy.h"
#include "map/TilePyramid.h"
#include "net/TelemetryState.h"
#include "tests/map/ImageryTestSupport.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"
#include "view/SceneCamera.h"

// An opened map is drawn where its coordinates are: a mark at a coordinate PROJ gives lies under
// the aircraft symbol and the waypoint marker fed that coordinate, at every zoom, and the map is
// not stretched.
namespace {

constexpr int kWidth = 1024, kHeight = 672;
constexpr std::array<std::uint8_t, 3> kMarginByte{38, 38, 38};

bool isMagenta(OsMesaContext::Rgb c) {
    return c.r > 170 && c.g < 90 && c.b > 170;
}
bool isMargin(OsMesaContext::Rgb c) {
    return std::abs(c.r - kMarginByte[0]) <= 2 && std::abs(c.g - kMarginByte[1]) <= 2 &&
           std::abs(c.b - kMarginByte[2]) <= 2;
}

class OpenedMap {
public:
    OpenedMap() : context_(kWidth, kHeight) {
        writeUniformBitmap("site3.bmp", 989, 826, {0, 0, 255});
        scene_.initGl();
        scene_.resize(kWidth, kHeight);
    }
    Scene& scene() { return scene_; }
    OsMesaContext& context() { return context_; }
    TelemetryState& telemetry() { return telemetry_; }
    RecordingNotifier& notifier() { return notifier_; }
    std::vector<std::string> messages;

    // Draws the map until every tile it needs has come (or the time is up).
    bool settle() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            ImageryLayer::Update update = scene_.takeMapResults();
            for (std::string& m : update.messages) messages.push_back(std::move(m));
            drawOnly(&Scene::drawMap);
            if (scene_.imagery() != nullptr && !scene_.imagery()->waitingForTiles()) return true;
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Opens `path` and draws until it is shown with all its tiles; false when it is refused.
    bool open(const std::string& path) {
        scene_.openMap({path, {}});
        const std::size_t told = messages.size();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        const std::string absolute = std::filesystem::absolute(path).lexically_normal().string();
        while (messages.size() == told &&
               (scene_.imagery() == nullptr || scene_.imagery()->request().path != absolute)) {
            if (std::chrono::steady_clock::now() > until) return false;
            ImageryLayer::Update update = scene_.takeMapResults();
            for (std::string& m : update.messages) messages.push_back(std::move(m));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return messages.size() == told && settle();
    }
    void drawOnly(void (Scene::*layer)()) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // As the frame draws them: only the map with texturing.
        if (layer == &Scene::drawMap) glEnable(GL_TEXTURE_2D);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
        (scene_.*layer)();
        glDisable(GL_TEXTURE_2D);
    }
    // Pixel of a scene point.
    PixelPoint pixelOf(ScenePoint p) const { return sceneToPixel(p.x, p.y, kWidth, kHeight); }

private:
    ScratchWorkDir workDir_;
    OsMesaContext context_;
    TelemetryState telemetry_;
    RecordingNotifier notifier_;
    Scene scene_{telemetry_, notifier_};
};

PixelPoint centreOf(const PixelBox& box) {
    return {(box.left + box.right) / 2.0, (box.top + box.bottom) / 2.0};
}

// Where the magenta mark nearest (x, y) is drawn.
PixelBox markNear(OsMesaContext& context, PixelPoint near, int reach) {
    const int x = static_cast<int>(near.x), y = static_cast<int>(near.y);
    return findPixels(context, isMagenta, x - reach, y - reach, x + reach, y + reach);
}

TEST(ImageryLayer, MarksOfAUtmPictureLieUnderTheSymbolAndTheMarkerAtEveryZoom) {
    OpenedMap map;
    ASSERT_TRUE(map.context().valid());
    const UtmPicture picture;
    ASSERT_TRUE(writeUtmGeoTiff("utm.tif", picture));
    ASSERT_TRUE(map.open("utm.tif")) << (map.messages.empty() ? "" : map.messages.front());
    ASSERT_TRUE(map.messages.empty()) << map.messages.front();

    // The whole map, halfway in, and one picture pixel a screen pixel; zooming on the centre mark.
    const GeoPoint centre = markCoordinate(picture, picture.marks[2]);
    const ScenePoint centreScene = *geoToScene(map.scene().mapGeometry(), centre.lat, centre.lon);
    const int steps[] = {0, 4, 40};
    int done = 0;
    for (const int step : steps) {
        for (; done < step; ++done) map.scene().wheelStep(-120, centreScene);
        ASSERT_TRUE(map.settle());
        if (step == 40) {
            EXPECT_FLOAT_EQ(map.scene().mapZoom(), map.scene().minimumMapZoom());
        }
        for (const PixelMark& mark : picture.marks) {
            const GeoPoint at = markCoordinate(picture, mark);
            const MapGeometry& g = map.scene().mapGeometry();
            const ScenePoint shown =
                zoomedScenePoint(g, map.scene().mapWindow(), *geoToScene(g, at.lat, at.lon));
            if (!isOnMap(g, shown)) continue;
            SCOPED_TRACE(testing::Message()
                         << "steps " << step << ", mark " << mark.column << "," << mark.row);
            map.drawOnly(&Scene::drawMap);
            // The mark as drawn from the picture.
            const PixelBox drawn = markNear(map.context(), map.pixelOf(shown), 40);
            ASSERT_TRUE(drawn.found);
            const PixelPoint markAt = centreOf(drawn);

            // The symbol fed the mark's coordinate: symmetric across, its origin a third up its height.
            map.telemetry().lat = at.lat;
            map.telemetry().lon = at.lon;
            map.drawOnly(&Scene::drawAircraftSymbol);
            const PixelBox symbol = findPixels(
                map.context(), isLit, static_cast<int>(markAt.x) - 30, static_cast<int>(markAt.y) - 30,
                static_cast<int>(markAt.x) + 30, static_cast<int>(markAt.y) + 30);
            ASSERT_TRUE(symbol.found);
            EXPECT_NEAR((symbol.left + symbol.right) / 2.0, markAt.x, 1.0);
            EXPECT_NEAR(symbol.bottom - (symbol.bottom - symbol.top) / 3.0, markAt.y, 1.0);

            // A double-click on the mark takes its coordinates within a screen pixel's worth.
            Waypoints& route = map.scene().waypoints();
            route.waypointCount = 0;
            map.scene().doubleClick(markAt.x, markAt.y, kWidth, kHeight, {});
            ASSERT_EQ(route.waypointCount, 1);
            const GeoBox area = shownArea(g, map.scene().mapWindow());
            const double pixels =
                map.scene().imagery() ? (g.mapRight - g.mapLeft) / (2 * kSceneHalfWidth) * kWidth : 1;
            EXPECT_NEAR(route.waypointLon[0], at.lon, (area.east - area.west) / pixels);
            EXPECT_NEAR(route.waypointLat[0], at.lat, (area.north - area.south) / pixels * 1.1);
            map.drawOnly(&Scene::drawWaypointMarks);
            const PixelBox marker = findPixels(
                map.context(), isRed, static_cast<int>(markAt.x) - 20, static_cast<int>(markAt.y) - 20,
                static_cast<int>(markAt.x) + 20, static_cast<int>(markAt.y) + 20);
            ASSERT_TRUE(marker.found);
            EXPECT_NEAR(centreOf(marker).x, markAt.x, 1.0);
            EXPECT_NEAR(centreOf(marker).y, markAt.y, 1.0);
        }
    }
    // Reset Map View shows the whole map again.
    map.scene().resetMapView();
    EXPECT_FLOAT_EQ(map.scene().mapZoom(), 1.0f);
}

TEST(ImageryLayer, TheMapIsNotStretchedAndItsMarginIsGrey) {
    OpenedMap map;
    UtmPicture picture;
    // Wide and short: margin above and below.
    picture.width = 3000;
    picture.height = 600;
    picture.marks = {{1500, 300}};
    ASSERT_TRUE(writeUtmGeoTiff("wide.tif", picture));
    ASSERT_TRUE(map.open("wide.tif"));
    const MapGeometry& g = map.scene().mapGeometry();
    // Metres per screen pixel east and north at the centre latitude, from the geodesic.
    const double lat = (g.upperLeftLat + g.lowerRightLat) / 2, lon = (g.upperLeftLon + g.lowerRightLon) / 2;
    const double pixelsAcross = (g.mapRight - g.mapLeft) / (2 * kSceneHalfWidth) * kWidth;
    const double pixelsDown = (g.mapTop - g.mapBottom) / (2 * kSceneHalfHeight) * kHeight;
    const double east = geodesicInverse({lat, g.upperLeftLon}, {lat, g.lowerRightLon}).metres / pixelsAcross;
    const double north = geodesicInverse({g.lowerRightLat, lon}, {g.upperLeftLat, lon}).metres / pixelsDown;
    EXPECT_NEAR(east / north, 1.0, 0.01);

    // The picture's 3000 m fill the rectangle's width; above and below it the margin.
    map.drawOnly(&Scene::drawMap);
    const PixelPoint topLeft = map.pixelOf({g.mapLeft, g.mapTop});
    const PixelPoint bottomRight = map.pixelOf({g.mapRight, g.mapBottom});
    const int middle = static_cast<int>((topLeft.x + bottomRight.x) / 2);
    EXPECT_TRUE(isMargin(map.context().at(middle, static_cast<int>(topLeft.y) + 5)));
    EXPECT_TRUE(isMargin(map.context().at(middle, static_cast<int>(bottomRight.y) - 5)));
    const OsMesaContext::Rgb ground = map.context().at(static_cast<int>(topLeft.x) + 60, kHeight / 2 + 40);
    EXPECT_NEAR(ground.r, kGround[0], 3);
    EXPECT_NEAR(ground.g, kGround[1], 3);
    const double imageWidth =
        geodesicInverse(markCoordinate(picture, {0, 300}), markCoordinate(picture, {2999, 300})).metres;
    EXPECT_NEAR(imageWidth / east, pixelsAcross, pixelsAcross * 0.02);
}

// Each mark drawn within `tolerance` pixels of where its coordinate lies, wherever it is on the map.
void expectMarksInPlace(OpenedMap& map, const UtmPicture& picture, double tolerance) {
    map.drawOnly(&Scene::drawMap);
    const MapGeometry& g = map.scene().mapGeometry();
    int seen = 0;
    for (const PixelMark& mark : picture.marks) {
        const GeoPoint at = markCoordinate(picture, mark);
        const ScenePoint shown = zoomedScenePoint(g, map.scene().mapWindow(), *geoToScene(g, at.lat, at.lon));
        if (!isOnMap(g, shown)) continue;
        ++seen;
        SCOPED_TRACE(testing::Message() << "mark " << mark.column << "," << mark.row);
        const PixelPoint expected = map.pixelOf(shown);
        const PixelBox drawn = markNear(map.context(), expected, 30);
        ASSERT_TRUE(drawn.found);
        // Pixel indices count from the pixel's top-left corner.
        EXPECT_NEAR(centreOf(drawn).x + 0.5, expected.x, tolerance);
        EXPECT_NEAR(centreOf(drawn).y + 0.5, expected.y, tolerance);
    }
    EXPECT_GT(seen, 0);
}

TEST(ImageryLayer, MbTilesAndATileFolderOfThePictureShowItsMarksInPlace) {
    OpenedMap map;
    const UtmPicture picture;
    ASSERT_TRUE(writeUtmGeoTiff("utm.tif", picture));
    ASSERT_TRUE(writeMbTiles("utm.mbtiles", "utm.tif"));
    ASSERT_GT(writeTileFolder("tiles", "utm.mbtiles"), 4);
    for (const char* path : {"utm.mbtiles", "tiles"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(map.open(path)) << (map.messages.empty() ? "" : map.messages.front());
        ASSERT_TRUE(map.messages.empty()) << map.messages.front();
        ASSERT_EQ(map.scene().imagery()->request().path, std::filesystem::absolute(path).string());
        expectMarksInPlace(map, picture, 1.5);
        const GeoPoint centre = markCoordinate(picture, picture.marks[2]);
        const ScenePoint centreScene = *geoToScene(map.scene().mapGeometry(), centre.lat, centre.lon);
        for (int i = 0; i < 40; ++i) map.scene().wheelStep(-120, centreScene);
        ASSERT_TRUE(map.settle());
        expectMarksInPlace(map, picture, 1.5);
    }
}

TEST(ImageryLayer, AMissingTileShowsTheMarginAndABrokenOneIsToldOnce) {
    OpenedMap map;
    UtmPicture picture;
    picture.marks = {{1000, 750}};
    ASSERT_TRUE(writeUtmGeoTiff("utm.tif", picture));
    ASSERT_TRUE(writeMbTiles("utm.mbtiles", "utm.tif"));
    ASSERT_GT(writeTileFolder("tiles", "utm.mbtiles"), 4);
    // The folder's tiles in order; the first (north-west) goes missing, two others are broken.
    std::vector<std::filesystem::path> tiles;
    for (const auto& entry : std::filesystem::recursive_directory_iterator("tiles"))
        if (entry.is_regular_file()) tiles.push_back(entry.path());
    std::sort(tiles.begin(), tiles.end());
    std::filesystem::remove(tiles.front());
    std::ofstream(tiles[1]) << "not a picture";
    std::ofstream(tiles[2]) << "not a picture either";
    // Opening reads the coarsest level, which the broken tiles spoil: the folder is refused whole.
    EXPECT_FALSE(map.open("tiles"));
    ASSERT_EQ(map.messages.size(), 1u);
    EXPECT_NE(map.messages[0].find(std::filesystem::absolute("tiles").string()), std::string::npos);
    EXPECT_EQ(map.scene().imagery(), nullptr);

    // Only missing: the folder opens, the margin's grey where the tile would be.
    std::filesystem::remove(tiles[1]);
    std::filesystem::remove(tiles[2]);
    map.messages.clear();
    ASSERT_TRUE(map.open("tiles")) << (map.messages.empty() ? "no message" : map.messages.front());
    EXPECT_TRUE(map.messages.empty());
    const ImageryInfo& info = map.scene().imagery()->info();
    const MapGeometry& g = map.scene().mapGeometry();
    // A point near the picture's north-west corner, in the missing tile.
    const double lat = info.north - 20 * info.latPerPixel, lon = info.west + 20 * info.lonPerPixel;
    const PixelPoint at = map.pixelOf(*geoToScene(g, lat, lon));
    EXPECT_TRUE(isMargin(map.context().at(static_cast<int>(at.x), static_cast<int>(at.y))));
}

TEST(ImageryLayer, AFileCutShortWhileShownIsToldOnceAndTheRestStays) {
    OpenedMap map;
    UtmPicture picture;
    picture.width = picture.height = 4000;
    ASSERT_TRUE(writeUtmGeoTiff("big.tif", picture));
    ASSERT_TRUE(map.open("big.tif"));
    // The file loses its full-resolution pixels; the overviews already shown stay.
    std::filesystem::resize_file("big.tif", 4096);
    map.scene().wheelStep(-120);
    for (int i = 0; i < 30; ++i) map.scene().wheelStep(-120);
    map.settle();
    map.scene().panMap(0.5, 0.5);
    map.settle();
    EXPECT_EQ(map.messages.size(), 1u);
    ASSERT_FALSE(map.messages.empty());
    EXPECT_NE(map.messages[0].find("big.tif"), std::string::npos);
    ASSERT_NE(map.scene().imagery(), nullptr);
}

TEST(ImageryLayer, FollowKeepsTheAircraftInTheMiddleThirdUntilTheOperatorPans) {
    OpenedMap map;
    const UtmPicture picture;
    ASSERT_TRUE(writeUtmGeoTiff("utm.tif", picture));
    ASSERT_TRUE(map.open("utm.tif"));
    for (int i = 0; i < 12; ++i) map.scene().wheelStep(-120);
    map.telemetry().lineHeard = true;
    map.telemetry().gpsStatus = 1;
    map.scene().setFollowAircraft(true);
    const MapGeometry& g = map.scene().mapGeometry();
    const auto shownAt = [&](const GeoPoint& at) {
        return zoomedScenePoint(g, map.scene().mapWindow(), *geoToScene(g, at.lat, at.lon));
    };
    const auto inMiddleThird = [&](ScenePoint p) {
        const double w = g.mapRight - g.mapLeft, h = g.mapTop - g.mapBottom;
        return p.x >= g.mapLeft + w / 3 - 1e-6 && p.x <= g.mapLeft + 2 * w / 3 + 1e-6 &&
               p.y >= g.mapBottom + h / 3 - 1e-6 && p.y <= g.mapBottom + 2 * h / 3 + 1e-6;
    };
    // Flown from mark to mark across the picture, the shown part keeps up.
    for (const PixelMark& mark : picture.marks) {
        const GeoPoint at = markCoordinate(picture, mark);
        map.telemetry().lat = at.lat;
        map.telemetry().lon = at.lon;
        map.scene().followStep();
        EXPECT_TRUE(inMiddleThird(shownAt(at))) << mark.column << "," << mark.row;
    }
    // The operator's pan ends it: the aircraft may then leave the view.
    map.scene().panMapByOperator(2.0, 0);
    EXPECT_FALSE(map.scene().followAircraft());
    const GeoPoint far = markCoordinate(picture, picture.marks[0]);
    map.telemetry().lat = far.lat;
    map.telemetry().lon = far.lon;
    EXPECT_FALSE(map.scene().followStep());
}

TEST(ImageryLayer, TileTexturesStayWithinTheirBudgetWhilePanningAcrossTheMap) {
    OpenedMap map;
    UtmPicture picture;
    picture.width = picture.height = 3000;
    ASSERT_TRUE(writeUtmGeoTiff("big.tif", picture));
    // A budget of a dozen tiles for a map of well over a hundred at full resolution.
    constexpr std::size_t kBudget = 12 * kTileSize * kTileSize * 4;
    map.scene().setImageryBudget(kBudget);
    ASSERT_TRUE(map.open("big.tif"));
    for (int i = 0; i < 40; ++i) map.scene().wheelStep(-120);
    std::size_t most = 0;
    for (int step = 0; step < 30; ++step) {
        map.scene().panMap(step < 15 ? -0.8 : 0.8, -0.5);
        ASSERT_TRUE(map.settle());
        most = std::max(most, map.scene().imagery()->textureBytes());
    }
    // The tiles of one view may exceed it for the moment they are on the screen, never more.
    const std::size_t onScreen = 12 * kTileSize * kTileSize * 4;
    EXPECT_LE(most, kBudget + onScreen);
    EXPECT_GT(map.scene().imagery()->loader().tilesRead(), 12);
}

}  // namespace
