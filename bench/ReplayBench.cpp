// Figures of replaying a recorded flight: opening and indexing a one-hour recording (180,000
// lines written by the recorder's own writer), seeking anywhere in it, and a minute at 64x with
// the view's 100 ms tick drawing each frame off-screen on the real clock.

#include <arpa/inet.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSection.h"
#include "bench/PrintingNotifier.h"
#include "common/ProcessStat.h"
#include "net/UplinkFrame.h"
#include "record/FlightReplay.h"
#include "record/PcapRecordWriter.h"
#include "record/ReplayClock.h"
#include "tests/support/SceneProbe.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLinesPerSecond = 50;
constexpr int kSeconds = 3600;
constexpr std::int64_t kStartMicros = 1796751167000000;
constexpr int kSeeks = 10000;
// The hour lasts 56.25 s at 64x; the clock is measured while it plays, before it stops at the end.
constexpr int kPlaySeconds = 55;
// Memory is compared from the end of the first five seconds: the renderer settles in its first frames.
constexpr int kWarmUpTicks = 50;
constexpr int kTickMs = 100;
constexpr double kFastSpeed = 64;
constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 672;

// An hour of a circuit at fifty lines a second, a waypoint upload every ten minutes and a link gap
// of three seconds every quarter of an hour.
bool writeHour(const std::filesystem::path& path) {
    int error = 0;
    auto writer = PcapRecordWriter::create(path, error);
    if (!writer) return false;
    const std::uint32_t aircraft = htonl(0x7F000001);
    char line[200];
    for (int i = 0; i < kLinesPerSecond * kSeconds; ++i) {
        const int second = i / kLinesPerSecond;
        if (second % 900 == 450 && i % kLinesPerSecond != 0) continue;
        const double turn = i * 0.0005;
        const int length =
            std::snprintf(line, sizeof line,
                          "0.01 -0.02 0.03 0.1 0.2 -9.8 0.05 -0.1 %.4f 0 0 0 %.1f 18.2 %.6f %.6f %.1f 1 2 1",
                          turn, 120.0 + second % 40, 39.9868 + 0.001 * std::sin(turn),
                          -75.2121 + 0.001 * std::cos(turn), 130.0 + second % 40);
        const std::int64_t time = kStartMicros + std::int64_t{i} * 1000000 / kLinesPerSecond;
        writer->write(time, aircraft, htons(14550), aircraft, htons(9001), static_cast<std::uint32_t>(length),
                      reinterpret_cast<const std::uint8_t*>(line), static_cast<std::size_t>(length));
        if (i % (kLinesPerSecond * 600) == 100) {
            const auto upload =
                frameUplinkText("W 2  39.987100 -75.212300  39.986550 -75.210000 ", kUplinkTextFull);
            writer->write(time, aircraft, htons(9001), aircraft, htons(14550), kUplinkSize, upload->data(),
                          kUplinkSize);
        }
    }
    return writer->flush(error);
}

}  // namespace

