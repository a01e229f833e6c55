// Figures of the flight-log tool: a one-hour recording at 50 lines a second, written the way the
// recorder writes it, its size, and orvane-log's info, csv and gpx on it.
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
#include "net/UplinkFrame.h"
#include "record/PcapRecordWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLinesPerSecond = 50;
constexpr int kSeconds = 3600;
constexpr std::int64_t kStartMicros = 1796761967LL * 1000000;
constexpr int kTimedRuns = 3;

// An hour of circling flight: lines like the simulator's, a waypoint upload every ten minutes.
bool writeHour(const std::filesystem::path& path, std::string& error) {
    int code = 0;
    std::unique_ptr<PcapRecordWriter> writer = PcapRecordWriter::create(path, code);
    if (!writer) {
        error = path.string() + ": " + std::strerror(code);
        return false;
    }
    const std::uint32_t aircraft = htonl(0x7F000001);
    const std::uint32_t ground = aircraft;
    const std::uint16_t aircraftPort = htons(40000);
    const std::uint16_t groundPort = htons(9001);
    for (int i = 0; i < kLinesPerSecond * kSeconds; ++i) {
        const std::int64_t at = kStartMicros + std::int64_t{i} * 1000000 / kLinesPerSecond;
        const double turn = i * 2e-4;
        char line[200];
        const int length = std::snprintf(
            line, sizeof line,
            "%.4f %.4f %.4f %.3f %.3f %.3f %.4f %.4f %.4f 0.00 0.00 0.00 %.1f %.1f %.6f %.6f %.1f 1 2 1",
            0.01 * std::sin(turn), -0.02, 0.03, 0.1, 0.2, -9.8, 0.3 * std::sin(turn), 0.05,
            std::fmod(turn, 6.28), 120 + 10 * std::sin(turn / 7), 18 + std::cos(turn),
            40.0 + 0.01 * std::sin(turn), -75.0 + 0.013 * std::cos(turn), 130 + 10 * std::sin(turn / 7));
        writer->write(at, aircraft, aircraftPort, ground, groundPort, static_cast<std::uint32_t>(length),
                      reinterpret_cast<const std::uint8_t*>(line), static_cast<std::size_t>(length));
        if (i % (kLinesPerSecond * 600) == kLinesPerSecond) {
            const auto upload =
                frameUplinkText("W 2  40.005000 -75.010000  39.995000 -74.990000 ", kUplinkTextFull);
            writer->write(at + 1000, ground, groundPort, aircraft, aircraftPort, kUplinkSize, upload->data(),
                          kUplinkSize);
        }
    }
    if (!writer->flush(code)) {
        error = path.string() + ": " + std::strerror(code);
        return false;
    }
    return true;
}

// Median seconds of orvane-log `command` on the file, its output to `output`; nothing on failure.
std::optional<double> timeTool(BenchSetting& setting, const std::string& command,
                               const std::filesystem::path& file, const std::string& output) {
    std::vector<double> seconds;
    for (int run = 0; run < kTimedRuns; ++run) {
        ChildProcess tool;
        SpawnRequest request;
        request.program = setting.program("orvane-log").string();
        request.arguments = {command, file.string(), "-o", output};
        const auto start = Clock::now();
        if (!tool.start(request)) return std::nullopt;
        const std::optional<int> status = tool.waitFor(std::chrono::seconds(60));
        if (!status || *status != 0) return std::nullopt;
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

}  // namespace

void benchFlightLog(BenchSetting& setting, Scorecard& scorecard) {
    const std::filesystem::path file = setting.scratch() / "orvane-20261208-203247Z.pcap";
    std::string error;
    if (!writeHour(file, error)) {
        scorecard.notMeasured("one-hour recording", "-", error);
        return;
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
    std::printf("recording size  %8.1f MiB for one hour at %d lines a second (%d lines)\n", megabytes,
                kLinesPerSecond, kLinesPerSecond * kSeconds);
    scorecard.judge("size of a one-hour recording at 50 lines/s", formatFigure("%.1f MiB", megabytes),
                    "reported", true);
    struct Figure {
        const char* command;
        double target;
    };
    for (const Figure figure : {Figure{"info", 0.5}, Figure{"csv", 2.0}, Figure{"gpx", 2.0}}) {
        const std::optional<double> seconds =
            timeTool(setting, figure.command, file, (setting.scratch() / "out").string());
        const std::string name = std::string("orvane-log ") + figure.command + " on one hour, s";
        const std::string target = formatFigure("< %.1f", figure.target);
        if (!seconds) {
            scorecard.notMeasured(name, target, "orvane-log failed");
            continue;
        }
        std::printf("orvane-log %-4s %8.3f s (median of %d runs; target < %.1f s)\n", figure.command,
                    *seconds, kTimedRuns, figure.target);
        scorecard.judge(name, formatFigure("%.3f", *seconds), target, *seconds < figure.target);
    }
}
