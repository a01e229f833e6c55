#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "tools/stress/GainUploadCheck.h"
#include "tools/stress/ScreenshotCompare.h"
#include "tools/stress/StormTraffic.h"
#include "tools/stress/StressOptions.h"
#include "tuning/GainUpload.h"

namespace {

std::string textOf(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The fields of a line as the station's scan sees them: runs of blanks and tabs separate them.
std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == '\n') {
            if (!field.empty()) fields.push_back(field);
            field.clear();
        } else {
            field.push_back(c);
        }
    }
    if (!field.empty()) fields.push_back(field);
    return fields;
}

TEST(StormTraffic, EachKindStaysWithinItsBounds) {
    StormTraffic traffic(7);
    std::vector<std::uint8_t> datagram;
    std::size_t shortestOversize = kLargestUdpPayload, longestOversize = 0;
    for (int round = 0; round < 400; ++round) {
        traffic.make(StormKind::valid, datagram);
        // Well-formed lines must reach the station whole and decode, or the storm would not repaint.
        ASSERT_LE(datagram.size(), kStationLineLimit);
        TelemetryState state;
        TelemetryDecoder decoder(state, [] { return 0; });
        decoder.decode(reinterpret_cast<const char*>(datagram.data()), datagram.size());
        EXPECT_NEAR(state.lat.load(), 39.987, 0.01) << textOf(datagram);
        EXPECT_NEAR(state.lon.load(), -75.212, 0.01) << textOf(datagram);
        EXPECT_TRUE(std::isfinite(state.alt.load()));
        EXPECT_GE(state.ahrsStatus.load(), 0);
        EXPECT_LE(state.ahrsStatus.load(), 4);

        traffic.make(StormKind::truncated, datagram);
        EXPECT_LT(datagram.size(), kStationLineLimit);

        traffic.make(StormKind::oversize, datagram);
        ASSERT_GT(datagram.size(), kStationLineLimit);
        ASSERT_LE(datagram.size(), kLargestUdpPayload);
        shortestOversize = std::min(shortestOversize, datagram.size());
        longestOversize = std::max(longestOversize, datagram.size());

        traffic.make(StormKind::noise, datagram);
        EXPECT_GE(datagram.size(), 1u);
        EXPECT_LE(datagram.size(), kStationLineLimit);

        traffic.make(StormKind::hostile, datagram);
        EXPECT_LE(datagram.size(), kStationLineLimit);
    }
    // Both edges of the refused range come up.
    EXPECT_EQ(shortestOversize, kStationLineLimit + 1);
    EXPECT_EQ(longestOversize, kLargestUdpPayload);
}

TEST(StormTraffic, HostileLinesCarryEveryHostileTokenAndNoiseEveryByte) {
    StormTraffic traffic(11);
    std::vector<std::uint8_t> datagram;
    std::set<std::string> seenFields;
    std::size_t longestField = 0;
    std::array<bool, 256> seenBytes{};
    for (int round = 0; round < 3000; ++round) {
        traffic.make(StormKind::hostile, datagram);
        for (const std::string& field : fieldsOf(textOf(datagram))) {
            seenFields.insert(field);
            longestField = std::max(longestField, field.size());
        }
        traffic.make(StormKind::noise, datagram);
        for (std::uint8_t byte : datagram) seenBytes[byte] = true;
    }
    for (const std::string& token : hostileFieldTokens()) {
        if (token.empty()) continue;  // shows only as a doubled separator
        EXPECT_TRUE(seenFields.count(token) == 1) << "never sent: " << token;
    }
    // Numbers far longer than the 19 characters a coordinate token may hold.
    EXPECT_GT(longestField, 100u);
    EXPECT_TRUE(std::all_of(seenBytes.begin(), seenBytes.end(), [](bool seen) { return seen; }));
}

