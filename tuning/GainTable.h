#pragma once

#include <array>
#include <cstdio>
#include <string>

// The on-board controller's flight modes, by the index that the gain file and the upload use.
inline constexpr int kFlightModeCount = 5;

// Proportional, integral and derivative gain per flight mode. Gains are dimensionless and not
// bounded here; the dialog's sliders produce values from 0 up to their scale.
struct GainTable {
    std::array<double, kFlightModeCount> proportional{};
    std::array<double, kFlightModeCount> integral{};
    std::array<double, kFlightModeCount> derivative{};

    bool operator==(const GainTable&) const = default;
};

// The table used when there is no gain file, and for the rows a damaged file does not supply.
inline constexpr GainTable kDefaultGainTable{
    {0.256, 0.326, 0.714, 0.08, 0.23},
    {0.0, 0.04, 0.203, 0.097, 0.0},
    {0.011, 0.023, 0.0, 0.024, 0.0},
};

// The gain file, in the current working directory.
inline constexpr const char* kGainFileName = "gainsetting.txt";
// Save writes beside the file it replaces, under this name with ".tmp" added, and renames it over
// the file, so the old file survives any failure. For a plain gain file this is the temporary file.
inline constexpr const char* kGainFileTempName = "gainsetting.txt.tmp";

// What loading the gain file found.
struct GainFileLoad {
    bool exists = false;  // there was a file to read (it may still not have opened)
    int rowsRead = 0;     // rows taken from the file, 0..5
    int openError = 0;    // errno of the failed open of an existing file; 0 when it opened

    // Every row came from the file, or there is no file at all (the defaults stand for it).
    bool whole() const { return !exists || rowsRead == kFlightModeCount; }
};

// Fills `gains` from the gain file: fifteen whitespace-separated numbers, read three per mode in
// mode order, each parsed as a single-precision float and widened (a stored 0.2560 becomes
// 0.256000012159348). The file is opened for reading and update, so a file that cannot be opened
// that way gives the default table. A row is taken only when all three of its numbers are read and
// finite; reading stops at the first row that is not, and that row and the ones after it take the
// default rows.
GainFileLoad loadGainFile(GainTable& gains);

// The reading step of loadGainFile on any open stream, from its current position: `gains` becomes
// the default table with the rows read by the rules above, and the result is their number (0..5).
// Numbers are read in the "C" format whatever the calling thread's locale. The stream stays open.
int readGainTable(std::FILE* file, GainTable& gains);

// Writes the table as five lines "%7.4f %7.4f %7.4f \n" in mode order, replacing the gain file
// atomically: the text goes to a temporary file beside it, is flushed to disk and renamed over the
// gain file. A symbolic link named like the gain file is followed and its target replaced. An
// existing file keeps its permission bits exactly, and one that the caller may not write is refused
// before anything is written. On failure the old file is untouched, the temporary file is removed
// and `error` (when given) says what went wrong.
bool saveGainFile(const GainTable& gains, std::string* error = nullptr);
