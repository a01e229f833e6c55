#include "tools/log/Logbook.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "record/CapturedDatagram.h"
#include "tools/log/FlightLog.h"
#include "tools/log/LogbookIndex.h"

namespace {

// The reader's messages start with the file's path, which the row shows already.
std::string withoutPath(const std::string& message, const std::string& path) {
    const std::string prefix = path + ": ";
    return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
}

void addProblem(LogbookRow& row, const std::string& problem) {
    row.problem += row.problem.empty() ? problem : "; " + problem;
}

struct FileState {
    std::string name;
    std::int64_t size = 0;
    std::int64_t modifiedNanos = 0;
};

// False with `error` when the path cannot be looked at.
bool fileState(const std::filesystem::path& path, struct stat& state, std::string& error) {
    if (::stat(path.c_str(), &state) == 0) return true;
    error = path.string() + ": cannot be read: " + std::strerror(errno);
    return false;
}

std::int64_t modifiedNanosOf(const struct stat& state) {
    return std::int64_t{state.st_mtim.tv_sec} * 1000000000 + state.st_mtim.tv_nsec;
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

bool cancelled(const LogbookScan& scan) {
    return scan.cancel != nullptr && scan.cancel->load(std::memory_order_relaxed);
}

void tell(const LogbookScan& scan, const std::string& text) {
    if (scan.message && !text.empty()) scan.message(text);
}

// Tells what went wrong with the index since `told` characters of its note were told.
void tellNote(const LogbookScan& scan, const LogbookIndex& index, std::size_t& told) {
    if (index.note().size() <= told) return;
    std::string text = index.note().substr(told);
    if (text.compare(0, 2, "; ") == 0) text = text.substr(2);
    told = index.note().size();
    tell(scan, text);
}

// The row of one file of `folder`, from the index when it is unchanged; read (and kept) otherwise.
LogbookRow rowOf(const LogbookScan& scan, LogbookIndex& index, const std::filesystem::path& folder,
                 const FileState& file) {
    if (auto kept = index.find(file.name, file.size, file.modifiedNanos, scan.port)) {
        kept->path = (folder / file.name).string();
        return *kept;
    }
    LogbookRow row = readLogbookRow(folder / file.name, file.size, file.modifiedNanos, scan.port);
    index.store(row);
    return row;
}

bool scanFolder(const LogbookScan& scan, const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    std::vector<FileState> files;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::path path = entries->path();
        struct stat state {};
        if (!looksLikeRecording(path.filename()) || ::stat(path.c_str(), &state) != 0 ||
            !S_ISREG(state.st_mode)) {
            continue;
        }
        files.push_back({path.filename().string(), std::int64_t{state.st_size}, modifiedNanosOf(state)});
    }
    if (error) {
        tell(scan, folder.string() + ": cannot be read: " + error.message());
        return false;
    }
    // A folder without recordings gets no index; one it had is emptied.
    if (files.empty() && !std::filesystem::exists(folder / kLogbookIndexName, error)) return true;
    LogbookIndex index(folder / kLogbookIndexName);
    std::size_t told = 0;
    tellNote(scan, index, told);
    // Rows kept in the index first, so that a long list shows at once; then the files to read.
    std::vector<const FileState*> toRead;
    std::set<std::string> names;
    for (const FileState& file : files) {
        names.insert(file.name);
        if (auto kept = index.find(file.name, file.size, file.modifiedNanos, scan.port)) {
            kept->path = (folder / file.name).string();
            if (scan.row) scan.row(*kept);
        } else {
            toRead.push_back(&file);
        }
    }
    for (const FileState* file : toRead) {
        if (cancelled(scan)) return true;
        const LogbookRow row = rowOf(scan, index, folder, *file);
        if (scan.row) scan.row(row);
    }
    index.keepOnly(names);
    tellNote(scan, index, told);
    return true;
}

}  // namespace

