// Figures of the whole program under a virtual display: start-up to the first frame, processor use
// idle and with the simulator sending 50 lines a second, resident memory; and the same figures of
// windows that only clear, which is what the platform costs before the program draws anything.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSection.h"
#include "bench/ChildProcess.h"
#include "bench/VirtualDisplay.h"
#include "common/ProcessStat.h"
#include "net/TelemetryReceiver.h"

namespace {

constexpr int kStartupRuns = 5;
constexpr auto kStartupTimeout = std::chrono::seconds(30);
// Time for a started window to show and settle before its processor use is measured.
constexpr auto kSettle = std::chrono::seconds(3);
// Time for the simulator's lines to reach the program before the busy measurement.
constexpr auto kSimulatorLead = std::chrono::seconds(2);
constexpr int kLinesPerSecond = 50;
constexpr double kFloorFramesPerSecond = 10.0;

constexpr double kTargetIdlePercent = 0.5;
constexpr double kTargetBusyPercent = 13.0;
constexpr double kTargetResidentMiB = 115.0;
constexpr double kTargetStartupMs = 400.0;
// What the program's own drawing may add to the floor's processor time per frame: ten frames a
// second within the share above, the floor's 2-3 % included.
constexpr double kTargetFrameAboveFloorMs = 10.0;
// Reading what the program printed so far, without waiting for more.
constexpr auto kDrainTime = std::chrono::milliseconds(50);

// The line that the program's and the floor's start-up reports begin with.
const char* const kFirstFrameLabel = "first frame: ";
const char* const kFirstFrameReportEnd = "after the process started\n";

const char* const kIdleFigure = "CPU idle, no telemetry, % of a core";
const char* const kBusyFigure = "CPU at 50 lines/s, % of a core";
const char* const kResidentFigure = "resident memory after 50 lines/s, MiB";
const char* const kStartupResidentFigure = "resident memory after start-up, MiB (median)";
const char* const kStartupFigure = "start-up to first frame, ms (median of 5)";
const char* const kFrameAboveFloorFigure = "CPU per frame above the floor, ms";

// Whether the program could bind its telemetry port: with the port taken it would wait on a
// message box, and its figures would not be a running program's.
bool telemetryPortFree() {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(TelemetryReceiver::kTelemetryPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool bound = ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return bound;
}

// Processor use of each process over the same `seconds`, in percent of one core (all its threads);
// nothing for a process that ended meanwhile.
std::vector<std::optional<double>> cpuShares(const std::vector<pid_t>& processes, int seconds) {
    std::vector<std::optional<ProcessStat>> before;
    for (pid_t pid : processes) before.push_back(readProcessStat(pid));
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    std::vector<std::optional<double>> shares;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const std::optional<ProcessStat> after = readProcessStat(processes[i]);
        if (!before[i] || !after || after->cpuTicks < before[i]->cpuTicks) {
            shares.emplace_back();
            continue;
        }
        const double ticks = static_cast<double>(after->cpuTicks - before[i]->cpuTicks);
        shares.emplace_back(100.0 * ticks / clockTicksPerSecond() / seconds);
    }
    return shares;
}

// Starts one of the project's programs on `display`, with its standard error in a log file of
// the scratch folder named after `logName`.
bool startOnDisplay(ChildProcess& process, BenchSetting& setting, const VirtualDisplay& display,
                    const char* program, std::vector<std::string> arguments, const std::string& folder,
                    const char* logName, bool captureOutput, std::string& error) {
    SpawnRequest request;
    request.program = setting.program(program).string();
    request.arguments = std::move(arguments);
    request.workingDirectory = folder;
    request.environment = {{"DISPLAY", display.name()}, {"QT_QPA_PLATFORM", "xcb"}};
    request.captureOutput = captureOutput;
    request.errorLog = (setting.scratch() / logName).string();
    if (!process.start(request)) {
        error = process.error() + " (build the " + program + " target)";
        return false;
    }
    return true;
}

// Lets a started window program settle; false, with the end of its log, when it ended.
bool settle(ChildProcess& process, BenchSetting& setting, const char* program, const char* logName,
            std::string& error) {
    std::this_thread::sleep_for(kSettle);
    if (!process.running()) {
        error = std::string(program) +
                " ended; its log ends:" + tailOfFile((setting.scratch() / logName).string());
        return false;
    }
    return true;
}

bool startDisplay(VirtualDisplay& display, BenchSetting& setting, std::string& error) {
    if (!display.start(setting.screen(), (setting.scratch() / "xvfb.log").string())) {
        error = display.error();
        return false;
    }
    std::printf("virtual display %s, %s x 24 bits\n", display.name().c_str(), setting.screen().c_str());
    return true;
}

// The value after `label` in the program's report, or nothing.
std::optional<double> reportedNumber(const std::string& report, const char* label) {
    const std::size_t at = report.find(label);
    if (at == std::string::npos) return std::nullopt;
    const char* begin = report.c_str() + at + std::char_traits<char>::length(label);
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    return value;
}

// The program's frame report lines ("frames N processor M ms"), read as they come: the complete
// lines of what it printed since the last call.
class FrameReports {
public:
    struct Report {
        double frames;
        double processorMs;
    };
    explicit FrameReports(ChildProcess& program) : program_(program) {}

