#include "net/ScanfNumbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// White space of the "C" locale.
bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* skipSpace(const char* p, const char* end) {
    while (p != end && isSpace(*p)) ++p;
    return p;
}

// True when [p, end) starts with `word` (lower case), compared without regard to case.
bool startsWithWord(const char* p, const char* end, const char* word) {
    for (; *word != '\0'; ++p, ++word) {
        if (p == end || lower(*p) != *word) return false;
    }
    return true;
}

// The exponent after an exponent mark, 0 when the mark is dangling. It saturates far beyond any
// count of mantissa digits, so that it still outweighs them.
long exponentValue(const char* p, const char* end) {
    constexpr long kSaturation = 1000000000000000;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    long value = 0;
    for (; p != end && isDigit(*p); ++p) {
        if (value < kSaturation) value = value * 10 + (*p - '0');
    }
    return negative ? -value : value;
}

// Whether a number whose conversion fell out of the float range lies above 1 in magnitude (so it
// overflowed) rather than below (so it underflowed). Such numbers are far from 1, so the order of
// magnitude of the leading digit is all that matters. A hexadecimal digit is worth 4 units of its
// binary exponent, a decimal digit 1 unit of its decimal exponent.
bool magnitudeAboveOne(const char* p, const char* end, bool hex) {
    const char expMark = hex ? 'p' : 'e';
    const long digitWeight = hex ? 4 : 1;
    auto isMantissaDigit = [hex](char c) { return hex ? isHexDigit(c) : isDigit(c); };

    while (p != end && *p == '0') ++p;
    long integerDigits = 0;
    for (; p != end && isMantissaDigit(*p); ++p) ++integerDigits;
    long order = integerDigits * digitWeight;
    if (p != end && *p == '.') {
        ++p;
        long zeros = 0;
        for (; p != end && *p == '0'; ++p) ++zeros;
        if (integerDigits == 0) order = -(zeros + 1) * digitWeight;
        while (p != end && isMantissaDigit(*p)) ++p;
    }
    if (p != end && lower(*p) == expMark) order += exponentValue(p + 1, end);
    return order > 0;
}

// Telemetry numbers are short decimals. When the digits form an integer of at most 24 bits and the
// decimal exponent is within 10, both are exact floats and one multiplication or division rounds
// correctly; everything else goes to the general conversion.
bool convertShortDecimal(const char* p, const char* last, float& value) {
    constexpr std::uint32_t kExactMantissaLimit = 1u << 24;
    constexpr float kExactPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    constexpr int kMaxExactPower = 10;

    std::uint32_t mantissa = 0;
    int scale = 0;  // power of ten the digits are to be multiplied by
    bool afterPoint = false;
    for (; p != last; ++p) {
        if (isDigit(*p)) {
            mantissa = mantissa * 10u + static_cast<std::uint32_t>(*p - '0');
            if (mantissa > kExactMantissaLimit) return false;
            if (afterPoint) --scale;
        } else if (*p == '.' && !afterPoint) {
            afterPoint = true;
        } else {
            break;
        }
    }
    if (p != last) {  // an exponent mark, possibly dangling
        if (lower(*p) != 'e') return false;
        const char* digits = p + 1;
        bool negative = false;
        if (digits != last && (*digits == '+' || *digits == '-')) negative = *digits++ == '-';
        int exponent = 0;
        for (; digits != last; ++digits) {
            if (!isDigit(*digits)) return false;
            exponent = exponent * 10 + (*digits - '0');
            if (exponent > 2 * kMaxExactPower) return false;
        }
        scale += negative ? -exponent : exponent;
    }
    if (scale < -kMaxExactPower || scale > kMaxExactPower) return false;
    const auto exact = static_cast<float>(mantissa);
    value = scale >= 0 ? exact * kExactPowersOfTen[scale] : exact / kExactPowersOfTen[-scale];
    return true;
}

