#pragma once

#include <cstddef>
#include <cstdint>

// Field scanners with the formatted-input rules of the C library's "%f", "%d" and "%s", over a
// byte range that need not end in a NUL: nothing at or past `end` is ever read. Each one skips
// leading white space, and on success moves `next` past what the conversion consumed; on failure it
// leaves `next` and the output alone (a scan stops at its first failing field anyway).
//
// They work in the "C" locale whatever the process locale is, allocate nothing, and take no lock.

// "%f": optional sign, then a decimal number with optional exponent, a hexadecimal one ("0x"),
// "inf", "infinity" or "nan" in any case. Consumes exactly what the C library's scanner consumes
// (which may include a dangling exponent mark such as the "e" of "100ergs") and gives the correctly
// rounded float of the longest valid leading number of it.
bool scanFloatField(const char*& next, const char* end, float& value);

// "%d" kept to its low 16 bits: optional sign and decimal digits, of any length.
bool scanInt16Field(const char*& next, const char* end, std::int16_t& value);

// "%s" into a buffer of `capacity` bytes (at least 1): at most capacity - 1 characters are stored and
// a NUL after them. The rest of a longer token is consumed but not stored, so that later fields
// stay aligned. `length` receives the number of characters stored.
bool scanTokenField(const char*& next, const char* end, char* token, std::size_t capacity,
                    std::size_t& length);

// The longest leading plain decimal number of `text` (optional sign, digits with an optional point
// and fraction, optional exponent) as a double; 0 when there is none or when it is not finite.
// Infinities, NaNs and hexadecimal forms are not numbers here.
double leadingDecimal(const char* text, std::size_t length);