    std::vector<Report> readNew() {
        pending_ += program_.readOutput(kDrainTime);
        std::vector<Report> reports;
        std::size_t begin = 0;
        for (std::size_t end; (end = pending_.find('\n', begin)) != std::string::npos; begin = end + 1) {
            const std::string line = pending_.substr(begin, end - begin);
            const std::optional<double> frames = reportedNumber(line, "frames ");
            const std::optional<double> processor = reportedNumber(line, " processor ");
            if (frames && processor) reports.push_back({*frames, *processor});
        }
        pending_.erase(0, begin);
        return reports;
    }

private:
    ChildProcess& program_;
    std::string pending_;
};

// Frames per second and processor milliseconds per frame between the first and last of `reports`
// (one a second); nothing without two reports and a frame between them.
struct FrameCost {
    double framesPerSecond;
    double processorMsPerFrame;
};
std::optional<FrameCost> frameCost(const std::vector<FrameReports::Report>& reports) {
    if (reports.size() < 2) return std::nullopt;
    const double frames = reports.back().frames - reports.front().frames;
    if (frames <= 0) return std::nullopt;
    const double seconds = static_cast<double>(reports.size() - 1);
    return FrameCost{frames / seconds, (reports.back().processorMs - reports.front().processorMs) / frames};
}

// One start of the program that ends itself once the first frame is shown and memory has settled.
std::optional<double> oneStartup(BenchSetting& setting, const VirtualDisplay& display,
                                 const std::string& folder, int run, double& settledResidentMiB,
                                 std::string& error) {
    ChildProcess program;
    if (!startOnDisplay(program, setting, display, "orvane", {"--report-startup"}, folder,
                        "orvane-startup.log", true, error)) {
        return std::nullopt;
    }
    const std::string report = program.readOutput(kStartupTimeout);
    program.stop();
    const std::optional<double> firstFrame = reportedNumber(report, kFirstFrameLabel);
    if (!firstFrame) {
        error = "no first frame reported within " + std::to_string(kStartupTimeout.count()) +
                " s; the log ends:" + tailOfFile((setting.scratch() / "orvane-startup.log").string());
        return std::nullopt;
    }
    const std::optional<double> firstResident = reportedNumber(report, "resident memory: ");
    const std::optional<double> settledResident = reportedNumber(report, "MiB at the first frame, ");
    std::printf(
        "run %d: first frame %.0f ms after the process started; resident memory %.1f MiB then, %.1f MiB "
        "once settled\n",
        run, *firstFrame, firstResident.value_or(-1), settledResident.value_or(-1));
    settledResidentMiB = settledResident.value_or(-1);
    return firstFrame;
}

}  // namespace

