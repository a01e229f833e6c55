#include "net/ScanfNumbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/net/NumberTextGenerator.h"

namespace {

// The bytes of `text` in a buffer of exactly their size, so that a sanitizer build catches any
// read past the end.
std::vector<char> exactBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

bool sameFloat(float a, float b) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(ScanfNumbers, FloatFieldAgreesWithTheCLibraryScanner) {
    NumberTextGenerator generate(20240611);
    for (int i = 0; i < 200000; ++i) {
        const std::string text = (generate.below(4) == 0 ? generate.separator() : "") + generate.floatText() +
                                 (generate.below(4) == 0 ? generate.separator() + "7" : "");
        float expected = -123.0f;
        int expectedUsed = -1;
        const bool expectedOk = std::sscanf(text.c_str(), "%f%n", &expected, &expectedUsed) == 1;

        const std::vector<char> bytes = exactBytes(text);
        const char* next = bytes.data();
        float value = -123.0f;
        const bool ok = scanFloatField(next, bytes.data() + bytes.size(), value);

        ASSERT_EQ(ok, expectedOk) << '"' << text << '"';
        if (!ok) {
            EXPECT_EQ(next, bytes.data()) << '"' << text << '"';
            EXPECT_EQ(value, -123.0f) << '"' << text << '"';
            continue;
        }
        ASSERT_EQ(next - bytes.data(), expectedUsed) << '"' << text << '"';
        ASSERT_TRUE(sameFloat(value, expected)) << '"' << text << "\": " << value << " expected " << expected;
    }
}

TEST(ScanfNumbers, IntFieldKeepsTheLow16BitsLikeTheCLibraryScanner) {
    NumberTextGenerator generate(7);
    for (int i = 0; i < 50000; ++i) {
        const std::string text = (generate.below(3) == 0 ? generate.separator() : "") + generate.intText();
        int expected = 0;
        int expectedUsed = -1;
        const bool expectedOk = std::sscanf(text.c_str(), "%d%n", &expected, &expectedUsed) == 1;

        const std::vector<char> bytes = exactBytes(text);
        const char* next = bytes.data();
        std::int16_t value = 99;
        const bool ok = scanInt16Field(next, bytes.data() + bytes.size(), value);

        ASSERT_EQ(ok, expectedOk) << '"' << text << '"';
        if (!ok) continue;
        EXPECT_EQ(next - bytes.data(), expectedUsed) << '"' << text << '"';
        EXPECT_EQ(value, static_cast<std::int16_t>(expected)) << '"' << text << '"';
    }
    // Longer than any machine integer: still the low 16 bits of the number itself
    // (10^20 = 0x56BC75E2D63100000, -10^20 ends in 0x0000 as well; 2^64 + 5 ends in 0x0005).
    const struct {
        const char* text;
        std::int16_t value;
    } longCases[] = {
        {"100000000000000000000", 0}, {"-100000000000000000000", 0}, {"18446744073709551621", 5}};
    for (const auto& c : longCases) {
        const std::vector<char> bytes = exactBytes(c.text);
        const char* next = bytes.data();
        std::int16_t value = 99;
        ASSERT_TRUE(scanInt16Field(next, bytes.data() + bytes.size(), value));
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(ScanfNumbers, LeadingDecimalTakesOnlyPlainFiniteNumbers) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"40.123456", 40.123456},
        {"-75.654321", -75.654321},
        {"+3", 3.0},
        {"-.5", -0.5},
        {"12abc", 12.0},
        {"1e5", 1e5},
        {"1.5e", 1.5},
        {"2e-3x", 2e-3},
        {"0x10", 0.0},
        {"abc", 0.0},
        {"", 0.0},
        {".", 0.0},
        {"-", 0.0},
        {"nan", 0.0},
        {"-inf", 0.0},
        {"infinity", 0.0},
        {"1e999", 0.0},
        {"-1e999", 0.0},
        {"1e-999", 0.0},
        {"51.47783212345678", 51.47783212345678},
    };
    for (const Case& c : cases) {
        const std::vector<char> bytes = exactBytes(c.text);
        EXPECT_EQ(leadingDecimal(bytes.data(), bytes.size()), c.value) << c.text;
    }
}

}  // namespace
