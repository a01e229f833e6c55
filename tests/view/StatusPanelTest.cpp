#include <GL/gl.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "tests/support/ScratchLocale.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"
#include "view/StatusPanel.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;

// The state table's origin and its columns, in scene units.
constexpr double kTableX = 1.712, kTableY = 2.2;
constexpr double kStatusX = kTableX + 1.68;
constexpr double kAhrsRow = kTableY - 2.91, kGpsRow = kTableY - 3.16, kNavRow = kTableY - 3.41;
constexpr double kCommRow = kTableY - 3.66;

using Predicate = std::function<bool(OsMesaContext::Rgb)>;

class StatusPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(context.valid());
        scene.buildFonts();
        ASSERT_NE(scene.outlineFontBase(), 0u);
        initMapGeometry(scene.mapGeometry(), kShippedMapWidth, kShippedMapHeight);
        scene.resize(kWidth, kHeight);
        glEnable(GL_DEPTH_TEST);
    }
    void drawPanel() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene.drawStatusPanel();
    }
    // Pixels of one line of text whose baseline starts at (x, y), at most `width` units long.
    PixelBox textBox(double x, double y, const Predicate& match, double width = 1.0) {
        // Rows stand 0.25 apart: the band holds one row's capitals and none of its neighbours' glyphs.
        const PixelPoint topLeft = sceneToPixel(x, y + 0.22, kWidth, kHeight);
        const PixelPoint bottomRight = sceneToPixel(x + width, y - 0.015, kWidth, kHeight);
        return findPixels(context, match, static_cast<int>(topLeft.x) - 4, static_cast<int>(topLeft.y),
                          static_cast<int>(bottomRight.x), static_cast<int>(bottomRight.y));
    }
    PixelPoint pixelOf(double x, double y) const { return sceneToPixel(x, y, kWidth, kHeight); }

    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene{telemetry, notifier};
};

TEST_F(StatusPanelTest, LabelsAndValuesStandAtTheirPlacesInTheirColours) {
    telemetry.palt = 12.5f;
    telemetry.cas = 12.5f;
    telemetry.alt = 12.5f;
    telemetry.phi = 0.25f;
    telemetry.psi = 0.25f;
    drawPanel();
    struct Item {
        const char* what;
        double x, y;
        Predicate color;
        bool label;  // a label starts exactly at x; a right-aligned value starts somewhere after it
    };
    const double left = scene.mapGeometry().mapOriginX;
    const Item items[] = {
        {"LAT", left, 3.3, isWhite, true},
        {"LON", left, 3.05, isWhite, true},
        {"ALT", left, 2.8, isWhite, true},
        {"PALT", left + 2.5, 2.8, isWhite, true},
        {"CAS", left + 2.5, 2.55, isWhite, true},
        {"lat value", left + 0.9, 3.3, isWhite, false},
        {"alt value", left + 0.9, 2.8, isRed, false},
        {"GS value", left + 0.9, 2.55, isRed, false},
        {"palt value", left + 3.2, 2.8, isGreen, false},
        {"cas value", left + 3.2, 2.55, isGreen, false},
        {"STATE INFORMATION", kTableX + 0.1, kTableY + 0.09, isBlue, true},
        {"PHI", kTableX + 0.1, kTableY - 0.16, isWhite, true},
        {"phi value", kTableX + 1.5, kTableY - 0.16, isYellow, false},
        {"psi value", kTableX + 1.5, kTableY - 0.66, isWhite, false},
        {"VEXO STATUS", kTableX + 0.1, kTableY - 2.66, isBlue, true},
        {"COMM", kTableX + 0.1, kCommRow, isWhite, true},
    };
    for (const Item& item : items) {
        const PixelBox box = textBox(item.x, item.y, item.color, 0.9);
        ASSERT_TRUE(box.found) << item.what;
        const PixelPoint start = pixelOf(item.x, item.y);
        if (item.label) {
            EXPECT_NEAR(box.left, start.x, 3.0) << item.what;
        } else {
            EXPECT_GE(box.left, start.x - 1.0) << item.what;
        }
        EXPECT_NEAR(box.bottom, start.y, 2.0) << item.what << " sits on its baseline";
    }

    // The time line follows the map origin, below the map.
    const PixelBox time = textBox(left, scene.mapGeometry().mapOriginY - 0.2, isWhite, 3.0);
    ASSERT_TRUE(time.found);
    EXPECT_NEAR(time.left, pixelOf(left, 0).x, 3.0);

    // The frame of the state table.
    auto frameColor = [](OsMesaContext::Rgb c) { return c.r > 20 && c.r < 90 && c.g > 200 && c.b > 170; };
    const PixelBox frame = findPixels(context, frameColor);
    ASSERT_TRUE(frame.found);
    EXPECT_NEAR(frame.left, pixelOf(1.712, 0).x, 1.5);
    EXPECT_NEAR(frame.right, pixelOf(5.412, 0).x, 1.5);
    EXPECT_NEAR(frame.top, pixelOf(0, 2.45).y, 1.5);
    EXPECT_NEAR(frame.bottom, pixelOf(0, -3.3).y, 1.5);
}