TEST(StormTraffic, TheMixHoldsEveryKindAndRepeatsForASeed) {
    StormTraffic first(3), second(3), other(4);
    std::vector<std::uint8_t> a, b, c;
    std::array<int, kStormKindCount> counts{};
    bool otherDiffers = false;
    for (int round = 0; round < 2000; ++round) {
        const StormKind kind = first.next(a);
        EXPECT_EQ(second.next(b), kind);
        EXPECT_EQ(a, b);
        other.next(c);
        otherDiffers = otherDiffers || a != c;
        ++counts[static_cast<std::size_t>(kind)];
    }
    EXPECT_TRUE(otherDiffers);
    for (std::size_t k = 0; k < kStormKindCount; ++k) {
        EXPECT_GT(counts[k], 100) << stormKindName(static_cast<StormKind>(k));
    }
}

class GainFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("stress-gains-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove(path_); }
    void write(const std::string& text) { std::ofstream(path_) << text; }

    std::filesystem::path path_;
};

TEST_F(GainFile, ExpectedUploadMatchesTheKnownAnswerAndTheStationsBuilder) {
    // The defaults of mode 0: 30 characters, zeros, and the checksum 0x80.
    const auto defaults = expectedGainUpload(0, GainRow{0.256, 0.0, 0.011});
    ASSERT_TRUE(defaults);
    const std::string text = "G 0 0.256000 0.000000 0.011000";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(defaults->data())), text);
    EXPECT_TRUE(std::all_of(defaults->begin() + static_cast<std::ptrdiff_t>(text.size()), defaults->end() - 1,
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ((*defaults)[179], 0x80);

    // The file's numbers are read as floats, as the station reads them.
    write(" 0.3125  0.0625  0.0170 \n 9.0 9.0 9.0 \n");
    std::string error;
    const auto row = readFirstGainRow(path_.string(), error);
    ASSERT_TRUE(row) << error;
    EXPECT_EQ(row->derivative, static_cast<double>(0.017f));

    // Built apart, the two must agree; a fault in either shows here.
    for (const GainRow gains : {*row, GainRow{1, 0.5, 0}, GainRow{99.9999, 1e-7, 123456.5}}) {
        for (int mode = 0; mode < 5; ++mode) {
            const auto expected = expectedGainUpload(mode, gains);
            const auto station =
                buildGainUploadPacket(mode, gains.proportional, gains.integral, gains.derivative);
            ASSERT_TRUE(expected && station);
            EXPECT_EQ(firstDifference(*station, *expected), std::nullopt) << mode;
        }
    }
    // A gain whose text cannot fit is refused, not cut.
    EXPECT_FALSE(expectedGainUpload(0, GainRow{1e170, 1e170, 1}));
}

TEST_F(GainFile, UnreadableFilesAreRefusedWithAReason) {
    std::string error;
    EXPECT_FALSE(readFirstGainRow(path_.string(), error));
    EXPECT_NE(error.find(path_.string()), std::string::npos);
    write("0.1 0.2 zero\n");
    error.clear();
    EXPECT_FALSE(readFirstGainRow(path_.string(), error));
    EXPECT_FALSE(error.empty());
}

TEST(GainUploadCheck, FirstDifferenceFindsTheByte) {
    const std::vector<std::uint8_t> base(180, 7);
    std::vector<std::uint8_t> changed = base;
    EXPECT_EQ(firstDifference(base, base), std::nullopt);
    changed[179] = 8;
    EXPECT_EQ(firstDifference(changed, base), 179u);
    changed[0] = 0;
    EXPECT_EQ(firstDifference(changed, base), 0u);
    // A shorter datagram differs where it ends, even when all it holds agrees.
    const std::vector<std::uint8_t> cut(base.begin(), base.begin() + 100);
    EXPECT_EQ(firstDifference(cut, base), 100u);
    EXPECT_EQ(firstDifference(base, cut), 100u);
}

TEST(ScreenshotCompare, ScenePlacesMapOntoThePicture) {
    const QSize size(1280, 1005);
    EXPECT_EQ(scenePixels({-kSceneHalfWidth, -kSceneHalfHeight, kSceneHalfWidth, kSceneHalfHeight}, size),
              QRect(QPoint(0, 0), size));
    // The upper-right quarter; +y is up in the scene and down in the picture.
    const QRect quarter = scenePixels({0, 0, kSceneHalfWidth, kSceneHalfHeight}, size);
    EXPECT_EQ(quarter.left(), 640);
    EXPECT_EQ(quarter.top(), 0);
    EXPECT_NEAR(quarter.bottom(), 502, 1);
    // Places beyond the scene are clipped to the picture.
    EXPECT_EQ(scenePixels({4, -10, 10, -3}, size).bottom(), size.height() - 1);
}

TEST(ScreenshotCompare, OnlyPixelsOutsideTheMasksCount) {
    QImage first(200, 100, QImage::Format_RGB32);
    first.fill(qRgb(10, 20, 30));
    first.setPixel(5, 5, qRgb(200, 0, 0));
    QImage second = first;
    const std::array<SceneRect, 1> mask{{{0, 0, kSceneHalfWidth, kSceneHalfHeight}}};  // upper-right quarter

    ScreenComparison same = compareScreens(first, second, mask);
    EXPECT_TRUE(same.sameSize);
    EXPECT_EQ(same.differing, 0);
    EXPECT_GT(same.masked, 0);
    EXPECT_FALSE(same.bothBlank);

    second.setPixel(150, 10, qRgb(0, 0, 0));  // inside the mask
    EXPECT_EQ(compareScreens(first, second, mask).differing, 0);
    second.setPixel(20, 80, qRgb(10, 20, 31));  // outside, one step of blue
    second.setPixel(30, 90, qRgb(0, 0, 0));
    const ScreenComparison changed = compareScreens(first, second, mask);
    EXPECT_EQ(changed.differing, 2);
    EXPECT_EQ(changed.firstDifference, QPoint(20, 80));
    EXPECT_EQ(compareScreens(first, second, {}).differing, 3);

    EXPECT_FALSE(compareScreens(first, first.scaled(100, 100), mask).sameSize);
    QImage blank(200, 100, QImage::Format_RGB32);
    blank.fill(Qt::black);
    EXPECT_TRUE(compareScreens(blank, blank, mask).bothBlank);
}

TEST(StressOptions, CommandLinesAreCheckedWhole) {
    struct Case {
        std::vector<const char*> arguments;
        bool accepted;
    };
    const Case cases[] = {
        {{"orvane-stress", "send"}, true},
        {{"orvane-stress", "send", "--storm-seconds", "0", "--seed", "42", "--port", "9001"}, true},
        {{"orvane-stress", "compare", "a.png", "b.png", "--difference", "d.png"}, true},
        {{"orvane-stress"}, false},
        {{"orvane-stress", "flood"}, false},
        {{"orvane-stress", "send", "--storm-seconds"}, false},
        {{"orvane-stress", "send", "--storm-seconds", "-1"}, false},
        {{"orvane-stress", "send", "--storm-seconds", "nan"}, false},
        {{"orvane-stress", "send", "--storm-seconds", "5s"}, false},
        {{"orvane-stress", "send", "--port", "70000"}, false},
        {{"orvane-stress", "send", "--host", "10.0.0.1"}, false},
        {{"orvane-stress", "compare", "a.png"}, false},
        {{"orvane-stress", "compare", "a.png", "b.png", "--difference"}, false},
    };
    for (const Case& c : cases) {
        const StressCommand command =
            parseStressCommand(static_cast<int>(c.arguments.size()), c.arguments.data());
        const bool accepted = command.error.empty() && (command.send || command.compare);
        EXPECT_EQ(accepted, c.accepted) << c.arguments.size() << " arguments, " << c.arguments.back();
    }
    const char* const send[] = {"orvane-stress",      "send", "--storm-seconds", "2.5",
                                "--expect-gain-file", "g.txt"};
    const StressCommand parsed = parseStressCommand(6, send);
    ASSERT_TRUE(parsed.send);
    EXPECT_EQ(parsed.send->stormSeconds, 2.5);
    EXPECT_EQ(parsed.send->expectedGainFile, "g.txt");
    EXPECT_EQ(parsed.send->port, 9001);
}

}  // namespace
