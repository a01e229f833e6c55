// The end of an orvane-bench run: the table of figures against their targets, and the setting
// that the sections running programs share.
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "bench/BenchSection.h"
#include "bench/ChildProcess.h"

namespace {
constexpr auto kMapDrawingTimeout = std::chrono::seconds(60);
}  // namespace

std::string formatFigure(const char* format, ...) {
    char text[128];
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void Scorecard::judge(const std::string& figure, const std::string& measured, const std::string& target,
                      bool met) {
    judged_.push_back({figure, measured, target, met ? "met" : "NOT met"});
}

void Scorecard::notMeasured(const std::string& figure, const std::string& target, const std::string& reason) {
    judged_.push_back({figure, "-", target, "NOT MEASURED: " + reason});
    allMeasured_ = false;
}

void Scorecard::compare(const std::string& what, double cpuPercent, double residentMiB,
                        std::optional<double> startupMs) {
    compared_.push_back({what, cpuPercent, residentMiB, startupMs});
}

void Scorecard::print(const std::string& screen) const {
    if (!judged_.empty()) {
        std::printf("== summary\n%-44s %-20s %-14s %s\n", "figure", "measured", "target", "");
        for (const Judged& row : judged_) {
            std::printf("%-44s %-20s %-14s %s\n", row.figure.c_str(), row.measured.c_str(),
                        row.target.c_str(), row.mark.c_str());
        }
    }
    if (!compared_.empty()) {
        std::printf(
            "\n== the program beside the platform alone (Xvfb %s, window maximised, repainted every 100 "
            "ms)\n",
            screen.c_str());
        std::printf("%-54s %-16s %-17s %s\n", "", "CPU (one core)", "resident memory", "first frame");
        for (const Compared& row : compared_) {
            const std::string startup = row.startupMs ? formatFigure("%6.0f ms", *row.startupMs) : "     -";
            std::printf("%-54s %6.1f %%         %6.1f MiB        %s\n", row.what.c_str(), row.cpuPercent,
                        row.residentMiB, startup.c_str());
        }
    }
}

BenchSetting::BenchSetting(std::filesystem::path programFolder, std::filesystem::path runFolder,
                           std::string screen, int cpuSeconds)
    : programFolder_(std::move(programFolder)),
      runFolder_(std::move(runFolder)),
      screen_(std::move(screen)),
      cpuSeconds_(cpuSeconds) {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "orvane-bench: no scratch folder in %s\n",
                     std::filesystem::temp_directory_path().c_str());
        std::exit(1);
    }
    scratch_ = pattern;
}

BenchSetting::~BenchSetting() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
}

std::filesystem::path BenchSetting::runFolder(std::string& error) {
    if (!runFolder_.empty()) {
        if (!std::filesystem::is_regular_file(runFolder_ / "site3.bmp")) {
            error = "the run folder " + runFolder_.string() +
                    " has no map pictures (lay it out with scripts/lay-out-run-folder.sh)";
            return {};
        }
        return runFolder_;
    }
    // Inside the scratch folder, so it goes with it.
    const std::filesystem::path folder = scratch_ / "run";
    std::filesystem::create_directories(folder);
    ChildProcess mapTool;
    SpawnRequest request;
    request.program = program("orvane-mapgen").string();
    request.arguments = {"--all", folder.string()};
    request.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
    request.errorLog = (scratch_ / "mapgen.log").string();
    if (!mapTool.start(request)) {
        error = mapTool.error() + " (build the orvane-mapgen target)";
        return {};
    }
    const std::optional<int> status = mapTool.waitFor(kMapDrawingTimeout);
    if (status != 0) {
        error = "orvane-mapgen could not draw the map pictures:" + tailOfFile(request.errorLog);
        return {};
    }
    runFolder_ = folder;
    return runFolder_;
}