void benchStartup(BenchSetting& setting, Scorecard& scorecard) {
    const std::string target = formatFigure("<= %.0f", kTargetStartupMs);
    std::string error;
    const std::filesystem::path folder = setting.runFolder(error);
    VirtualDisplay display;
    if (folder.empty() || !startDisplay(display, setting, error)) {
        std::printf("%s\n", error.c_str());
        scorecard.notMeasured(kStartupFigure, target, error);
        return;
    }
    if (!telemetryPortFree()) {
        error = "UDP port 9001 is taken by another program";
        std::printf("%s\n", error.c_str());
        scorecard.notMeasured(kStartupFigure, target, error);
        return;
    }
    const std::string residentTarget = formatFigure("<= %.0f", kTargetResidentMiB);
    std::vector<double> times;
    std::vector<double> residents;
    for (int run = 1; run <= kStartupRuns; ++run) {
        double resident = -1;
        const std::optional<double> firstFrame =
            oneStartup(setting, display, folder.string(), run, resident, error);
        if (!firstFrame) {
            std::printf("run %d: %s\n", run, error.c_str());
            scorecard.notMeasured(kStartupFigure, target, "the program showed no first frame");
            scorecard.notMeasured(kStartupResidentFigure, residentTarget,
                                  "the program showed no first frame");
            return;
        }
        times.push_back(*firstFrame);
        residents.push_back(resident);
    }
    std::sort(times.begin(), times.end());
    std::sort(residents.begin(), residents.end());
    const double median = times[times.size() / 2];
    const double residentMedian = residents[residents.size() / 2];
    scorecard.judge(kStartupFigure, formatFigure("%.0f (slowest %.0f)", median, times.back()), target,
                    median <= kTargetStartupMs);
    scorecard.judge(kStartupResidentFigure, formatFigure("%.1f", residentMedian), residentTarget,
                    residentMedian > 0 && residentMedian <= kTargetResidentMiB);
    scorecard.rememberProgramStartup(median);
}

void benchProgram(BenchSetting& setting, Scorecard& scorecard) {
    const std::string idleTarget = formatFigure("<= %.1f", kTargetIdlePercent);
    const std::string busyTarget = formatFigure("<= %.0f", kTargetBusyPercent);
    const std::string residentTarget = formatFigure("<= %.0f", kTargetResidentMiB);
    auto fail = [&](const std::string& reason) {
        std::printf("%s\n", reason.c_str());
        scorecard.notMeasured(kIdleFigure, idleTarget, reason);
        scorecard.notMeasured(kBusyFigure, busyTarget, reason);
        scorecard.notMeasured(kResidentFigure, residentTarget, reason);
    };
    std::string error;
    const std::filesystem::path folder = setting.runFolder(error);
    if (folder.empty()) return fail(error);
    if (!telemetryPortFree()) return fail("UDP port 9001 is taken by another program");
    VirtualDisplay display;
    if (!startDisplay(display, setting, error)) return fail(error);

    ChildProcess program;
    if (!startOnDisplay(program, setting, display, "orvane", {"--report-frames"}, folder.string(),
                        "orvane.log", true, error) ||
        !settle(program, setting, "orvane", "orvane.log", error)) {
        return fail(error);
    }
    FrameReports reports(program);
    const int seconds = setting.cpuSeconds();
    const std::vector<pid_t> watched{program.pid(), display.process().pid()};
    reports.readNew();
    const std::vector<std::optional<double>> idle = cpuShares(watched, seconds);
    if (!idle[0]) return fail("the program ended while it was measured");
    const std::vector<FrameReports::Report> idleReports = reports.readNew();
    const double idleFrames =
        idleReports.size() >= 2 ? idleReports.back().frames - idleReports.front().frames : -1;
    std::printf("idle, no telemetry, %d s:        program %6.2f %% of a core (Xvfb %.2f %%), %.0f frames\n",
                seconds, *idle[0], idle[1].value_or(-1), idleFrames);

    ChildProcess simulator;
    SpawnRequest request;
    request.program = setting.program("orvane-sim").string();
    request.arguments = {"--rate", std::to_string(kLinesPerSecond), "--quiet"};
    request.errorLog = (setting.scratch() / "orvane-sim.log").string();
    if (!simulator.start(request)) return fail(simulator.error() + " (build the orvane-sim target)");
    std::this_thread::sleep_for(kSimulatorLead);
    reports.readNew();
    const std::vector<std::optional<double>> busy = cpuShares(watched, seconds);
    const std::optional<FrameCost> busyFrames = frameCost(reports.readNew());
    if (!simulator.running())
        return fail("the simulator ended; its log ends:" + tailOfFile(request.errorLog));
    if (!busy[0]) return fail("the program ended while it was measured");
    const double resident = readResidentMiB(program.pid());
    std::printf("%d telemetry lines/s, %d s:        program %6.2f %% of a core (Xvfb %.2f %%)\n",
                kLinesPerSecond, seconds, *busy[0], busy[1].value_or(-1));
    std::printf("resident memory after it:        %.1f MiB\n", resident);
    if (busyFrames) {
        std::printf(
            "  %.1f frames a second; processor time per frame %.2f ms (all of the program's time over "
            "its frames: drawing, the driver's threads, the event loop, the receiver)\n",
            busyFrames->framesPerSecond, busyFrames->processorMsPerFrame);
        scorecard.rememberProgramFrameCost(busyFrames->processorMsPerFrame);
    } else {
        std::printf("  no frame reports during the measurement\n");
    }

    scorecard.judge(kIdleFigure, formatFigure("%.2f", *idle[0]), idleTarget, *idle[0] <= kTargetIdlePercent);
    scorecard.judge(kBusyFigure, formatFigure("%.2f", *busy[0]), busyTarget, *busy[0] <= kTargetBusyPercent);
    scorecard.judge(kResidentFigure, formatFigure("%.1f", resident), residentTarget,
                    resident <= kTargetResidentMiB);
    scorecard.compare("the program at 50 lines/s", *busy[0], resident, scorecard.programStartup());
}