void benchReplay(BenchSetting& setting, Scorecard& scorecard) {
    const std::filesystem::path path = setting.scratch() / "hour.pcap";
    if (!writeHour(path)) {
        scorecard.notMeasured("replay: open and index an hour, s", "< 0.5",
                              "the recording could not be written");
        return;
    }
    std::printf("a one-hour recording, %d lines a second: %.1f MiB\n", kLinesPerSecond,
                static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0));

    // Opening: the best of three, as the file is then in the page cache like a recording just made.
    double openMs = 1e9;
    std::unique_ptr<FlightReplay> replay;
    const double residentBefore = readResidentMiB(0);
    for (int run = 0; run < 3; ++run) {
        auto candidate = std::make_unique<FlightReplay>();
        std::string error;
        const Clock::time_point start = Clock::now();
        const bool opened = candidate->open(path, error);
        openMs = std::min(openMs, millisecondsSince(start));
        if (!opened) {
            scorecard.notMeasured("replay: open and index an hour, s", "< 0.5", error);
            return;
        }
        replay = std::move(candidate);
    }
    std::printf(
        "open and index: %.0f ms for %zu lines and %zu uploads; the index holds %.1f MiB "
        "(resident memory grew %.1f MiB)\n",
        openMs, replay->lines().size(), replay->routes().size(),
        static_cast<double>(replay->lines().capacity() * sizeof(ReplayLine)) / (1024.0 * 1024.0),
        readResidentMiB(0) - residentBefore);
    scorecard.judge("replay: open and index an hour (180,000 lines), s", formatFigure("%.3f", openMs / 1000),
                    "< 0.5", openMs < 500);

    // The replayed track, built from the index as the program builds it on opening; the frames of
    // the 64x run below draw it up to each moment.
    ReplayScene shown;
    const Clock::time_point trackStart = Clock::now();
    extendReplayTrack(*replay, shown);
    std::printf("the track from the index: %.0f ms, %zu points\n", millisecondsSince(trackStart),
                shown.track.points().size());

    // Seeking: any moment, its state put where the view reads it.
    MapGeometry geometry;
    initMapGeometry(geometry, kShippedMapWidth, kShippedMapHeight);
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> moment(replay->startMicros(), replay->endMicros());
    std::vector<double> seeks;
    for (int i = 0; i < kSeeks; ++i) {
        const std::int64_t at = moment(random);
        const Clock::time_point start = Clock::now();
        showReplayState(replay->stateAt(at), at, "PAUSED", &geometry, shown);
        seeks.push_back(millisecondsSince(start) * 1000);
    }
    std::sort(seeks.begin(), seeks.end());
    std::printf("seek to a random moment and put its state in place, %d seeks: median %.2f us, max %.2f us\n",
                kSeeks, seeks[seeks.size() / 2], seeks.back());

    // 55 seconds at 64x on the real clock: every 100 ms tick finds the moment and draws the frame.
    OsMesaContext context(kFrameWidth, kFrameHeight);
    if (!context.valid()) {
        scorecard.notMeasured("replay: 64x for a minute, clock error %", "< 1", "no off-screen GL context");
        return;
    }
    ScratchWorkDir scratch;
    writeBenchMapPicture("site3.bmp", kShippedMapWidth, kShippedMapHeight);
    TelemetryState live;
    PrintingNotifier notifier;
    Scene scene(live, notifier);
    scene.initGl();
    scene.resize(kFrameWidth, kFrameHeight);
    scene.showReplay(&shown);
    ReplayClock clock(replay->startMicros(), replay->endMicros());
    clock.setSpeedStep(
        static_cast<int>(std::find(ReplayClock::kSpeeds.begin(), ReplayClock::kSpeeds.end(), kFastSpeed) -
                         ReplayClock::kSpeeds.begin()));
    const std::int64_t wallStart = ReplayClock::steadyMicros();
    clock.play();
    const std::int64_t positionStart = clock.position();
    const double residentFirst = readResidentMiB(0);
    double residentStart = residentFirst;
    std::vector<double> residentSamples;  // every ten seconds
    std::vector<double> ticks;
    double worstSeekMs = 0;
    const Clock::time_point first = Clock::now();
    for (int tick = 1; tick <= kPlaySeconds * 1000 / kTickMs; ++tick) {
        std::this_thread::sleep_until(first + std::chrono::milliseconds(tick * kTickMs));
        const Clock::time_point start = Clock::now();
        const std::int64_t at = clock.position();
        showReplayState(replay->stateAt(at), at, "REPLAY 64x", &geometry, shown);
        worstSeekMs = std::max(worstSeekMs, millisecondsSince(start));
        scene.drawFrame();
        ticks.push_back(millisecondsSince(start));
        if (tick == kWarmUpTicks) residentStart = readResidentMiB(0);
        if (tick % 100 == 0) residentSamples.push_back(readResidentMiB(0));
    }
    const double wallSeconds = static_cast<double>(ReplayClock::steadyMicros() - wallStart) / 1e6;
    const double replayedSeconds = static_cast<double>(clock.position() - positionStart) / 1e6;
    const double error = std::abs(replayedSeconds / wallSeconds - kFastSpeed) / kFastSpeed * 100;
    std::sort(ticks.begin(), ticks.end());
    const double growth = readResidentMiB(0) - residentStart;
    const double tickP90 = ticks[ticks.size() * 9 / 10];
    std::printf("resident memory every 10 s of the 64x run:");
    for (const double mib : residentSamples) std::printf(" %.1f", mib);
    std::printf(" MiB\n");
    const auto lateTicks = static_cast<std::size_t>(
        std::count_if(ticks.begin(), ticks.end(), [](double ms) { return ms >= kTickMs; }));
    std::printf(
        "64x for %d s: %zu frames, tick with frame median %.2f ms, p90 %.2f ms, max %.2f ms, %zu over "
        "100 ms; %.1f s of the flight in %.2f s (%.3f %% off 64x); resident memory %+.1f MiB in the "
        "first %d ticks, %+.1f MiB after them\n",
        kPlaySeconds, ticks.size(), ticks[ticks.size() / 2], tickP90, ticks.back(), lateTicks,
        replayedSeconds, wallSeconds, error, residentStart - residentFirst, kWarmUpTicks, growth);
    // A seek shows its moment with the next frame: the slowest state lookup and a frame.
    const double seekMs = seeks.back() / 1000 + tickP90;
    scorecard.judge("replay: seek, state (max) and frame (p90), ms", formatFigure("%.2f", seekMs), "< 50",
                    seekMs < 50);
    scorecard.judge("replay: 64x, ticks with frame over 100 ms",
                    formatFigure("%zu of %zu", lateTicks, ticks.size()), "0", lateTicks == 0);
    scorecard.judge("replay: 64x for 55 s, clock error %", formatFigure("%.3f", error), "< 1", error < 1);
    scorecard.judge("replay: 64x, memory growth after 5 s, MiB", formatFigure("%.1f", growth), "< 1",
                    growth < 1);
}
