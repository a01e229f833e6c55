#include <GL/gl.h>
#include <gtest/gtest.h>

#include <GL/glu.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "map/TextureImage.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;

// Texel (x, y) of the test picture: red counts columns and green counts rows, two levels a texel,
// so a pixel's colour tells which texture coordinate it shows.
constexpr int kGradientSide = 128;

// A 300 x 100 green "user.bmp" in the working directory; returns its name.
std::string makeUserMap() {
    writeUniformBitmap("user.bmp", 300, 100, {0, 255, 0});
    return "user.bmp";
}
Rgb8 gradient(int x, int y) {
    return {static_cast<std::uint8_t>(2 * x), static_cast<std::uint8_t>(2 * y), 128};
}

class MapLayerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(context.valid()); }
    void start() {
        scene.initGl();
        scene.resize(kWidth, kHeight);
    }
    // The map step of the frame alone.
    void drawMapLayer() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glEnable(GL_TEXTURE_2D);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
        scene.drawMap();
        glPopMatrix();
        glDisable(GL_TEXTURE_2D);
    }
    // The colour at fractions (fx, fy) of the map rectangle, fy counted from its bottom.
    OsMesaContext::Rgb mapPixel(double fx, double fy) {
        const MapGeometry& g = scene.mapGeometry();
        const PixelPoint p = sceneToPixel(g.mapLeft + fx * (g.mapRight - g.mapLeft),
                                          g.mapBottom + fy * (g.mapTop - g.mapBottom), kWidth, kHeight);
        return context.at(static_cast<int>(p.x), static_cast<int>(p.y));
    }

    ScratchWorkDir workDir;
    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
};

TEST_F(MapLayerTest, TheZoomWindowIsCentredOnThePicture) {
    writeBitmap24("site3.bmp", kGradientSide, kGradientSide, gradient);
    start();
    ASSERT_TRUE(notifier.messages.empty());
    struct Case {
        int wheelBackSteps;
        double firstCoordinate;  // texture coordinate at the map's left and bottom edges
        double lastCoordinate;   // and at its right and top edges
    };
    for (const Case& c : {Case{0, 0.0, 1.0}, Case{10, 0.25, 0.75}}) {
        for (int i = 0; i < c.wheelBackSteps; ++i) scene.wheelStep(-120);
        drawMapLayer();
        for (const double f : {0.1, 0.5, 0.9}) {
            const double expected = c.firstCoordinate + f * (c.lastCoordinate - c.firstCoordinate);
            const OsMesaContext::Rgb across = mapPixel(f, 0.5);
            const OsMesaContext::Rgb up = mapPixel(0.5, f);
            // Channel level v stands for texture coordinate (v + 1) / 256 of the gradient.
            EXPECT_NEAR((across.r + 1) / 256.0, expected, 0.02)
                << "s at " << f << ", zoom " << scene.mapZoom();
            EXPECT_NEAR((up.g + 1) / 256.0, expected, 0.02) << "t at " << f << ", zoom " << scene.mapZoom();
        }
    }
    EXPECT_FLOAT_EQ(scene.mapGeometry().mapTexU0, 0.25f);
    EXPECT_FLOAT_EQ(scene.mapGeometry().mapTexV0, 0.25f);
}

TEST_F(MapLayerTest, AMissingStartupPictureKeepsTheViewRunningWithAnEmptyMap) {
    start();
    // One message, which names the file with its folder.
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(notifier.messages[0].first, "Orvane");
    EXPECT_EQ(notifier.messages[0].second, std::string(kMapLoadFailedText) + "\nFailed to open DIB file " +
                                               (std::filesystem::current_path() / "site3.bmp").string() +
                                               ".");
    EXPECT_FALSE(scene.hasMapPicture());

    // The geometry of the shipped pictures keeps the overlays placed as usual.
    const MapGeometry& g = scene.mapGeometry();
    EXPECT_EQ(g.mapBitmapWidth, kShippedMapWidth);
    EXPECT_EQ(g.mapBitmapHeight, kShippedMapHeight);
    const std::optional<ScenePoint> corner = geoToScene(g, g.lowerRightLat, g.lowerRightLon);
    ASSERT_TRUE(corner);
    EXPECT_NEAR(corner->x, -5.3 + kShippedMapWidth * 0.007, 1e-6);

    // Only the frame shows: no untextured rectangle of the frame's colour.
    drawMapLayer();
    EXPECT_FALSE(isLit(mapPixel(0.5, 0.5)));
    EXPECT_TRUE(findPixels(context, isWhite).found);
}

