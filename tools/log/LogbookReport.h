#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/log/Logbook.h"

// orvane-log logbook: the rows as a table or CSV, the totals per aircraft and over all.

struct LogbookFilter {
    std::optional<std::int64_t> sinceMicros;  // flights that started then or later
    std::optional<std::uint32_t> aircraft;    // host byte order
};
// A row without figures has no start and no aircraft: it is shown only when nothing is filtered.
bool logbookRowShown(const LogbookRow& row, const LogbookFilter& filter);

// "YYYY-MM-DD" as the start of that day in UTC; nothing when it is not such a date.
std::optional<std::int64_t> parseLogbookDate(const std::string& text);

// The texts of a row's figures, shared by the table, the CSV and the program's dialog.
// "H:MM:SS", rounded to the second.
std::string logbookDuration(std::int64_t micros);
// "2026-12-08 20:32:47".
std::string logbookStart(std::int64_t micros);
// The aircraft's address, or "-".
std::string logbookAircraft(std::uint32_t address);
// A float figure as orvane-log info writes it, or "-".
std::string logbookFigure(const std::optional<double>& value);
// "12.345".
std::string logbookKilometres(double metres);

void writeLogbookTable(const std::vector<LogbookRow>& rows, std::FILE* out);
void writeLogbookCsv(const std::vector<LogbookRow>& rows, std::FILE* out);

struct LogbookRequest {
    std::vector<std::filesystem::path> sources;
    std::uint16_t port = 0;
    bool csv = false;
    LogbookFilter filter;
};
// Scans, filters, sorts and writes the logbook to `out`; what cannot be read is told on
// `messages`. False when a source could not be read at all (the rest is written all the same).
bool writeLogbook(const LogbookRequest& request, std::FILE* out, std::FILE* messages);