// The correctly rounded float of the longest valid leading number of [first, last), with an
// out-of-range result turned into infinity or zero as the C library's conversion gives it.
float convertMagnitude(const char* first, const char* last, bool hex) {
    float value = 0;
    if (!hex && convertShortDecimal(first, last, value)) return value;
    const auto result =
        std::from_chars(first, last, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        return magnitudeAboveOne(first, last, hex) ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    // A hexadecimal body with no digit ("0x." was read) converts as its leading "0".
    if (result.ec != std::errc{}) return 0.0f;
    return value;
}

}  // namespace

bool scanFloatField(const char*& next, const char* end, float& value) {
    const char* p = skipSpace(next, end);
    if (p == end) return false;

    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        if (++p == end) return false;
    }
    const float sign = negative ? -1.0f : 1.0f;

    if (lower(*p) == 'n') {
        if (!startsWithWord(p, end, "nan")) return false;
        value = std::copysign(std::numeric_limits<float>::quiet_NaN(), sign);
        next = p + 3;
        return true;
    }
    if (lower(*p) == 'i') {
        if (!startsWithWord(p, end, "inf")) return false;
        p += 3;
        // Once an "i" follows "inf" the scanner is committed to "infinity".
        if (p != end && lower(*p) == 'i') {
            if (!startsWithWord(p, end, "inity")) return false;
            p += 5;
        }
        value = sign * std::numeric_limits<float>::infinity();
        next = p;
        return true;
    }

    // Collect exactly the characters the C library's scanner collects before converting.
    bool hex = false;
    bool gotDigit = false;
    bool gotDot = false;
    bool gotExponent = false;
    const char* body = p;
    if (*p == '0') {
        ++p;
        if (p != end && lower(*p) == 'x') {
            hex = true;
            body = ++p;
        } else {
            gotDigit = true;
        }
    }
    const char expMark = hex ? 'p' : 'e';
    for (; p != end; ++p) {
        const char c = *p;
        if (isDigit(c) || (hex && !gotExponent && isHexDigit(c))) {
            gotDigit = true;
        } else if (gotExponent && lower(p[-1]) == expMark && (c == '+' || c == '-')) {
            // The exponent's sign.
        } else if (gotDigit && !gotExponent && lower(c) == expMark) {
            gotExponent = gotDot = true;
        } else if (!gotDot && c == '.') {
            gotDot = true;
        } else {
            break;
        }
    }
    // "0x" alone is no number; a decimal body without a digit ("." or nothing) converts nothing.
    if (hex ? p == body : !gotDigit) return false;

    value = sign * convertMagnitude(body, p, hex);
    next = p;
    return true;
}

bool scanInt16Field(const char*& next, const char* end, std::int16_t& value) {
    const char* p = skipSpace(next, end);
    if (p == end) return false;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (p == end || !isDigit(*p)) return false;
    // Arithmetic modulo 2^16 gives the low 16 bits of a number of any length.
    std::uint16_t low = 0;
    for (; p != end && isDigit(*p); ++p)
        low = static_cast<std::uint16_t>(low * 10u + static_cast<unsigned>(*p - '0'));
    if (negative) low = static_cast<std::uint16_t>(0u - low);
    value = static_cast<std::int16_t>(low);
    next = p;
    return true;
}

bool scanTokenField(const char*& next, const char* end, char* token, std::size_t capacity,
                    std::size_t& length) {
    const char* p = skipSpace(next, end);
    if (p == end || capacity == 0) return false;
    std::size_t stored = 0;
    for (; p != end && !isSpace(*p); ++p) {
        if (stored + 1 < capacity) token[stored++] = *p;
    }
    token[stored] = '\0';
    length = stored;
    next = p;
    return true;
}

double leadingDecimal(const char* text, std::size_t length) {
    const char* p = text;
    const char* end = text + length;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // Only a digit, or a point followed by a digit, can start a plain decimal number; this keeps
    // "inf", "nan" and the like out, which the general conversion would accept.
    const bool startsNumber = p != end && (isDigit(*p) || (*p == '.' && p + 1 != end && isDigit(p[1])));
    if (!startsNumber) return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec != std::errc{} || !std::isfinite(value)) return 0.0;
    return negative ? -value : value;
}