TEST_F(StatusPanelTest, StatusWordsTakeTheColourOfTheirState) {
    struct Case {
        const char* what;
        std::function<void(TelemetryState&)> set;
        double row;
        Predicate shown;
        Predicate notShown;
    };
    const Case cases[] = {
        {"AHRS acquired", [](TelemetryState& t) { t.ahrsStatus = 2; }, kAhrsRow, isGreen, isRed},
        {"AHRS no IMU", [](TelemetryState& t) { t.ahrsStatus = 0; }, kAhrsRow, isRed, isGreen},
        {"AHRS unknown", [](TelemetryState& t) { t.ahrsStatus = 9; }, kAhrsRow, isRed, isGreen},
        {"GPS acquired", [](TelemetryState& t) { t.gpsStatus = 1; }, kGpsRow, isGreen, isRed},
        {"GPS lost", [](TelemetryState& t) { t.gpsStatus = 0; }, kGpsRow, isRed, isGreen},
        {"NAV acquired", [](TelemetryState& t) { t.navStatus = 1; }, kNavRow, isGreen, isRed},
        {"NAV disabled", [](TelemetryState& t) { t.navStatus = 3; }, kNavRow, isRed, isGreen},
    };
    for (const Case& c : cases) {
        c.set(telemetry);
        // Every drawing shows the state: the same word three times running.
        for (int drawing = 0; drawing < 3; ++drawing) {
            drawPanel();
            EXPECT_TRUE(textBox(kStatusX, c.row, c.shown, 1.6).found) << c.what << ", drawing " << drawing;
            EXPECT_FALSE(textBox(kStatusX, c.row, c.notShown, 1.6).found)
                << c.what << ", drawing " << drawing;
        }
    }
}

TEST(StatusPanelText, StatusWordTexts) {
    // The colours are checked on the drawn panel; the words of the unit states here.
    struct Case {
        StatusWord word;
        const char* text;
    };
    const Case cases[] = {
        {ahrsStatusWord(0), "NO IMU"},     {ahrsStatusWord(1), "b"},        {ahrsStatusWord(2), "ACQ"},
        {ahrsStatusWord(4), "CHKSUM ERR"}, {ahrsStatusWord(5), "STATUS 5"}, {ahrsStatusWord(-1), "STATUS -1"},
        {gpsStatusWord(2), "NO GPS"},      {navStatusWord(0), "DISABLED"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.word.text, c.text);
}

TEST_F(StatusPanelTest, TheLinkRowShowsLinkOnlyOnceForEachArrival) {
    telemetry.packetInterval = 0.2;
    struct Drawing {
        bool datagramBefore;
        bool showsLink;
    };
    for (const Drawing& d : {Drawing{true, true}, Drawing{false, false}, Drawing{false, false},
                             Drawing{true, true}, Drawing{false, false}}) {
        if (d.datagramBefore) telemetry.linkAlive = 1;
        drawPanel();
        EXPECT_EQ(scene.lastDrawingShowedLink(), d.showsLink);
        EXPECT_EQ(telemetry.linkAlive.load(), 0) << "the panel takes the flag";
        EXPECT_EQ(textBox(kStatusX, kCommRow, isGreen, 0.5).found, d.showsLink) << "LINK";
        EXPECT_EQ(textBox(kTableX + 2.3, kCommRow, isYellow, 0.5).found, d.showsLink) << "the rate";
        EXPECT_EQ(textBox(kTableX + 2.85, kCommRow, isWhite, 0.5).found, d.showsLink) << "Hz";
        EXPECT_EQ(textBox(kStatusX, kCommRow, isRed, 1.6).found, !d.showsLink) << "NO LINK";
    }
}

// Lines from a second sender within 5 s turn "LINK" into a red "2 SRC" (the rate stays), until one
// sender alone has been heard for 5 s; the panel's clock wraps on the way.
TEST_F(StatusPanelTest, TwoSendersShowTwoSourcesInRedUntilOneWasAloneForFiveSeconds) {
    telemetry.packetInterval = 0.2;
    constexpr std::int32_t t0 = INT32_MAX - 3000;
    std::int32_t now = t0;
    scene.setClock([&now] { return now; });
    const auto at = [](std::int32_t offset) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(t0) + static_cast<std::uint32_t>(offset));
    };
    sockaddr_in aircraft{}, other{};
    aircraft.sin_family = other.sin_family = AF_INET;
    aircraft.sin_addr.s_addr = htonl(0x7F000001);
    other.sin_addr.s_addr = htonl(0x7F000002);
    aircraft.sin_port = other.sin_port = htons(40000);

    enum class Comm { link, twoSources, noLink };
    struct Drawing {
        const sockaddr_in* heard;  // a line from it just before the drawing, or none
        std::int32_t atMs;
        Comm shown;
    };
    const Drawing drawings[] = {
        {&aircraft, 0, Comm::link},          {&other, 1000, Comm::twoSources},
        {&aircraft, 4000, Comm::twoSources}, {nullptr, 4100, Comm::noLink},
        {&aircraft, 5999, Comm::twoSources}, {&aircraft, 6000, Comm::link},
    };
    for (const Drawing& d : drawings) {
        SCOPED_TRACE(d.atMs);
        now = at(d.atMs);
        if (d.heard) {
            ASSERT_TRUE(telemetry.senders.admit(*d.heard, now));
            telemetry.linkAlive = 1;
        }
        drawPanel();
        const bool rateShown = d.shown != Comm::noLink;
        EXPECT_EQ(textBox(kStatusX, kCommRow, isGreen, 0.5).found, d.shown == Comm::link) << "LINK";
        EXPECT_EQ(textBox(kStatusX, kCommRow, isRed, 0.5).found, d.shown != Comm::link) << "2 SRC or NO LINK";
        EXPECT_EQ(textBox(kTableX + 2.3, kCommRow, isYellow, 0.5).found, rateShown) << "the rate";
        EXPECT_EQ(textBox(kTableX + 2.85, kCommRow, isWhite, 0.5).found, rateShown) << "Hz";
        EXPECT_FALSE(rateShown && textBox(kTableX + 2.3, kCommRow, isRed, 0.5).found) << "runs into the rate";
    }
}

