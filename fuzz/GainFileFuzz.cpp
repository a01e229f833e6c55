// Feeds arbitrary bytes to the gain file reader as the contents of a file. Beyond the sanitizers'
// checks, the row count must stay within the table, rows past it must keep the defaults, and every
// gain taken must be finite and equal to the C library's reading of the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tuning/GainTable.h"

namespace {

constexpr int kNumbersPerRow = 3;
constexpr int kNumbersInFile = kFlightModeCount * kNumbersPerRow;
// What the table holds before reading; no default row has it.
constexpr double kStaleGain = -12345.0;

[[noreturn]] void fail(const char* what, int mode) {
    std::fprintf(stderr, "%s (mode %d)\n", what, mode);
    std::abort();
}

double gainAt(const GainTable& gains, int mode, int column) {
    const auto row = static_cast<std::size_t>(mode);
    return column == 0 ? gains.proportional[row] : column == 1 ? gains.integral[row] : gains.derivative[row];
}

// The same text read in one scan: rows are whole triples of finite numbers up to the first that is
// not. A NUL byte ends the string here and stops the stream reader there as a non-number, so both
// stop at it.
void compareWithOneScan(const std::vector<char>& text, int rows, const GainTable& gains) {
    float f[kNumbersInFile];
    int converted =
        std::sscanf(text.data(), "%f %f %f %f %f %f %f %f %f %f %f %f %f %f %f", &f[0], &f[1], &f[2], &f[3],
                    &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &f[12], &f[13], &f[14]);
    if (converted < 0) converted = 0;
    int expectedRows = 0;
    while (expectedRows < kFlightModeCount && (expectedRows + 1) * kNumbersPerRow <= converted) {
        const float* row = f + expectedRows * kNumbersPerRow;
        if (!std::isfinite(row[0]) || !std::isfinite(row[1]) || !std::isfinite(row[2])) break;
        ++expectedRows;
    }
    if (rows != expectedRows) fail("row count differs from one scan of the text", rows);
    for (int mode = 0; mode < rows; ++mode)
        for (int column = 0; column < kNumbersPerRow; ++column)
            if (gainAt(gains, mode, column) != static_cast<double>(f[mode * kNumbersPerRow + column]))
                fail("gain differs from one scan of the text", mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The stream reads a copy, and the one-scan check the same bytes with a terminator after them.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    std::FILE* file = fmemopen(text.data(), size, "r");
    if (file == nullptr) std::abort();
    // Rows the reader does not take must be reset to the defaults, not left as they were.
    GainTable gains;
    gains.proportional.fill(kStaleGain);
    gains.integral.fill(kStaleGain);
    gains.derivative.fill(kStaleGain);
    const int rows = readGainTable(file, gains);
    std::fclose(file);

    if (rows < 0 || rows > kFlightModeCount) fail("row count out of range", rows);
    for (int mode = 0; mode < kFlightModeCount; ++mode) {
        for (int column = 0; column < kNumbersPerRow; ++column) {
            const double gain = gainAt(gains, mode, column);
            if (!std::isfinite(gain)) fail("gain is not finite", mode);
            if (mode >= rows && gain != gainAt(kDefaultGainTable, mode, column))
                fail("row past the count lost its default", mode);
        }
    }
    compareWithOneScan(text, rows, gains);
    return 0;
}
