#include "net/TelemetryDecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/net/NumberTextGenerator.h"

namespace {

using FloatField = std::atomic<float> TelemetryState::*;
using StatusField = std::atomic<std::int16_t> TelemetryState::*;

// The float fields in the order the line carries them (fields 1-14 and 17).
const std::array<FloatField, 15> kLineFloats = {
    &TelemetryState::p,    &TelemetryState::q,     &TelemetryState::r,     &TelemetryState::ax,
    &TelemetryState::ay,   &TelemetryState::az,    &TelemetryState::phi,   &TelemetryState::theta,
    &TelemetryState::psi,  &TelemetryState::aux10, &TelemetryState::aux11, &TelemetryState::aux12,
    &TelemetryState::palt, &TelemetryState::cas,   &TelemetryState::alt};
const std::array<StatusField, 3> kLineStatuses = {&TelemetryState::gpsStatus, &TelemetryState::ahrsStatus,
                                                  &TelemetryState::navStatus};

constexpr float kKeptFloat = 777.0f;
constexpr std::int16_t kKeptStatus = 77;
constexpr double kKeptCoordinate = 7.5;

// Every value field set to a marker, so that a field the line must not touch is seen unchanged.
void markAll(TelemetryState& state) {
    for (FloatField field : kLineFloats) (state.*field).store(kKeptFloat);
    for (StatusField field : kLineStatuses) (state.*field).store(kKeptStatus);
    state.lat.store(kKeptCoordinate);
    state.lon.store(kKeptCoordinate);
}

void decodeText(TelemetryDecoder& decoder, const std::string& text) {
    const std::vector<char> bytes(text.begin(), text.end());  // exactly the line, no terminator
    decoder.decode(bytes.data(), bytes.size());
}

struct DecoderFixture : ::testing::Test {
    TelemetryState state;
    std::int32_t now = 0;
    TelemetryDecoder decoder{state, [this] { return now; }};
};

using TelemetryDecoderTest = DecoderFixture;

TEST_F(TelemetryDecoderTest, CountsTheFieldsThatConverted) {
    struct Case {
        const char* line;
        int fields;
    };
    const Case cases[] = {
        {"0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2 40.1 -75.6 130.0 1 2 1", 20},
        {"0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2", 14},
        {"0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2 40.1 -75.6", 16},
        {"0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2 40.1 -75.6 130.0 1 x 1", 18},
        {"1 2 x", 2},
        {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decoder.decode(c.line, std::strlen(c.line)), c.fields) << c.line;
    }
}

TEST_F(TelemetryDecoderTest, TwentyFieldLineFillsTheRecordInItsOwnOrder) {
    decodeText(
        decoder,
        "0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 1.57 0 0 0 120.5 18.2 40.123456 -75.654321 130.0 1 2 1\r\n");
    EXPECT_EQ(state.p, 0.01f);
    EXPECT_EQ(state.q, -0.02f);
    EXPECT_EQ(state.r, 0.03f);
    EXPECT_EQ(state.ax, 0.1f);
    EXPECT_EQ(state.ay, 0.2f);
    EXPECT_EQ(state.az, -9.8f);
    EXPECT_EQ(state.phi, 0.05f);
    EXPECT_EQ(state.theta, -0.1f);
    EXPECT_EQ(state.psi, 1.57f);
    EXPECT_EQ(state.aux10, 0.0f);
    EXPECT_EQ(state.palt, 120.5f);
    EXPECT_EQ(state.cas, 18.2f);
    EXPECT_EQ(state.lat, 40.123456);
    EXPECT_EQ(state.lon, -75.654321);
    EXPECT_EQ(state.alt, 130.0f);
    EXPECT_EQ(state.gpsStatus, 1);
    EXPECT_EQ(state.ahrsStatus, 2);
    EXPECT_EQ(state.navStatus, 1);
    EXPECT_EQ(state.newData, 1);
    EXPECT_EQ(state.linkAlive, 1);

    // aux10..aux12 come between psi and palt in the line.
    decodeText(decoder, "0 0 0 0 0 0 0 0 0 10.5 11.5 12.5 0 0 0 0 0 0 0 0");
    EXPECT_EQ(state.aux10, 10.5f);
    EXPECT_EQ(state.aux11, 11.5f);
    EXPECT_EQ(state.aux12, 12.5f);
}

TEST_F(TelemetryDecoderTest, StatusFieldsKeepTheirLow16Bits) {
    struct Case {
        const char* text;
        std::int16_t value;
    };
    const Case cases[] = {{"65537", 1},      {"65535", -1}, {"-1", -1},
                          {"32768", -32768}, {"-65536", 0}, {"4294967297", 1}};
    for (const Case& c : cases) {
        for (std::size_t position = 0; position < kLineStatuses.size(); ++position) {
            markAll(state);
            std::string line = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 1 0";
            for (std::size_t i = 0; i < kLineStatuses.size(); ++i)
                line += i == position ? std::string(" ") + c.text : " 5";
            decodeText(decoder, line);
            for (std::size_t i = 0; i < kLineStatuses.size(); ++i) {
                EXPECT_EQ(state.*kLineStatuses[i], i == position ? c.value : 5)
                    << c.text << " at " << position;
            }
        }
    }
}

TEST_F(TelemetryDecoderTest, ScanStopsAtTheFirstFieldThatDoesNotConvert) {
    struct Case {
        const char* line;
        std::size_t floatsUpdated;  // leading float fields in line order that take new values
        double lat;
    };
    const Case cases[] = {
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14", 14, kKeptCoordinate},  // fourteen numbers
        {"1 2 x 4 5 6 7 8 9 10 11 12 13 14 15 16 17 1 1 1", 2, kKeptCoordinate},
        {"", 0, kKeptCoordinate},
        {"   \t\n", 0, kKeptCoordinate},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 40.5", 14, 40.5},  // the line ends before lon
    };
    for (const Case& c : cases) {
        markAll(state);
        state.newData = 0;
        state.linkAlive = 0;
        decodeText(decoder, c.line);
        for (std::size_t i = 0; i < kLineFloats.size(); ++i) {
            const float expected = i < c.floatsUpdated ? static_cast<float>(i + 1) : kKeptFloat;
            EXPECT_EQ(state.*kLineFloats[i], expected) << '"' << c.line << "\" field " << i + 1;
        }
        for (StatusField field : kLineStatuses) EXPECT_EQ(state.*field, kKeptStatus) << c.line;
        EXPECT_EQ(state.lat, c.lat) << c.line;
        EXPECT_EQ(state.lon, kKeptCoordinate) << c.line;
        // A partial line still counts as a line.
        EXPECT_EQ(state.newData, 1) << c.line;
        EXPECT_EQ(state.linkAlive, 1) << c.line;
    }
    EXPECT_EQ(decoder.rateLineCount(), 5);
}

TEST_F(TelemetryDecoderTest, LineEndsAtItsLengthOrAtANul) {
    markAll(state);
    const std::string text = "1.5e3 2 3";
    decoder.decode(text.data(), 3);  // "1.5": the exponent beyond the length is not part of it
    EXPECT_EQ(state.p, 1.5f);
    EXPECT_EQ(state.q, kKeptFloat);

    markAll(state);
    const char withNul[] = {'1', ' ', '2', '\0', ' ', '3'};
    decoder.decode(withNul, sizeof withNul);
    EXPECT_EQ(state.p, 1.0f);
    EXPECT_EQ(state.q, 2.0f);
    EXPECT_EQ(state.r, kKeptFloat);
}

TEST_F(TelemetryDecoderTest, CoordinateTokensKeepNineteenCharactersAndTheLineStaysAligned) {
    struct Case {
        const char* lat;
        const char* lon;
        double expectedLat;
        double expectedLon;
    };
    const Case cases[] = {
        {"51.123456789012345", "-0.5", 51.123456789012345, -0.5},
        // 30 digits: the first 19 are the number, and the rest does not spill into lon.
        {"123456789012345678901234567890", "2", 1234567890123456789.0, 2.0},
        {"1.23456789012345678999", "3", 1.23456789012345678, 3.0},
        {"12.5deg", "0x1A", 12.5, 0.0},
    };
    for (const Case& c : cases) {
        markAll(state);
        decodeText(decoder,
                   std::string("0 0 0 0 0 0 0 0 0 0 0 0 0 0 ") + c.lat + " " + c.lon + " 130.0 1 2 3");
        EXPECT_EQ(state.lat, c.expectedLat) << c.lat;
        EXPECT_EQ(state.lon, c.expectedLon) << c.lon;
        EXPECT_EQ(state.alt, 130.0f) << c.lat;
        EXPECT_EQ(state.gpsStatus, 1);
        EXPECT_EQ(state.ahrsStatus, 2);
        EXPECT_EQ(state.navStatus, 3);
    }
}

TEST_F(TelemetryDecoderTest, RateIsMeasuredOnEveryEleventhLine) {
    const std::string line = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    EXPECT_FALSE(state.lineHeard);
    for (int i = 1; i <= 10; ++i) {
        now = i * 100;
        decodeText(decoder, line);
        EXPECT_EQ(state.packetInterval, 0.0) << "line " << i;
        EXPECT_TRUE(state.lineHeard);
    }
    now = 5500;
    decodeText(decoder, line);
    EXPECT_DOUBLE_EQ(state.packetInterval, 0.5);
    EXPECT_EQ(state.lastLineClock, 5500);
    for (int i = 12; i <= 21; ++i) {
        now = 5500 + (i - 11) * 37;
        decodeText(decoder, line);
        EXPECT_DOUBLE_EQ(state.packetInterval, 0.5) << "line " << i;
    }
    now = 5500 + 11 * 100;
    decodeText(decoder, line);
    EXPECT_DOUBLE_EQ(state.packetInterval, 0.1);
    EXPECT_EQ(decoder.rateLineCount(), 0);
    EXPECT_EQ(decoder.rateLastClock(), 6600);
}

TEST_F(TelemetryDecoderTest, RateSurvivesTheClockWrapping) {
    const std::string line = "0";
    now = std::numeric_limits<std::int32_t>::max() - 500;
    for (int i = 0; i < 11; ++i) decodeText(decoder, line);  // first measurement at that clock
    now = std::numeric_limits<std::int32_t>::min() + 599;    // 1100 ms later, past the wrap
    for (int i = 0; i < 11; ++i) decodeText(decoder, line);
    EXPECT_DOUBLE_EQ(state.packetInterval, 0.1);
}

// Reads the line with the C library into line-ordered values, as the decoder must.
struct ReferenceScan {
    std::array<float, 15> floats{};
    std::array<int, 3> statuses{};
    int converted = 0;  // fields converted, in line order
};

ReferenceScan referenceScan(const std::string& line) {
    ReferenceScan scan;
    auto& f = scan.floats;
    char lat[200];
    char lon[200];
    const int n =
        std::sscanf(line.c_str(), "%f %f %f %f %f %f %f %f %f %f %f %f %f %f %199s %199s %f %d %d %d", &f[0],
                    &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &f[12],
                    &f[13], lat, lon, &f[14], &scan.statuses[0], &scan.statuses[1], &scan.statuses[2]);
    scan.converted = n < 0 ? 0 : n;
    return scan;
}

TEST_F(TelemetryDecoderTest, AgreesWithTheCLibraryScannerOnGeneratedLines) {
    NumberTextGenerator generate(99);
    for (int i = 0; i < 20000; ++i) {
        std::string line = generate.below(3) == 0 ? generate.separator() : "";
        // Mostly well-formed fields, so that scans often reach the end.
        const bool wellFormed = generate.below(2) == 0;
        for (int field = 1; field <= 20; ++field) {
            if (field > 1) line += generate.separator();
            if (field >= 18) {
                line += generate.intText();
            } else if (field == 15 || field == 16) {
                line += generate.floatText().substr(0, 12);
            } else {
                line += wellFormed ? std::to_string(generate.below(100000) - 50000) + "." +
                                         std::to_string(generate.below(1000))
                                   : generate.floatText();
            }
            if (generate.below(60) == 0) break;  // a short line
        }
        const ReferenceScan expected = referenceScan(line);
        markAll(state);
        decodeText(decoder, line);

        const int floatPositions[15] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17};
        for (std::size_t k = 0; k < kLineFloats.size(); ++k) {
            const float actual = state.*kLineFloats[k];
            if (floatPositions[k] > expected.converted) {
                ASSERT_EQ(actual, kKeptFloat) << '"' << line << "\" field " << floatPositions[k];
            } else if (std::isnan(expected.floats[k])) {
                ASSERT_TRUE(std::isnan(actual)) << '"' << line << "\" field " << floatPositions[k];
            } else {
                ASSERT_EQ(std::memcmp(&actual, &expected.floats[k], sizeof actual), 0)
                    << '"' << line << "\" field " << floatPositions[k] << ": " << actual << " expected "
                    << expected.floats[k];
            }
        }
        for (std::size_t k = 0; k < kLineStatuses.size(); ++k) {
            const std::int16_t wanted = 18 + static_cast<int>(k) > expected.converted
                                            ? kKeptStatus
                                            : static_cast<std::int16_t>(expected.statuses[k]);
            ASSERT_EQ(state.*kLineStatuses[k], wanted) << '"' << line << "\" field " << 18 + k;
        }
        if (expected.converted < 15) {
            ASSERT_EQ(state.lat, kKeptCoordinate) << line;
        }
        if (expected.converted < 16) {
            ASSERT_EQ(state.lon, kKeptCoordinate) << line;
        }
    }
}

}  // namespace