// A replay shows the replayed state with its recorded time and link, and the yellow mark under the
// COMM row that tells it from the live aircraft; the live state is not shown meanwhile.
TEST_F(StatusPanelTest, ReplayShowsItsRecordedTimeItsLinkAndItsMark) {
    const double timeY = scene.mapGeometry().mapOriginY - 0.2;
    const double left = scene.mapGeometry().mapOriginX;
    auto timeLinePixels = [&] {
        std::vector<int> lit;
        const PixelBox band = textBox(left, timeY, isWhite, 3.0);
        for (int y = band.top; y <= band.bottom; ++y) {
            for (int x = band.left; x <= band.right; ++x) lit.push_back(isWhite(context.at(x, y)) ? 1 : 0);
        }
        return lit;
    };
    constexpr double kMarkY = kTableY - 4.06;
    // What a time line of 2001 looks like, drawn on its own.
    constexpr std::time_t kRecorded = 999999999;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene.drawText(static_cast<float>(left), static_cast<float>(timeY), colorWhite, 0.7f,
                   formatPanelTime(kRecorded).c_str());
    const std::vector<int> recordedLine = timeLinePixels();

    telemetry.linkAlive = 1;
    telemetry.packetInterval = 0.2;
    ReplayScene replay;
    replay.lineTime = kRecorded;
    replay.telemetry.linkAlive = 0;
    replay.telemetry.ahrsStatus = 2;
    struct Drawing {
        const char* mark;
        int replayLink;
        bool showsLink;
        bool severalSenders;  // the live view warned of two senders at that moment
        bool toCockpit;
    };
    scene.showReplay(&replay);
    for (const Drawing& d :
         {Drawing{"REPLAY 8x", 1, true, false, false}, Drawing{"REPLAY 8x", 1, true, true, true},
          Drawing{"PAUSED", 0, false, false, true}}) {
        SCOPED_TRACE(d.mark);
        replay.mark = d.mark;
        replay.telemetry.linkAlive = d.replayLink;
        replay.severalSenders = d.severalSenders;
        replay.toCockpit = d.toCockpit;
        drawPanel();
        EXPECT_EQ(timeLinePixels(), recordedLine) << "the recorded time, not the time now";
        EXPECT_EQ(textBox(kStatusX, kCommRow, isGreen, 0.5).found, d.showsLink && !d.severalSenders)
            << "the link of that moment";
        EXPECT_EQ(textBox(kStatusX, kCommRow, isRed, 0.5).found, !d.showsLink || d.severalSenders)
            << "NO LINK or 2 SRC";
        EXPECT_EQ(textBox(kTableX + 2.3, kMarkY, isYellow, 1.2).found, d.toCockpit)
            << "the mark says the cockpit display shows the replay";
        EXPECT_EQ(replay.telemetry.linkAlive.load(), d.replayLink) << "drawing a moment keeps its link";
        EXPECT_TRUE(textBox(kStatusX, kAhrsRow, isGreen, 0.5).found) << "the replayed AHRS state";
        const PixelBox mark = textBox(kTableX + 0.1, kMarkY, isYellow, 3.0);
        ASSERT_TRUE(mark.found);
        EXPECT_NEAR(mark.left, pixelOf(kTableX + 0.1, 0).x, 3.0);
        EXPECT_NEAR(mark.bottom, pixelOf(0, kMarkY).y, 2.0);
    }
    replay.toCockpit = false;
    drawPanel();
    const int pausedWidth = textBox(kTableX + 0.1, kMarkY, isYellow, 3.0).right;
    replay.mark = "REPLAY 64x";
    drawPanel();
    EXPECT_GT(textBox(kTableX + 0.1, kMarkY, isYellow, 3.0).right, pausedWidth + 20) << "the mark's own text";

    scene.showReplay(nullptr);
    drawPanel();
    EXPECT_FALSE(textBox(kTableX + 0.1, kMarkY, isYellow, 3.0).found) << "no mark on the live link";
    EXPECT_NE(timeLinePixels(), recordedLine);
    EXPECT_TRUE(textBox(kStatusX, kCommRow, isGreen, 0.5).found) << "the live link's flag waited";
    EXPECT_FALSE(textBox(kStatusX, kAhrsRow, isGreen, 0.5).found) << "the live AHRS state";
}

