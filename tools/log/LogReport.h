#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/log/FlightLog.h"

// The text outputs of orvane-log: the flight's summary, one CSV row per decoded line, and GPX 1.1.
// Numbers are written in the "C" format whatever the locale.
void writeInfo(const FlightLog& log, std::FILE* out);
void writeCsv(const FlightLog& log, std::FILE* out);
// "least height above ground": the line where the altitude is least above the ground under it.
void writeLeastClearance(const FlightLog& log, std::FILE* out);
void writeGpx(const FlightLog& log, std::FILE* out);

// "2026-12-08T20:32:47.123456Z".
std::string isoUtc(std::int64_t micros);
// "2026-12-08 20:32:47.123 UTC" and "2026-12-08 21:32:47.123 CET" (the machine's time zone).
std::string readableUtc(std::int64_t micros);
std::string readableLocal(std::int64_t micros);
// "0 h 02 min 00.0 s (120.0 s)": a span of time, rounded to the tenth of a second.
std::string durationText(std::int64_t micros);
// "12.345678": seconds from `start` to `at`, to the microsecond.
std::string secondsSince(std::int64_t start, std::int64_t at);
// The shortest text that reads back as the same number.
std::string exactNumber(double value);
std::string exactNumber(float value);

// Names of the flight modes of a gain upload, by index.
const char* flightModeName(int mode);