TEST_F(MapLayerTest, LoadingACatalogueMapReplacesThePictureButNotTheGeometry) {
    writeUniformBitmap("site3.bmp", 200, 150, {0, 0, 255});
    writeUniformBitmap("site2.bmp", 50, 400, {0, 255, 0});
    start();
    const MapGeometry before = scene.mapGeometry();

    scene.loadMapForIndex(1);
    EXPECT_TRUE(notifier.messages.empty());
    drawMapLayer();
    EXPECT_TRUE(isGreen(mapPixel(0.5, 0.5))) << "stretched over the start-up rectangle";
    EXPECT_TRUE(isGreen(mapPixel(0.95, 0.05)));

    // "user.bmp" does not exist: one message, and the previous picture stays.
    EXPECT_FALSE(scene.loadMapForIndex(3));
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].second.find((std::filesystem::current_path() / "user.bmp").string()),
              std::string::npos);
    EXPECT_EQ(notifier.messages[0].second.rfind(kMapLoadFailedText, 0), 0u);
    drawMapLayer();
    EXPECT_TRUE(isGreen(mapPixel(0.5, 0.5)));

    // An index outside the catalogue loads nothing.
    EXPECT_FALSE(scene.loadMapForIndex(4));
    EXPECT_EQ(notifier.messages.size(), 2u);
    drawMapLayer();
    EXPECT_TRUE(isGreen(mapPixel(0.5, 0.5)));

    const MapGeometry& after = scene.mapGeometry();
    EXPECT_EQ(after.mapBitmapWidth, before.mapBitmapWidth);
    EXPECT_EQ(after.mapBitmapHeight, before.mapBitmapHeight);
    EXPECT_EQ(after.mapRight, before.mapRight);
    EXPECT_EQ(after.lonPerUnit, before.lonPerUnit);
}

TEST_F(MapLayerTest, TextureImageKeepsItsNameAndModeOnlyForALoadedPicture) {
    writeUniformBitmap("site1.bmp", 4, 4, {255, 0, 0});
    struct Case {
        const char* file;
        GLenum requested;
        int result;
        const char* nameAfter;
        GLenum modeAfter;
    };
    TextureImage image;
    EXPECT_EQ(image.fileName(), "None");
    EXPECT_EQ(image.upload(), 0) << "no picture yet";
    for (const Case& c : {Case{"site1.bmp", GL_MODULATE, 1, "site1.bmp", GL_MODULATE},
                          Case{"site1.bmp", GL_REPLACE, 1, "site1.bmp", GL_DECAL},
                          Case{"missing.bmp", GL_MODULATE, 0, "site1.bmp", GL_DECAL},
                          Case{"site1.bmp", GL_DECAL, 1, "site1.bmp", GL_DECAL}}) {
        EXPECT_EQ(image.load(c.file, c.requested, notifier), c.result) << c.file;
        EXPECT_EQ(image.fileName(), c.nameAfter) << c.file;
        EXPECT_EQ(image.envMode(), c.modeAfter) << c.file;
        EXPECT_EQ(image.image() != nullptr, c.result == 1) << "a failed load releases the old picture";
        EXPECT_EQ(image.upload(), c.result) << c.file;
    }
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_DECAL);
    GLint minFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
}

// Every value of the geometry that a map change could touch.
std::vector<double> geometryValues(const MapGeometry& g) {
    return {g.upperLeftLat,
            g.lowerRightLat,
            g.upperLeftLon,
            g.lowerRightLon,
            g.lonPerUnit,
            g.latPerUnit,
            g.mapBoxLeft,
            g.mapBoxRight,
            g.mapBoxTop,
            g.mapBoxBottom,
            g.mapLeft,
            g.mapRight,
            g.mapTop,
            g.mapBottom,
            g.unitsPerPixelX,
            g.unitsPerPixelY,
            static_cast<double>(g.mapBitmapWidth),
            static_cast<double>(g.mapBitmapHeight),
            static_cast<double>(g.mapOriginX),
            static_cast<double>(g.mapOriginY)};
}