TEST(StatusPanelText, ValuesKeepTheirFormatsAtEveryMagnitude) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {formatCoordinate(0), "  0.00000"},
        {formatCoordinate(39.98822), " 39.98822"},
        {formatCoordinate(-75.214313), "-75.21431"},
        {formatReading(0), "     0.00"},
        {formatReading(std::numeric_limits<float>::quiet_NaN()), "      nan"},
        {formatReading(-std::numeric_limits<float>::infinity()), "     -inf"},
        {formatStateValue(-1 * 57.3), " -57.30"},
        {formatStateValue(0), "   0.00"},
        {formatLineRate(0.2), " 5.0"},
        {formatLineRate(0.1), "10.0"},
        {formatLineRate(0), "--.-"},
        {formatLineRate(-0.1), "--.-"},
        {formatLineRate(std::numeric_limits<double>::quiet_NaN()), "--.-"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, c.expected);

    // The longest texts are kept whole: every digit of the integer part and the decimals.
    struct Long {
        std::string text;
        std::size_t integerDigits;
        std::size_t decimals;
    };
    const Long longCases[] = {
        {formatCoordinate(1e300), 301, 5},
        {formatCoordinate(-DBL_MAX), 309, 5},
        {formatReading(1e38f), 38, 2},
        {formatReading(-FLT_MAX), 39, 2},
        {formatStateValue(static_cast<double>(FLT_MAX) * 57.3), 41, 2},
        {formatLineRate(1e-300), 300, 1},
    };
    for (const Long& c : longCases) {
        const std::size_t point = c.text.find('.');
        ASSERT_NE(point, std::string::npos) << c.text;
        const std::size_t sign = c.text[0] == '-' ? 1 : 0;
        EXPECT_EQ(point - sign, c.integerDigits) << c.text;
        EXPECT_EQ(c.text.size() - point - 1, c.decimals) << c.text;
        EXPECT_LT(c.text.size(), kPanelTextCapacity);
    }
}

TEST(StatusPanelText, TheTimeLineHasTheFixedCalendarLayout) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(formatPanelTime(1796736210), "Tue Dec  8 13:23:30 2026");
    EXPECT_EQ(formatPanelTime(1798794307), "Fri Jan  1 09:05:07 2027");
    EXPECT_EQ(formatPanelTime(0), "Thu Jan  1 00:00:00 1970");
    // A year the calendar cannot hold gives no text rather than garbage.
    EXPECT_EQ(formatPanelTime(std::numeric_limits<std::time_t>::max()), "");
}

// The program adopts the user's locale at start-up; the time line must not follow it.
TEST(StatusPanelText, TheTimeLineIsEnglishWhateverTheLocale) {
    setenv("TZ", "UTC", 1);
    tzset();
    for (const auto& [source, name] :
         {std::pair{"fr_FR", "fr_FR.UTF-8"}, std::pair{"de_DE", "de_DE.UTF-8"}}) {
        SCOPED_TRACE(name);
        const ScratchLocale locale(source, name);
        if (!locale.active())
            GTEST_SKIP() << "localedef cannot make " << name << " (the locales package is missing)";
        EXPECT_EQ(formatPanelTime(1796736210), "Tue Dec  8 13:23:30 2026");
        EXPECT_EQ(formatPanelTime(1812264000), "Sun Jun  6 06:40:00 2027");
    }
}

}  // namespace
