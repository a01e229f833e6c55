#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The figures of one orvane-bench run, gathered by the sections and printed together at the end:
// every figure with its target and whether it is met, and the program beside the platform alone.
class Scorecard {
public:
    // A figure and its target; `met` says whether the measured value meets it.
    void judge(const std::string& figure, const std::string& measured, const std::string& target, bool met);
    // A figure that could not be taken, with the reason; it counts as a failure of the run.
    void notMeasured(const std::string& figure, const std::string& target, const std::string& reason);
    // A row of the comparison with the platform alone: CPU share of a core, resident memory and,
    // when known, the start-up time to the first frame.
    void compare(const std::string& what, double cpuPercent, double residentMiB,
                 std::optional<double> startupMs);
    // The program's start-up figure, kept for its row of the comparison.
    void rememberProgramStartup(double milliseconds) { programStartup_ = milliseconds; }
    std::optional<double> programStartup() const { return programStartup_; }
    // The program's processor time per frame at 50 lines a second, for the comparison with the floor.
    void rememberProgramFrameCost(double milliseconds) { programFrameCost_ = milliseconds; }
    std::optional<double> programFrameCost() const { return programFrameCost_; }

    void print(const std::string& screen) const;
    bool allMeasured() const { return allMeasured_; }

private:
    struct Judged {
        std::string figure, measured, target, mark;
    };
    struct Compared {
        std::string what;
        double cpuPercent, residentMiB;
        std::optional<double> startupMs;
    };
    std::vector<Judged> judged_;
    std::vector<Compared> compared_;
    std::optional<double> programStartup_;
    std::optional<double> programFrameCost_;
    bool allMeasured_ = true;
};

// What the sections that run programs need: where the project's programs are, the run folder,
// the screen size of the virtual display and how long each CPU measurement lasts.
class BenchSetting {
public:
    BenchSetting(std::filesystem::path programFolder, std::filesystem::path runFolder, std::string screen,
                 int cpuSeconds);
    ~BenchSetting();
    BenchSetting(const BenchSetting&) = delete;
    BenchSetting& operator=(const BenchSetting&) = delete;

    // The path of a program of the project, next to orvane-bench.
    std::filesystem::path program(const char* name) const { return programFolder_ / name; }
    // The folder the program runs in. Without a given folder, one is laid out here on first use
    // (the map pictures drawn by orvane-mapgen) and removed at the end; empty, with `error` set,
    // when that fails.
    std::filesystem::path runFolder(std::string& error);
    // A scratch folder for logs, removed at the end.
    const std::filesystem::path& scratch() const { return scratch_; }
    const std::string& screen() const { return screen_; }
    int cpuSeconds() const { return cpuSeconds_; }

private:
    std::filesystem::path programFolder_;
    std::filesystem::path runFolder_;
    std::filesystem::path scratch_;
    std::string screen_;
    int cpuSeconds_;
};

// One section of orvane-bench: a named measurement that prints its own figures as it goes and
// records the judged ones. Sections are listed in BenchMain.cpp and run in that order.
struct BenchSection {
    const char* name;
    const char* summary;
    void (*run)(BenchSetting& setting, Scorecard& scorecard);
};

// The telemetry path (TelemetryBench.cpp).
void benchTelemetryParse(BenchSetting& setting, Scorecard& scorecard);
void benchTelemetryReceiver(BenchSetting& setting, Scorecard& scorecard);
void benchTelemetryAllocations(BenchSetting& setting, Scorecard& scorecard);
// Flight recording: the receiver with recording on beside off, and the flight-log tool on a
// one-hour recording (FlightLogBench.cpp).
void benchRecordingReceiver(BenchSetting& setting, Scorecard& scorecard);
void benchFlightLog(BenchSetting& setting, Scorecard& scorecard);
void benchTerrain(BenchSetting& setting, Scorecard& scorecard);
// The logbook over 1000 recordings: indexed once, then listed (LogbookBench.cpp).
void benchLogbook(BenchSetting& setting, Scorecard& scorecard);
// Frame drawing off-screen on Mesa's software renderer (FrameBench.cpp).
void benchFrame(BenchSetting& setting, Scorecard& scorecard);
// A map-sized 24-bit picture with a survey grid over a gradient, like the shipped pictures.
void writeBenchMapPicture(const char* fileName, int width, int height);
// An opened 20000 x 20000 GeoTIFF: first picture, frames at three zooms, a pan, memory
// (ImageryBench.cpp).
void benchImagery(BenchSetting& setting, Scorecard& scorecard);
// Replaying a recorded flight: open, seek and 64x (ReplayBench.cpp).
void benchReplay(BenchSetting& setting, Scorecard& scorecard);
// The running program and the platform alone under a virtual display (ProgramBench.cpp).
void benchStartup(BenchSetting& setting, Scorecard& scorecard);
void benchProgram(BenchSetting& setting, Scorecard& scorecard);
void benchPlatformFloor(BenchSetting& setting, Scorecard& scorecard);

// Wall time since `start`, in milliseconds.
inline double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// printf into a string, for the measured column of the scorecard.
std::string formatFigure(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Heap allocations made by the whole process so far (every operator new is counted).
std::uint64_t allocationCount();
