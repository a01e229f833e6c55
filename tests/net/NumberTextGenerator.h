#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

// Random texts for the fields of a telemetry line: well-formed numbers of every shape the C
// library's "%f" and "%d" take, numbers at the edges of the float range and of rounding, and
// malformed or partial ones. No run of digits that a "%d" could read is longer than 18, so that the
// C library's 64-bit saturation never comes into play.
class NumberTextGenerator {
public:
    explicit NumberTextGenerator(std::uint32_t seed) : random_(seed) {}

    std::string floatText() {
        switch (below(9)) {
            case 0:
            case 1:
                return decimal();
            case 2:
                return shortestFloat();
            case 3:
                return nearHalfway();
            case 4:
                return hexadecimal();
            case 5:
                return pick(kSpecial);
            case 6:
                return pick(kExtreme);
            case 7:
                return junk();
            default:
                return intText();
        }
    }

    std::string intText() {
        static const char* const kEdges[] = {"65535",
                                             "65536",
                                             "65537",
                                             "-1",
                                             "-32768",
                                             "32767",
                                             "32768",
                                             "-65537",
                                             "0",
                                             "+7",
                                             "-0",
                                             "4294967297",
                                             "+",
                                             "-",
                                             "1.5",
                                             "0x10",
                                             "999999999999999999"};
        if (below(3) == 0) return pick(kEdges);
        return sign() + digits(1 + below(18));
    }

    // One to three white-space characters.
    std::string separator() {
        static const char kSpaces[] = {' ', ' ', ' ', '\t', '\n', '\r', '\v', '\f'};
        std::string text;
        for (int i = 0, n = 1 + below(3); i < n; ++i) text += kSpaces[below(sizeof kSpaces)];
        return text;
    }

    int below(std::size_t bound) {
        return static_cast<int>(std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_));
    }

private:
    template <std::size_t N>
    std::string pick(const char* const (&list)[N]) {
        return list[below(N)];
    }

    std::string sign() {
        switch (below(4)) {
            case 0:
                return "-";
            case 1:
                return "+";
            default:
                return "";
        }
    }

    std::string digits(int count, const char* alphabet = "0123456789") {
        const std::size_t size = std::strlen(alphabet);
        std::string text;
        for (int i = 0; i < count; ++i) text += alphabet[below(size)];
        return text;
    }

    std::string exponent(char mark) {
        static const char* const kLarge[] = {"38", "39", "45", "46", "400", "99999", "99999999999999999999"};
        std::string text(1, below(2) ? mark : static_cast<char>(mark - 'a' + 'A'));
        text += sign();
        text += below(5) == 0 ? std::string(pick(kLarge)) : digits(below(4));
        return text;
    }

    std::string decimal() {
        std::string text = sign() + digits(below(9));
        if (below(2)) text += "." + digits(below(11));
        if (below(3) == 0) text += exponent('e');
        return text;
    }

    // The shortest text that reads back as a random finite float.
    std::string shortestFloat() {
        float value = 0;
        do {
            const std::uint32_t bits = static_cast<std::uint32_t>(random_());
            std::memcpy(&value, &bits, sizeof value);
        } while (!std::isfinite(value));
        char text[64];
        std::snprintf(text, sizeof text, below(2) ? "%.9g" : "%.8g", static_cast<double>(value));
        return text;
    }

    // The point halfway between two neighbouring floats, printed to a random number of digits: the
    // hardest case for correct rounding.
    std::string nearHalfway() {
        const float low = std::ldexp(1.0f + static_cast<float>(below(1 << 23)) / 8388608.0f, below(60) - 30);
        const float high = std::nextafter(low, 2.0f * low);
        const double middle = (static_cast<double>(low) + static_cast<double>(high)) / 2.0;
        char text[128];
        std::snprintf(text, sizeof text, "%.*e", 8 + below(40), middle);
        return text;
    }

    std::string hexadecimal() {
        std::string text = sign() + (below(2) ? "0x" : "0X") + digits(below(7), "0123456789abcdefABCDEF");
        if (below(2)) text += "." + digits(below(7), "0123456789abcdef");
        if (below(2)) text += exponent('p');
        return text;
    }

    std::string junk() { return digits(1 + below(8), "0123456789.eEpPxX+-abinf"); }

    static constexpr const char* kSpecial[] = {
        "inf",  "INF", "Infinity", "infinity", "infin",     "in",    "i",  "nan", "NaN",    "nan(1)",
        "na",   "n",   "-inf",     "+nan",     "infinityx", "infx",  "-",  "+",   ".",      "-.",
        "+.e1", "e5",  "0x",       "0xp1",     "0x.",       "0x.p1", "1e", "1e+", "100ergs"};
    static constexpr const char* kExtreme[] = {
        "1e38",           "3.4028235e38",
        "3.40282357e38",  "3.4028236e38",
        "1e39",           "-1e39",
        "1.17549435e-38", "1e-45",
        "7e-46",          "7.1e-46",
        "1e-46",          "1e-400",
        "0x1p128",        "0x1.fffffep127",
        "0x1.ffffffp127", "0x1p-149",
        "0x1p-150",       "0x1.8p-150",
        "0x1.000001p0",   "0.000000000000000000000000000000000000000000001",
        "0e999999",       "-0"};

    std::mt19937 random_;
};