LogbookRow readLogbookRow(const std::filesystem::path& path, std::int64_t size, std::int64_t modifiedNanos,
                          std::uint16_t port) {
    LogbookRow row;
    row.path = path.string();
    row.name = path.filename().string();
    row.size = size;
    row.modifiedNanos = modifiedNanos;
    row.port = port;
    // Port 0: the one the recording names (older recordings and other tools' captures: 9001).
    if (port == 0) port = recordedTelemetryPort(row.path).value_or(kDefaultTelemetryPort);
    FlightLog log;
    std::string error;
    if (!readFlightLog(row.path, port, log, error)) {
        row.problem = withoutPath(error, row.path);
        return row;
    }
    const FlightSummary summary = summarizeFlight(log);
    row.figures = true;
    row.aircraft = summary.aircraftAddress;
    row.startMicros = log.startMicros;
    row.durationMicros = summary.durationMicros;
    row.linkUpMicros = summary.linkUpMicros;
    row.lines = static_cast<std::int64_t>(log.lines.size());
    row.linkGaps = static_cast<std::int64_t>(summary.gaps.size());
    row.uploads = static_cast<std::int64_t>(log.uploads.size());
    row.damagedRecords = static_cast<std::int64_t>(log.damagedRecords);
    row.distanceMetres = summary.distanceMetres;
    if (summary.highestAltitude != nullptr) row.highestAltitude = summary.highestAltitude->values.alt;
    if (summary.highestAirspeed != nullptr) row.highestAirspeed = summary.highestAirspeed->values.cas;
    if (!log.tailProblem.empty()) addProblem(row, withoutPath(log.tailProblem, row.path));
    if (log.lines.empty()) {
        std::string problem = "no telemetry to port " + std::to_string(port);
        if (log.otherRecords > 0)
            problem += " (" + std::to_string(log.otherRecords) + " records of other traffic)";
        addProblem(row, problem);
    }
    return row;
}

bool looksLikeRecording(const std::filesystem::path& name) {
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".pcap" || extension == ".cap" || extension == ".dmp" || extension == ".pcapng";
}

void sortLogbookRows(std::vector<LogbookRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const LogbookRow& a, const LogbookRow& b) {
        if (a.figures != b.figures) return a.figures;
        if (a.figures && a.startMicros != b.startMicros) return a.startMicros < b.startMicros;
        return a.path < b.path;
    });
}

std::vector<LogbookTotal> logbookTotals(const std::vector<LogbookRow>& rows) {
    std::map<std::uint32_t, LogbookTotal> byAircraft;
    LogbookTotal all;
    for (const LogbookRow& row : rows) {
        if (!row.figures || row.aircraft == 0) continue;
        for (LogbookTotal* total : {&byAircraft[row.aircraft], &all}) {
            total->flights += 1;
            total->durationMicros += row.durationMicros;
            total->linkUpMicros += row.linkUpMicros;
            total->distanceMetres += row.distanceMetres;
        }
        byAircraft[row.aircraft].aircraft = row.aircraft;
    }
    std::vector<LogbookTotal> totals;
    for (const auto& [address, total] : byAircraft) totals.push_back(total);
    totals.push_back(all);
    return totals;
}

bool scanLogbook(const LogbookScan& scan) {
    bool ok = true;
    // Single files share the index of their folder, opened once.
    std::map<std::filesystem::path, std::unique_ptr<LogbookIndex>> indexes;
    for (const std::filesystem::path& source : scan.sources) {
        if (cancelled(scan)) break;
        struct stat state {};
        std::string error;
        if (!fileState(source, state, error)) {
            tell(scan, error);
            ok = false;
            continue;
        }
        if (S_ISDIR(state.st_mode)) {
            ok = scanFolder(scan, source) && ok;
            continue;
        }
        const std::filesystem::path folder = folderOf(source);
        auto& index = indexes[folder];
        std::size_t told = 0;
        if (!index) {
            index = std::make_unique<LogbookIndex>(folder / kLogbookIndexName);
            tellNote(scan, *index, told);
        }
        told = index->note().size();
        LogbookRow row =
            rowOf(scan, *index, folder,
                  {source.filename().string(), std::int64_t{state.st_size}, modifiedNanosOf(state)});
        row.path = source.string();
        if (scan.row) scan.row(row);
        tellNote(scan, *index, told);
    }
    return ok;
}