void benchPlatformFloor(BenchSetting& setting, Scorecard& scorecard) {
    struct Floor {
        const char* mode;
        const char* description;
    };
    const Floor floors[] = {
        {"widget", "platform alone: QOpenGLWidget in a QMainWindow"},
        {"window", "platform alone: QOpenGLWindow in a window container"},
    };
    std::string error;
    VirtualDisplay display;
    if (!startDisplay(display, setting, error)) {
        std::printf("%s\n", error.c_str());
        scorecard.notMeasured("platform alone", "-", error);
        return;
    }
    std::optional<double> windowFloorMsPerFrame;
    for (const Floor& floor : floors) {
        ChildProcess window;
        const char* log = "orvane-bench-floor.log";
        if (!startOnDisplay(window, setting, display, "orvane-bench-floor", {floor.mode},
                            setting.scratch().string(), log, true, error)) {
            std::printf("%s\n", error.c_str());
            scorecard.notMeasured(floor.description, "-", error);
            continue;
        }
        const std::optional<double> firstFrame =
            reportedNumber(window.readOutput(kStartupTimeout, 4096, kFirstFrameReportEnd), kFirstFrameLabel);
        if (!firstFrame || !settle(window, setting, "orvane-bench-floor", log, error)) {
            if (!firstFrame)
                error = "orvane-bench-floor showed no first frame; its log ends:" +
                        tailOfFile((setting.scratch() / log).string());
            std::printf("%s\n", error.c_str());
            scorecard.notMeasured(floor.description, "-", error);
            continue;
        }
        const std::vector<std::optional<double>> shares =
            cpuShares({window.pid(), display.process().pid()}, setting.cpuSeconds());
        const double resident = readResidentMiB(window.pid());
        if (!shares[0]) {
            scorecard.notMeasured(floor.description, "-", "the window program ended while it was measured");
            continue;
        }
        // It repaints every 100 ms, so each frame costs a tenth of a second's processor time.
        const double msPerFrame = *shares[0] * 10.0 / kFloorFramesPerSecond;
        std::printf(
            "%s:\n  first frame %.0f ms after the process started; %.2f %% of a core (Xvfb %.2f %%), %.2f ms "
            "per frame; %.1f MiB resident\n",
            floor.description, *firstFrame, *shares[0], shares[1].value_or(-1), msPerFrame, resident);
        scorecard.compare(floor.description, *shares[0], resident, *firstFrame);
        if (std::strcmp(floor.mode, "window") == 0) windowFloorMsPerFrame = msPerFrame;
    }
    // The program's own drawing: what a frame of it costs above a frame of the floor with its class.
    const std::string target = formatFigure("< %.0f", kTargetFrameAboveFloorMs);
    if (!scorecard.programFrameCost() || !windowFloorMsPerFrame) {
        scorecard.notMeasured(kFrameAboveFloorFigure, target, "needs the program and floor sections");
        return;
    }
    const double above = *scorecard.programFrameCost() - *windowFloorMsPerFrame;
    scorecard.judge(
        kFrameAboveFloorFigure,
        formatFigure("%.2f (%.2f - %.2f)", above, *scorecard.programFrameCost(), *windowFloorMsPerFrame),
        target, above < kTargetFrameAboveFloorMs);
}
