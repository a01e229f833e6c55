#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/OutlineFont.h"
#include "view/Scene.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;

class OutlineFontTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.valid());
        scene.buildFonts();
        ASSERT_NE(scene.outlineFontBase(), 0u);
        scene.resize(kWidth, kHeight);
        glEnable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
        clear();
    }
    static void clear() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }
    PixelBox litPixels() { return findPixels(context, isLit); }
    static std::array<float, 4> currentColor() {
        std::array<float, 4> color{};
        glGetFloatv(GL_CURRENT_COLOR, color.data());
        return color;
    }
    // How far one glyph list moves the pen, in em.
    double advanceOf(int code) {
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glCallList(scene.outlineFontBase() + static_cast<GLuint>(code));
        std::array<GLdouble, 16> m{};
        glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
        glPopMatrix();
        EXPECT_DOUBLE_EQ(m[13], 0.0) << "a glyph moves the pen along the baseline only";
        return m[12];
    }

    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
};

TEST_F(OutlineFontTest, BuildsOneListPerCodeThatEndsWithTheGlyphAdvance) {
    for (int code = 0; code < kOutlineFontListCount; ++code) {
        EXPECT_TRUE(glIsList(scene.outlineFontBase() + static_cast<GLuint>(code))) << "code " << code;
    }
    EXPECT_EQ(advanceOf(0), 0.0) << "code 0 is an empty glyph";
    const double advanceA = advanceOf('A');
    EXPECT_GT(advanceA, 0.4);
    EXPECT_LT(advanceA, 1.2);
    EXPECT_LT(advanceOf('i'), advanceOf('W')) << "a proportional face";
    EXPECT_GT(advanceOf(' '), 0.1) << "a blank still advances";
}

TEST_F(OutlineFontTest, GlyphsAreFilledEmSizedAndSitOnTheBaseline) {
    // A large 'A' at the scene centre: its filled body covers a sizeable share of its box.
    const float size = 8.0f;
    scene.drawText(0, 0, colorWhite, size, "A");
    const PixelBox box = findPixels(context, isWhite);
    ASSERT_TRUE(box.found);
    const double pixelsPerUnitY = kHeight / (2 * kSceneHalfHeight);
    const double emPixels = size * 0.29 * pixelsPerUnitY;
    const double glyphHeight = box.bottom - box.top + 1;
    // Cap height of a geometric face is roughly 0.7 em.
    EXPECT_GT(glyphHeight, 0.6 * emPixels);
    EXPECT_LT(glyphHeight, 0.85 * emPixels);
    const PixelPoint origin = sceneToPixel(0, 0, kWidth, kHeight);
    EXPECT_NEAR(box.bottom, origin.y, 2.0) << "the baseline is the text's y";
    EXPECT_GE(box.left, origin.x - 2.0) << "the text starts at its x";
    const double boxArea = (box.right - box.left + 1) * glyphHeight;
    EXPECT_GT(box.count, 0.3 * boxArea) << "glyphs are filled, not outlined";
}

TEST_F(OutlineFontTest, UpperHalfCodesDrawTheirWindows1252Characters) {
    struct Case {
        std::uint8_t code;
        char32_t character;
    };
    for (const Case c : {Case{0x41, U'A'}, Case{0x80, U'\u20AC'}, Case{0x81, 0}, Case{0x8A, U'\u0160'},
                         Case{0x99, U'\u2122'}, Case{0x9F, U'\u0178'}, Case{0xA0, U'\u00A0'},
                         Case{0xE9, U'\u00E9'}, Case{0xFF, U'\u00FF'}}) {
        EXPECT_EQ(windows1252ToUnicode(c.code), c.character) << "code " << int{c.code};
    }
    for (const char* text : {"\xE9", "\x80"}) {
        clear();
        scene.drawText(0, 0, colorWhite, 4.0f, text);
        EXPECT_TRUE(litPixels().found) << "code " << int{static_cast<std::uint8_t>(text[0])};
    }
    clear();
    scene.drawText(0, 0, colorWhite, 4.0f, "\x81");
    EXPECT_FALSE(litPixels().found) << "an undefined code draws nothing";
}

TEST_F(OutlineFontTest, TextScalesExactlyWithItsSize) {
    // Widths in pixels of one text at size 1.0 and 0.7, at two window sizes: the ratio holds.
    for (const auto& [width, height] : {std::pair{1024, 672}, std::pair{1600, 500}}) {
        OsMesaContext wide(width, height);
        ASSERT_TRUE(wide.valid());
        Scene local(telemetry, notifier);
        local.buildFonts();
        local.resize(width, height);
        glEnable(GL_DEPTH_TEST);
        auto extent = [&](float size) {
            clear();
            local.drawText(-5.0f, 0, colorWhite, size, "WAYPOINT 8 HOLD");
            const PixelBox box = findPixels(wide, isLit);
            EXPECT_TRUE(box.found);
            return std::pair{box.right - box.left + 1, box.bottom - box.top + 1};
        };
        const auto [fullWidth, fullHeight] = extent(1.0f);
        const auto [smallWidth, smallHeight] = extent(0.7f);
        EXPECT_NEAR(smallWidth, 0.7 * fullWidth, 2.0) << width << "x" << height;
        EXPECT_NEAR(smallHeight, 0.7 * fullHeight, 2.0) << width << "x" << height;
    }
}

TEST_F(OutlineFontTest, NothingToDrawStillSetsTheColourButABadIndexSetsNothing) {
    struct Case {
        const char* text;
        int colorIndex;
        std::array<float, 4> colorAfter;
    };
    const std::array<float, 4> before{0.25f, 0.5f, 0.75f, 1.0f};
    for (const Case& c : {Case{nullptr, colorGreen, {0, 1, 0, 1}}, Case{"", colorYellow, {1, 1, 0, 1}},
                          Case{"LINK", 6, before}, Case{"LINK", -1, before}}) {
        clear();
        glColor4fv(before.data());
        scene.drawText(0, 0, c.colorIndex, 1.0f, c.text);
        EXPECT_FALSE(litPixels().found) << "index " << c.colorIndex;
        EXPECT_EQ(currentColor(), c.colorAfter) << "index " << c.colorIndex;
    }
}

}  // namespace
