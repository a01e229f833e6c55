// orvane-log: looks at a recorded flight (or any pcap capture of the telemetry link).
#include <QApplication>

#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/OutputFile.h"
#include "common/ProgramOptions.h"
#include "net/SenderAddress.h"
#include "record/CapturedDatagram.h"
#include "tools/log/FlightLog.h"
#include "tools/log/FlightPlot.h"
#include "tools/log/LogReport.h"
#include "tools/log/LogTerrain.h"
#include "tools/log/LogbookReport.h"

namespace {

constexpr ProgramOption kOptions[] = {
    {"--port", "N", "the telemetry port (default: the one the recording names, else 9001)"},
    {"-o", "FILE", "write to FILE instead of the standard output (needed for plot)"},
    {"--size", "WxH", "the plot's size in pixels (default 1600x1200)"},
    {"--elevation", "PATH",
     "an elevation file or folder (SRTM .hgt, GeoTIFF; repeatable): info adds the least height above"
     " ground, csv the columns ground and agl, plot the ground under the altitude"},
    {"--csv", "", "logbook: the rows as CSV with a header line"},
    {"--since", "DATE", "logbook: only flights that started on DATE (YYYY-MM-DD, UTC) or later"},
    {"--aircraft", "ADDRESS", "logbook: only the flights of the aircraft at ADDRESS"},
};

constexpr ProgramDescription kProgram = {
    "orvane-log",
    "COMMAND [FILE|FOLDER]... [OPTION]...",
    "Looks at a flight recorded by the ground station (flights/orvane-*.pcap), or at any classic pcap\n"
    "capture of the telemetry link (tcpdump -w; Ethernet, Linux cooked v1 and v2, BSD loopback and\n"
    "raw IPv4 link types). UDP datagrams to the telemetry port are telemetry, datagrams from it are\n"
    "uploads; everything else is skipped and counted.\n"
    "Commands:\n"
    "  info   start, end, duration, time with the link up, clock steps, counts, drops, line rate,\n"
    "         link gaps, uploads, highest altitude and airspeed, distance flown, last position heard\n"
    "  csv    one row per decoded line: time, sender and the twenty fields\n"
    "  gpx    GPX 1.1: the flown track and each waypoint upload as a route\n"
    "  plot   a picture of the flight: -o OUT.png or OUT.svg\n"
    "  logbook  one row per recording in the folders (default flights/) and files, oldest first,\n"
    "         with the figures of info; then the flights, hours and kilometres per aircraft and\n"
    "         over all. The figures are kept in FOLDER/logbook.sqlite, so that only new or changed\n"
    "         recordings are read; that file may be deleted at any time\n"
    "Exit status: 0 done (a damaged tail is reported and what came before it used), 1 the file\n"
    "(for logbook: a folder or file named) cannot be read or the output written, 2 wrong arguments.",
    kOptions,
    "  Reads FILE, a classic pcap capture; writes the standard output or the file of -o.\n"
    "  logbook reads and writes logbook.sqlite in each folder of recordings (never a recording).",
};

template <typename Number>
bool parseNumber(std::string_view text, Number& value, Number low, Number high) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value >= low && value <= high;
}

bool parseSize(std::string_view text, int& width, int& height) {
    const std::size_t x = text.find('x');
    return x != std::string_view::npos && parseNumber(text.substr(0, x), width, 100, 10000) &&
           parseNumber(text.substr(x + 1), height, 100, 10000);
}

