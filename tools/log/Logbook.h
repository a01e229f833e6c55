#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The logbook: one row of figures per recording, kept in an index beside the recordings so that
// only new or changed files are read. No window; orvane-log and the program share it.

struct LogbookRow {
    std::string path;  // the folder's path joined with the file's name
    std::string name;  // the file's name, the row's key in its folder's index
    std::int64_t size = 0;
    std::int64_t modifiedNanos = 0;
    std::uint16_t port = 0;  // the telemetry port the figures were read for

    // False when the file could not be read as a capture at all: only `problem` then.
    bool figures = false;
    // What is wrong with the file (cut short, no telemetry to the port...); empty when nothing.
    std::string problem;

    // Every figure is the one orvane-log info gives (see summarizeFlight).
    std::uint32_t aircraft = 0;  // host byte order; 0 when no line was heard
    std::int64_t startMicros = 0;
    std::int64_t durationMicros = 0;
    std::int64_t linkUpMicros = 0;
    std::int64_t lines = 0;
    std::int64_t linkGaps = 0;
    std::int64_t uploads = 0;
    std::int64_t damagedRecords = 0;
    double distanceMetres = 0;
    std::optional<double> highestAltitude;
    std::optional<double> highestAirspeed;

    bool operator==(const LogbookRow&) const = default;
};

// Reads the recording at `path` (of `size` bytes, changed at `modifiedNanos`) into a row.
LogbookRow readLogbookRow(const std::filesystem::path& path, std::int64_t size, std::int64_t modifiedNanos,
                          std::uint16_t port);

// Whether a folder's entry is taken for a recording: the capture file names.
bool looksLikeRecording(const std::filesystem::path& name);

// Rows oldest first; rows without figures last, by path.
void sortLogbookRows(std::vector<LogbookRow>& rows);

struct LogbookTotal {
    std::uint32_t aircraft = 0;  // 0 for the total over all aircraft
    std::int64_t flights = 0;
    std::int64_t durationMicros = 0;
    std::int64_t linkUpMicros = 0;
    double distanceMetres = 0;
};
// Per aircraft (by address), then the total over all; rows in which no aircraft was heard are no
// flight.
std::vector<LogbookTotal> logbookTotals(const std::vector<LogbookRow>& rows);

// Collects the rows of folders and single recordings. A folder's rows come from its index file
// (kLogbookIndexName in the folder), which is brought up to date on the way: rows of recordings
// that are unchanged come out first, then each new or changed one as it is read. Single files use
// the index of the folder that holds them.
struct LogbookScan {
    std::vector<std::filesystem::path> sources;  // folders or files
    std::uint16_t port = 0;
    // Each row as it is ready (on the calling thread).
    std::function<void(const LogbookRow&)> row;
    // A folder or file that cannot be read at all, or an index that could not be used.
    std::function<void(const std::string&)> message;
    // Checked between files; the scan stops early when set.
    const std::atomic<bool>* cancel = nullptr;
};
// False when a source could not be read at all (told through `message`).
bool scanLogbook(const LogbookScan& scan);

inline constexpr const char* kLogbookIndexName = "logbook.sqlite";
