// Figures of the logbook: a season of 1000 recordings (100 hours of flight) indexed once, beside
// orvane-log info run over each of them, and the logbook of all 1000 once the index holds them.
#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchSection.h"
#include "bench/ChildProcess.h"
#include "record/PcapRecordWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecordings = 1000;
constexpr int kSecondsEach = 360;  // 1000 x 6 minutes = 100 hours
// Ten lines a second keeps the season at about half a gigabyte; what the index saves (a file's
// reading per recording) grows with the rate, so a higher one only widens the margin.
constexpr int kLinesPerSecond = 10;
constexpr std::int64_t kFirstStartMicros = 1796761967LL * 1000000;
constexpr int kTimedRuns = 3;
constexpr double kListingTarget = 0.3;

// One six-minute flight of one of two aircraft, circling.
bool writeFlight(const std::filesystem::path& path, int number, std::string& error) {
    int code = 0;
    std::unique_ptr<PcapRecordWriter> writer = PcapRecordWriter::create(path, code);
    if (!writer) {
        error = path.string() + ": " + std::strerror(code);
        return false;
    }
    const std::uint32_t aircraft = htonl(number % 2 == 0 ? 0x0A000002 : 0x0A000003);
    const std::uint32_t ground = htonl(0x0A000001);
    const std::int64_t start = kFirstStartMicros + std::int64_t{number} * 3 * 3600 * 1000000;
    for (int i = 0; i < kLinesPerSecond * kSecondsEach; ++i) {
        const double turn = i * 1e-3;
        char line[200];
        const int length = std::snprintf(
            line, sizeof line,
            "0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 0.01 %.4f 0.00 0.00 0.00 %.1f %.1f %.6f %.6f %.1f 1 2 1",
            std::fmod(turn, 6.28), 120 + 10 * std::sin(turn / 7), 18 + std::cos(turn),
            40.0 + 0.01 * std::sin(turn), -75.0 + 0.013 * std::cos(turn), 130 + 10 * std::sin(turn / 7));
        writer->write(start + std::int64_t{i} * 1000000 / kLinesPerSecond, aircraft, htons(40000), ground,
                      htons(9001), static_cast<std::uint32_t>(length),
                      reinterpret_cast<const std::uint8_t*>(line), static_cast<std::size_t>(length));
    }
    if (!writer->flush(code)) {
        error = path.string() + ": " + std::strerror(code);
        return false;
    }
    return true;
}

// Seconds orvane-log took with `arguments`; nothing when it failed.
std::optional<double> runTool(BenchSetting& setting, std::vector<std::string> arguments) {
    ChildProcess tool;
    SpawnRequest request;
    request.program = setting.program("orvane-log").string();
    request.arguments = std::move(arguments);
    const auto start = Clock::now();
    if (!tool.start(request)) return std::nullopt;
    const std::optional<int> status = tool.waitFor(std::chrono::seconds(600));
    if (!status || *status != 0) return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

void benchLogbook(BenchSetting& setting, Scorecard& scorecard) {
    const std::filesystem::path folder = setting.scratch() / "season";
    const std::string output = (setting.scratch() / "logbook.out").string();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder, ignored);
    std::vector<std::filesystem::path> files;
    std::string error;
    std::uintmax_t bytes = 0;
    for (int i = 0; i < kRecordings; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "flight-%04d.pcap", i);
        files.push_back(folder / name);
        if (!writeFlight(files.back(), i, error)) {
            scorecard.notMeasured("logbook of 1000 recordings", "-", error);
            return;
        }
        bytes += std::filesystem::file_size(files.back());
    }
    std::printf("season          %d recordings of %d min at %d lines a second (%.0f h), %.0f MiB\n",
                kRecordings, kSecondsEach / 60, kLinesPerSecond, kRecordings * kSecondsEach / 3600.0,
                static_cast<double>(bytes) / (1024.0 * 1024.0));

    double infoSeconds = 0;
    for (const std::filesystem::path& file : files) {
        const std::optional<double> seconds = runTool(setting, {"info", file.string(), "-o", output});
        if (!seconds) {
            scorecard.notMeasured("orvane-log info over 1000 recordings", "-", "orvane-log info failed");
            return;
        }
        infoSeconds += *seconds;
    }
    std::printf("orvane-log info %8.3f s over the %d recordings, one run each\n", infoSeconds, kRecordings);

    const std::optional<double> indexSeconds = runTool(setting, {"logbook", folder.string(), "-o", output});
    const std::string indexName = "logbook: 1000 recordings indexed once, s";
    const std::string indexTarget = formatFigure("< info over them (%.1f)", infoSeconds);
    if (!indexSeconds) {
        scorecard.notMeasured(indexName, indexTarget, "orvane-log logbook failed");
        return;
    }
    std::printf("logbook, index  %8.3f s (the index is %.1f MiB)\n", *indexSeconds,
                static_cast<double>(std::filesystem::file_size(folder / "logbook.sqlite", ignored)) /
                    (1024.0 * 1024.0));
    scorecard.judge(indexName, formatFigure("%.3f", *indexSeconds), indexTarget,
                    *indexSeconds <= infoSeconds);

    std::vector<double> listings;
    for (int run = 0; run < kTimedRuns; ++run) {
        const std::optional<double> seconds = runTool(setting, {"logbook", folder.string(), "-o", output});
        if (!seconds) {
            scorecard.notMeasured("logbook of 1000 indexed recordings, s", "< 0.3",
                                  "orvane-log logbook failed");
            return;
        }
        listings.push_back(*seconds);
    }
    std::sort(listings.begin(), listings.end());
    const double listing = listings[listings.size() / 2];
    std::printf("logbook, listed %8.3f s (median of %d runs; target < %.1f s)\n", listing, kTimedRuns,
                kListingTarget);
    scorecard.judge("logbook of 1000 indexed recordings, s", formatFigure("%.3f", listing),
                    formatFigure("< %.1f", kListingTarget), listing < kListingTarget);
    std::filesystem::remove_all(folder, ignored);
}
