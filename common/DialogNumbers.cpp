#include "common/DialogNumbers.h"

#include <algorithm>
#include <cstdio>

#include "common/ClassicNumbers.h"

namespace {

constexpr int kSignificantDigits = 15;
// The exchange reads a box into a buffer of this many characters with its terminator.
constexpr std::size_t kBoxTextBuffer = 400;

}  // namespace

std::string formatDialogNumber(double value) {
    const ClassicNumbers classic;
    // Room for the longest "%.15g": sign, 15 digits, point, exponent.
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.*g", kSignificantDigits, value);
    if (length < 0) return {};
    return std::string(text, std::min(static_cast<std::size_t>(length), sizeof text - 1));
}

std::optional<double> parseDialogNumber(std::string_view text) {
    char buffer[kBoxTextBuffer];
    const std::size_t length = std::min(text.size(), kBoxTextBuffer - 1);
    std::copy_n(text.begin(), length, buffer);
    buffer[length] = '\0';
    const ClassicNumbers classic;
    double value = 0;
    if (std::sscanf(buffer, "%lf", &value) != 1) return std::nullopt;
    return value;
}