// The logbook to the standard output or `output`; the exit status.
int writeLogbookTo(const LogbookRequest& request, const std::string& output) {
    OutputFile out;
    std::string error;
    if (!out.open(output, error)) {
        std::fprintf(stderr, "orvane-log: %s\n", error.c_str());
        return 1;
    }
    const bool read = writeLogbook(request, out.stream(), stderr);
    if (!out.finish(error)) {
        std::fprintf(stderr, "orvane-log: %s\n", error.c_str());
        return 1;
    }
    return read ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseProgramOptions(kProgram, argumentList(argc, argv));
    if (const auto status = answerCommandLine(kProgram, parsed)) return *status;
    std::string command, file, output;
    std::uint16_t port = kDefaultTelemetryPort;
    int width = 1600, height = 1200;
    if (const std::string* value = parsed.value("--port");
        value != nullptr &&
        !parseNumber(std::string_view(*value), port, std::uint16_t{1}, std::uint16_t{65535})) {
        return refuseCommandLine(kProgram, "--port needs a port number from 1 to 65535");
    }
    if (const std::string* value = parsed.value("-o")) output = *value;
    if (const std::string* value = parsed.value("--size");
        value != nullptr && !parseSize(*value, width, height)) {
        return refuseCommandLine(kProgram, "--size needs WIDTHxHEIGHT, each 100 to 10000");
    }
    if (!parsed.positional.empty()) command = parsed.positional[0];
    LogbookRequest logbook;
    // Without --port, each recording is read on the port it names (0 here).
    logbook.port = parsed.value("--port") != nullptr ? port : 0;
    logbook.csv = parsed.has("--csv");
    if (const std::string* value = parsed.value("--since")) {
        logbook.filter.sinceMicros = parseLogbookDate(*value);
        if (!logbook.filter.sinceMicros)
            return refuseCommandLine(kProgram, "--since needs a date YYYY-MM-DD");
    }
    if (const std::string* value = parsed.value("--aircraft")) {
        in_addr_t address = 0;
        const std::string refused = parseHostAddress(*value, address);
        if (!refused.empty()) return refuseCommandLine(kProgram, "--aircraft: " + refused);
        logbook.filter.aircraft = ntohl(address);
    }
    if (command != "logbook" && (parsed.has("--csv") || parsed.has("--since") || parsed.has("--aircraft"))) {
        return refuseCommandLine(kProgram, "--csv, --since and --aircraft are options of logbook");
    }
    if (command == "logbook") {
        for (std::size_t i = 1; i < parsed.positional.size(); ++i)
            logbook.sources.emplace_back(parsed.positional[i]);
        if (logbook.sources.empty()) logbook.sources.emplace_back("flights");
        if (parsed.has("--elevation"))
            return refuseCommandLine(kProgram, "--elevation is not an option of logbook");
        return writeLogbookTo(logbook, output);
    }
    if (parsed.positional.size() > 2) return refuseCommandLine(kProgram, "one file at a time");
    if (parsed.positional.size() > 1) file = parsed.positional[1];
    if (command != "info" && command != "csv" && command != "gpx" && command != "plot") {
        return refuseCommandLine(kProgram,
                                 command.empty() ? "no command given" : "unknown command " + command);
    }
    if (file.empty()) return refuseCommandLine(kProgram, "no file given");
    // Without --port, the port the recorder noted in the file (older files and other tools: 9001).
    if (parsed.value("--port") == nullptr) port = recordedTelemetryPort(file).value_or(kDefaultTelemetryPort);
    if (command == "plot" && output.empty())
        return refuseCommandLine(kProgram, "plot needs -o OUT.png or OUT.svg");

    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    FlightLog log;
    std::string error;
    if (!readFlightLog(file, port, log, error)) {
        std::fprintf(stderr, "orvane-log: %s\n", error.c_str());
        return 1;
    }
    if (const std::vector<std::string> elevation = parsed.values("--elevation"); !elevation.empty()) {
        addGround(log, elevation, [](const std::string& message) {
            std::fprintf(stderr, "orvane-log: %s\n", message.c_str());
        });
    }
    if (!log.tailProblem.empty()) {
        std::fprintf(stderr, "orvane-log: %s; everything before it is used\n", log.tailProblem.c_str());
    }

    if (command == "plot") {
        // The picture is drawn off-screen: no display is needed.
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication application(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        if (!writeFlightPlot(log, QString::fromStdString(output), QSize(width, height), error)) {
            std::fprintf(stderr, "orvane-log: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }

    OutputFile out;
    if (!out.open(output, error)) {
        std::fprintf(stderr, "orvane-log: %s\n", error.c_str());
        return 1;
    }
    if (command == "info") {
        writeInfo(log, out.stream());
    } else if (command == "csv") {
        writeCsv(log, out.stream());
    } else {
        writeGpx(log, out.stream());
    }
    if (!out.finish(error)) {
        std::fprintf(stderr, "orvane-log: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
