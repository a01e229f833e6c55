#include "app/CommandLine.h"

#include <QDir>

#include <string>
#include <string_view>
#include <vector>

namespace {

// The command-line error for a network option that was refused, with the reason.
QString networkOptionError(const QString& option, const std::string& reason) {
    return option + QLatin1String(": ") + QString::fromStdString(reason);
}

// One row per option: adding an option is a row here and a line in parseCommandLine.
constexpr ProgramOption kOptions[] = {
    {"--user-folder", "",
     "work in $XDG_DATA_HOME/orvane (default ~/.local/share/orvane), laid out on"
     " first start; the desktop menu starts the program so"},
    {"--screenshot", "PNG", "write a picture of the view to PNG and end"},
    {"--after", "SECONDS", "take the screenshot this long after start-up (default 1)"},
    {"--report-startup", "", "print the time to the first frame and the memory used, then end"},
    {"--report-frames", "", "print the count of painted frames once a second"},
    {"--aircraft", "ADDRESS[:PORT]",
     "take telemetry only from this address (and port), and send uploads there; default: any"
     " sender, the last one answered"},
    {"--listen", "ADDRESS", "receive telemetry on this local address only (default: all)"},
    {"--port", "N", "receive telemetry on UDP port N (default 9001)"},
    {"--no-record", "", "record no flight in this run, whatever Flight > Record Flights says"},
    {"--replay", "RECORDING", "show this recorded flight instead of the live link at start"},
};

constexpr ProgramDescription kProgram = {
    "orvane",
    "[OPTION]... [FILE]",
    "Ground-control display for a small unmanned aircraft: receives its telemetry on UDP port 9001,\n"
    "shows it over a map, uploads gains and waypoints, and feeds a cockpit display on UDP port 5800.\n"
    "FILE is opened as the (empty) document.",
    kOptions,
    "  Read and written in the working directory: the maps site1.bmp, site2.bmp, site3.bmp and\n"
    "  user.bmp, the gain file gainsetting.txt, the cockpit display program OpenGC.exe. Started\n"
    "  from the desktop menu (--user-folder) that is $XDG_DATA_HOME/orvane, where the installed\n"
    "  maps are copied and OpenGC.exe is linked to orvane-cockpit on first start, never replacing\n"
    "  a file that is there. Flights are recorded into flights/ there. The recent-file list is kept in "
    "~/.config/Local AppWizard-Generated\n"
    "  Applications/Orvane.conf.",
    true,
};
constexpr double kLongestScreenshotDelaySeconds = 86400;

}  // namespace

const ProgramDescription& orvaneProgram() {
    return kProgram;
}

CommandLine parseCommandLine(const QStringList& arguments, const NameResolver& resolve) {
    std::vector<std::string> words;
    for (qsizetype i = 1; i < arguments.size(); ++i) words.push_back(arguments[i].toStdString());
    const ParsedOptions parsed = parseProgramOptions(kProgram, words);

    CommandLine result;
    result.error = QString::fromStdString(parsed.error);
    if (!parsed.error.empty()) return result;
    if (parsed.positional.size() > 1) {
        result.error = QLatin1String("only one document file can be opened");
        return result;
    }
    if (!parsed.positional.empty()) result.documentFile = QString::fromStdString(parsed.positional.front());
    if (const std::string* file = parsed.value("--screenshot"))
        result.screenshotFile = QString::fromStdString(*file);
    if (const std::string* after = parsed.value("--after")) {
        bool ok = false;
        const double seconds = QString::fromStdString(*after).toDouble(&ok);
        if (!ok || !(seconds >= 0) || seconds > kLongestScreenshotDelaySeconds) {
            result.error =
                QLatin1String("--after needs a number of seconds, not ") + QString::fromStdString(*after);
            return result;
        }
        result.screenshotAfterSeconds = seconds;
        if (!parsed.has("--screenshot")) {
            result.error = QLatin1String("--after goes with --screenshot");
            return result;
        }
    }
    for (const char* option : {"--aircraft", "--listen", "--port"}) {
        const std::string* value = parsed.value(option);
        if (value == nullptr) continue;
        std::string refused;
        if (option == std::string_view("--aircraft")) {
            AircraftAddress aircraft;
            refused = parseAircraftAddress(*value, aircraft, resolve);
            if (refused.empty()) {
                result.aircraft = aircraft;
                result.aircraftText = QString::fromStdString(*value);
            }
        } else if (option == std::string_view("--listen")) {
            refused = parseHostAddress(*value, result.listenAddress, resolve);
            if (refused.empty()) refused = checkLocalAddress(result.listenAddress);
        } else {
            in_port_t port = 0;
            refused = parsePortNumber(*value, port);
            result.telemetryPort = ntohs(port);
        }
        if (!refused.empty()) {
            result.error = networkOptionError(QLatin1String(option), refused);
            return result;
        }
    }
    result.reportStartup = parsed.has("--report-startup");
    result.reportFrames = parsed.has("--report-frames");
    result.userFolder = parsed.has("--user-folder");
    result.noRecord = parsed.has("--no-record");
    if (const std::string* recording = parsed.value("--replay"))
        result.replayFile = QString::fromStdString(*recording);
    return result;
}

void anchorCommandLinePaths(CommandLine& commandLine, const QString& folder) {
    const QDir base(folder);
    for (QString* path : {&commandLine.documentFile, &commandLine.screenshotFile, &commandLine.replayFile}) {
        if (!path->isEmpty()) *path = QDir::cleanPath(base.absoluteFilePath(*path));
    }
}