TEST_F(MapLayerTest, AMapChangeIsAppliedWholeOrNotAtAll) {
    writeUniformBitmap("site3.bmp", 200, 150, {0, 0, 255});
    start();
    const MapCorners typed{40.5, -75.5, 40.4, -75.4};
    struct Case {
        const char* what;
        std::function<void()> prepare;  // what the working directory holds for "user.bmp"
        bool changes;
        Rgb8 pictureAfter;
    };
    const Case cases[] = {
        {"no user.bmp", [] {}, false, {0, 0, 255}},
        {"a user.bmp cut short",
         [] { std::filesystem::resize_file(makeUserMap(), 100); },
         false,
         {0, 0, 255}},
        {"a user.bmp of another size", [] { makeUserMap(); }, true, {0, 255, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        notifier.messages.clear();
        const std::vector<double> before = geometryValues(scene.mapGeometry());
        EXPECT_EQ(scene.changeMap(3, typed), c.changes);
        EXPECT_EQ(notifier.messages.size(), c.changes ? 0u : 1u);
        const MapGeometry& g = scene.mapGeometry();
        if (c.changes) {
            EXPECT_EQ(g.upperLeftLat, typed.upperLeftLat);
            EXPECT_EQ(g.lowerRightLon, typed.lowerRightLon);
            EXPECT_EQ(g.lonPerUnit, (typed.lowerRightLon - typed.upperLeftLon) / (g.mapRight - g.mapLeft));
        } else {
            EXPECT_EQ(geometryValues(g), before);
        }
        drawMapLayer();
        const OsMesaContext::Rgb centre = mapPixel(0.5, 0.5);
        EXPECT_EQ(centre.g, c.pictureAfter.g);
        EXPECT_EQ(centre.b, c.pictureAfter.b);
    }
}

TEST_F(MapLayerTest, APictureTheGlCannotTakeKeepsThePreviousTexture) {
    writeUniformBitmap("site1.bmp", 4, 4, {255, 0, 0});
    TextureImage first;
    ASSERT_EQ(first.load("site1.bmp", GL_DECAL, notifier), 1);
    ASSERT_EQ(first.upload(), 1);
    struct Case {
        const char* what;
        TextureImage::MipmapBuilder builder;
    };
    const Case cases[] = {
        {"the builder fails",
         [](GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum, const void*) -> GLint {
             return GLU_OUT_OF_MEMORY;
         }},
        {"the builder leaves a GL error",
         [](GLenum target, GLint components, GLsizei width, GLsizei height, GLenum format, GLenum type,
            const void* pixels) -> GLint {
             glTexImage2D(target, -1, components, width, height, 0, format, type, pixels);
             return 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TextureImage second;
        ASSERT_EQ(second.load("site1.bmp", GL_DECAL, notifier), 1);
        EXPECT_EQ(second.upload(c.builder), 0);
        EXPECT_EQ(second.texture(), 0u);
        EXPECT_FALSE(second.uploadError().empty());
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), first.texture());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

// The map quad drawn with the level the view picks gives exactly the pixels of the renderer's own
// choice, for window sizes that minify and magnify the picture and for every zoom.
TEST(MapLevelTest, TheViewsLevelChoiceKeepsEveryPixel) {
    constexpr int kLargest = 1600;
    OsMesaContext context(kLargest, 1200);
    ASSERT_TRUE(context.valid());
    ScratchWorkDir workDir;
    // Fine noise of the shipped picture size: every mipmap level of it looks different.
    writeBitmap24("site3.bmp", kShippedMapWidth, kShippedMapHeight, [](int x, int y) {
        const unsigned hash = static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u;
        return Rgb8{static_cast<std::uint8_t>(hash >> 24), static_cast<std::uint8_t>(hash >> 16),
                    static_cast<std::uint8_t>(hash >> 8)};
    });
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene(telemetry, notifier);
    scene.initGl();
    ASSERT_TRUE(scene.hasMapPicture());

    struct Case {
        int width, height, wheelBackSteps;
    };
    const Case cases[] = {
        {1024, 672, 0}, {1280, 1005, 0},  {1600, 1200, 0}, {640, 420, 0},    {320, 210, 0},
        {1024, 672, 4}, {1280, 1005, 10}, {800, 525, 18},  {1600, 1200, 18}, {510, 700, 2},
    };
    std::vector<int> levelsSeen;
    for (const Case& c : cases) {
        Scene& s = scene;
        while (s.mapZoom() < 1.0f) s.wheelStep(1);
        for (int i = 0; i < c.wheelBackSteps; ++i) s.wheelStep(-1);
        s.resize(c.width, c.height);
        auto frame = [&](bool chosenByView) {
            s.setMapLevelChosenByView(chosenByView);
            s.drawFrame();
            return context.pixels();
        };
        const std::vector<std::uint8_t> renderers = frame(false);
        const std::vector<std::uint8_t> views = frame(true);
        // The map's rectangle only: the panel's clock may turn a second between the two frames.
        const MapGeometry& g = s.mapGeometry();
        const PixelPoint topLeft = sceneToPixel(g.mapLeft, g.mapTop, c.width, c.height);
        const PixelPoint bottomRight = sceneToPixel(g.mapRight, g.mapBottom, c.width, c.height);
        std::size_t differing = 0;
        for (int y = std::max(0, int(topLeft.y) - 1); y <= std::min(c.height - 1, int(bottomRight.y) + 1);
             ++y) {
            for (int x = std::max(0, int(topLeft.x) - 1); x <= std::min(c.width - 1, int(bottomRight.x) + 1);
                 ++x) {
                const std::size_t at = (static_cast<std::size_t>(c.height - 1 - y) * kLargest + x) * 4;
                for (std::size_t k = 0; k < 3; ++k) differing += renderers[at + k] != views[at + k];
            }
        }
        EXPECT_EQ(differing, 0u) << c.width << " x " << c.height << ", zoom " << s.mapZoom() << ", level "
                                 << s.mapTextureLevel();
        levelsSeen.push_back(s.mapTextureLevel());
    }
    // The cases reach the first level and smaller ones.
    EXPECT_NE(std::find(levelsSeen.begin(), levelsSeen.end(), 0), levelsSeen.end());
    EXPECT_NE(std::find_if(levelsSeen.begin(), levelsSeen.end(), [](int l) { return l >= 1; }),
              levelsSeen.end());
    // The view's choice is undone after the quad: the texture keeps its filter and first level.
    GLint minFilter = 0, baseLevel = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, &baseLevel);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(baseLevel, 0);
}

}  // namespace
