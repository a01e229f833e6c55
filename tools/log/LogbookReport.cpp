#include "tools/log/LogbookReport.h"

#include <algorithm>
#include <cinttypes>
#include <ctime>

#include "tools/log/FlightLog.h"
#include "tools/log/LogReport.h"

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

std::string count(std::int64_t value) {
    return std::to_string(value);
}

// Columns padded to their widest cell; the numbers to the right, the last column left as it is.
void writeColumns(const std::vector<std::vector<std::string>>& cells, const std::vector<bool>& rightAligned,
                  std::FILE* out) {
    std::vector<std::size_t> widths(rightAligned.size(), 0);
    for (const auto& row : cells) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : cells) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::size_t pad = widths[i] - row[i].size();
            if (i > 0) line += "  ";
            if (rightAligned[i]) line.append(pad, ' ');
            line += row[i];
            if (!rightAligned[i] && i + 1 < row.size()) line.append(pad, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        line += '\n';
        std::fputs(line.c_str(), out);
    }
}

}  // namespace

bool logbookRowShown(const LogbookRow& row, const LogbookFilter& filter) {
    if (!filter.sinceMicros && !filter.aircraft) return true;
    if (!row.figures) return false;
    if (filter.sinceMicros && row.startMicros < *filter.sinceMicros) return false;
    return !filter.aircraft || row.aircraft == *filter.aircraft;
}

std::optional<std::int64_t> parseLogbookDate(const std::string& text) {
    std::tm parts{};
    char rest = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &parts.tm_year, &parts.tm_mon,
                                         &parts.tm_mday, &rest) != 3) {
        return std::nullopt;
    }
    if (parts.tm_mon < 1 || parts.tm_mon > 12 || parts.tm_mday < 1 || parts.tm_mday > 31) return std::nullopt;
    const int month = parts.tm_mon;
    const int day = parts.tm_mday;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    const std::time_t seconds = ::timegm(&parts);
    // timegm moves 31 February on to March: such a day is refused.
    if (parts.tm_mon != month - 1 || parts.tm_mday != day) return std::nullopt;
    return std::int64_t{seconds} * 1000000;
}

std::string logbookDuration(std::int64_t micros) {
    const std::int64_t seconds = (std::max<std::int64_t>(micros, 0) + 500000) / 1000000;
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    return text;
}

std::string logbookStart(std::int64_t micros) {
    const std::time_t seconds =
        static_cast<std::time_t>(micros >= 0 ? micros / 1000000 : (micros - 999999) / 1000000);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[48];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts));
}

std::string logbookAircraft(std::uint32_t address) {
    return address != 0 ? addressText(address) : "-";
}

std::string logbookFigure(const std::optional<double>& value) {
    return value ? exactNumber(static_cast<float>(*value)) : "-";
}

std::string logbookKilometres(double metres) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", metres / 1000.0);
    return text;
}

void writeLogbookTable(const std::vector<LogbookRow>& rows, std::FILE* out) {
    std::vector<std::vector<std::string>> cells = {{"file", "aircraft", "start (UTC)", "duration", "link up",
                                                    "lines", "gaps", "uploads", "km", "max alt", "max speed",
                                                    "damaged", "problem"}};
    for (const LogbookRow& row : rows) {
        if (!row.figures) {
            cells.push_back({row.path, "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", row.problem});
            continue;
        }
        cells.push_back({row.path, logbookAircraft(row.aircraft), logbookStart(row.startMicros),
                         logbookDuration(row.durationMicros), logbookDuration(row.linkUpMicros),
                         count(row.lines), count(row.linkGaps), count(row.uploads),
                         logbookKilometres(row.distanceMetres), logbookFigure(row.highestAltitude),
                         logbookFigure(row.highestAirspeed), count(row.damagedRecords), row.problem});
    }
    writeColumns(cells, {false, false, false, true, true, true, true, true, true, true, true, true, false},
                 out);

    std::fputs("\n", out);
    std::vector<std::vector<std::string>> totals = {
        {"aircraft", "flights", "hours", "with the link up", "km"}};
    for (const LogbookTotal& total : logbookTotals(rows)) {
        totals.push_back({total.aircraft != 0 ? addressText(total.aircraft) : "all", count(total.flights),
                          logbookDuration(total.durationMicros), logbookDuration(total.linkUpMicros),
                          logbookKilometres(total.distanceMetres)});
    }
    writeColumns(totals, {false, true, true, true, true}, out);
}

void writeLogbookCsv(const std::vector<LogbookRow>& rows, std::FILE* out) {
    std::fputs(
        "file,aircraft,start_utc,duration_s,link_up_s,lines,link_gaps,uploads,distance_km,highest_altitude,"
        "highest_airspeed,damaged_records,problem\n",
        out);
    for (const LogbookRow& row : rows) {
        std::string line = csvField(row.path);
        if (row.figures) {
            line += "," + (row.aircraft != 0 ? addressText(row.aircraft) : std::string()) + "," +
                    isoUtc(row.startMicros) + "," + secondsSince(0, row.durationMicros) + "," +
                    secondsSince(0, row.linkUpMicros) + "," + count(row.lines) + "," + count(row.linkGaps) +
                    "," + count(row.uploads) + "," + logbookKilometres(row.distanceMetres) + "," +
                    (row.highestAltitude ? logbookFigure(row.highestAltitude) : "") + "," +
                    (row.highestAirspeed ? logbookFigure(row.highestAirspeed) : "") + "," +
                    count(row.damagedRecords);
        } else {
            line += ",,,,,,,,,,,";
        }
        line += "," + csvField(row.problem) + "\n";
        std::fputs(line.c_str(), out);
    }
}

bool writeLogbook(const LogbookRequest& request, std::FILE* out, std::FILE* messages) {
    std::vector<LogbookRow> rows;
    LogbookScan scan;
    scan.sources = request.sources;
    scan.port = request.port;
    scan.row = [&](const LogbookRow& row) {
        if (logbookRowShown(row, request.filter)) rows.push_back(row);
    };
    scan.message = [&](const std::string& text) { std::fprintf(messages, "orvane-log: %s\n", text.c_str()); };
    const bool ok = scanLogbook(scan);
    sortLogbookRows(rows);
    if (request.csv) {
        writeLogbookCsv(rows, out);
    } else {
        writeLogbookTable(rows, out);
    }
    return ok;
}
