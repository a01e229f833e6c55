#include "net/UplinkDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace {

// A datagram carrying `text` with the checksum byte given explicitly, so the known answers are
// checked against the decoder rather than computed by the test the same way.
std::vector<std::uint8_t> datagramWith(const std::string& text, std::uint8_t checksum) {
    std::vector<std::uint8_t> bytes(180, 0);
    std::copy(text.begin(), text.end(), bytes.begin());
    bytes[179] = checksum;
    return bytes;
}

std::uint8_t sumOf(const std::vector<std::uint8_t>& bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.begin() + 179, 0u) & 0xFF);
}

// `text` framed with a correct checksum.
std::vector<std::uint8_t> framed(const std::string& text) {
    auto bytes = datagramWith(text, 0);
    bytes[179] = sumOf(bytes);
    return bytes;
}

std::string rejectionOf(const std::vector<std::uint8_t>& bytes) {
    const Uplink uplink = decodeUplink(bytes);
    const auto* rejected = std::get_if<RejectedUplink>(&uplink);
    return rejected != nullptr ? rejected->reason : std::string("(accepted)");
}

TEST(UplinkDecoder, DecodesTheGroundStationsKnownAnswers) {
    const Uplink gains = decodeUplink(datagramWith("G 0 0.256000 0.000000 0.011000", 0x80));
    ASSERT_TRUE(std::holds_alternative<GainUplink>(gains))
        << rejectionOf(datagramWith("G 0 0.256000 0.000000 0.011000", 0x80));
    EXPECT_EQ(std::get<GainUplink>(gains).mode, 0);
    EXPECT_DOUBLE_EQ(std::get<GainUplink>(gains).proportional, 0.256);
    EXPECT_DOUBLE_EQ(std::get<GainUplink>(gains).integral, 0.0);
    EXPECT_DOUBLE_EQ(std::get<GainUplink>(gains).derivative, 0.011);

    const Uplink empty = decodeUplink(datagramWith("W 0", 167));
    ASSERT_TRUE(std::holds_alternative<WaypointUplink>(empty));
    EXPECT_TRUE(std::get<WaypointUplink>(empty).waypoints.empty());

    const std::string twoPoints = "W 2 39.987100 -75.212300  39.986550 -75.210000 ";
    ASSERT_EQ(twoPoints.size(), 47u);
    const Uplink route = decodeUplink(datagramWith(twoPoints, 240));
    ASSERT_TRUE(std::holds_alternative<WaypointUplink>(route));
    const auto& points = std::get<WaypointUplink>(route).waypoints;
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[0].lat, 39.9871);
    EXPECT_DOUBLE_EQ(points[0].lon, -75.2123);
    EXPECT_DOUBLE_EQ(points[1].lat, 39.98655);
    EXPECT_DOUBLE_EQ(points[1].lon, -75.21);
}

TEST(UplinkDecoder, AcceptsEightWaypointsWhoseTextMeetsTheChecksum) {
    // Eight points fill bytes 0..178 exactly: the checksum stands where the terminator would.
    std::string text = "W 8";
    for (int i = 0; i < 8; ++i) text += " 39.987000 -75.212000 ";
    ASSERT_EQ(text.size(), 179u);
    const Uplink route = decodeUplink(framed(text));
    ASSERT_TRUE(std::holds_alternative<WaypointUplink>(route)) << rejectionOf(framed(text));
    EXPECT_EQ(std::get<WaypointUplink>(route).waypoints.size(), 8u);
}

TEST(UplinkDecoder, RejectsWhatIsNotAWellFormedUpload) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    auto corruptChecksum = framed("G 0 0.256000 0.000000 0.011000");
    corruptChecksum[179] ^= 0x01;
    auto paddingNotZero = framed("W 0");
    paddingNotZero[100] = 'x';
    paddingNotZero[179] = sumOf(paddingNotZero);
    auto controlCharacter = framed("G 1\t0.1 0.2 0.3");
    auto highByte = framed("W 1 39.9 -75.2");
    highByte[4] = 0xB0;
    highByte[179] = sumOf(highByte);
    auto tooLong = framed("W 0");
    tooLong.push_back(0);
    auto tooShort = framed("W 0");
    tooShort.pop_back();

    const std::vector<Case> cases = {
        {"empty datagram", {}},
        {"179 bytes", tooShort},
        {"181 bytes", tooLong},
        {"checksum off by one bit", corruptChecksum},
        {"all zero text", framed("")},
        {"unknown letter", framed("X 1 2 3")},
        {"letter glued to count", framed("W0")},
        {"gain mode 5", framed("G 5 0.1 0.2 0.3")},
        {"gain mode -1", framed("G -1 0.1 0.2 0.3")},
        {"gain missing", framed("G 0 0.1 0.2")},
        {"gain not a number", framed("G 0 0.1 abc 0.3")},
        {"gain infinite", framed("G 0 0.1 inf 0.3")},
        {"gain trailing text", framed("G 0 0.1 0.2 0.3 0.4")},
        {"count 9", framed("W 9")},
        {"count 10", framed("W 10")},
        {"negative count", framed("W -1")},
        {"count not a number", framed("W two")},
        {"fewer points than counted", framed("W 3 39.9 -75.2 39.8 -75.1")},
        {"odd number of values", framed("W 1 39.9")},
        {"more points than counted", framed("W 1 39.9 -75.2 39.8 -75.1")},
        {"latitude beyond the pole", framed("W 1 95.000000 -75.2")},
        {"longitude beyond 180", framed("W 1 39.9 -181.0")},
        {"nan coordinate", framed("W 1 nan -75.2")},
        {"non-zero byte after the text", paddingNotZero},
        {"control character in text", controlCharacter},
        {"byte above ASCII", highByte},
    };
    for (const Case& c : cases) {
        EXPECT_NE(rejectionOf(c.bytes), "(accepted)") << c.name;
    }
}

TEST(UplinkDecoder, ReasonsNameTheFault) {
    EXPECT_EQ(rejectionOf(std::vector<std::uint8_t>(12, 0)), "wrong length (expected 180 bytes)");
    auto wrongSum = datagramWith("W 0", 0x00);
    EXPECT_EQ(rejectionOf(wrongSum), "checksum byte is 0x00 but the bytes sum to 0xA7");
    EXPECT_EQ(rejectionOf(framed("W 9")), "W: count 9 out of range 0..8");
    EXPECT_EQ(rejectOversizedUplink(4000).length, 4000u);
}

}  // namespace
