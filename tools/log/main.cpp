// orvane-log: looks at a recorded flight (or any pcap capture of the telemetry link).
#include <QApplication>

#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "tools/log/FlightLog.h"
#include "tools/log/FlightPlot.h"
#include "tools/log/LogReport.h"

namespace {

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: orvane-log COMMAND FILE [options]\n"
        "Looks at a flight recorded by the ground station (flights/orvane-*.pcap), or at any classic pcap\n"
        "capture of the telemetry link (tcpdump -w; Ethernet, Linux cooked v1 and v2, BSD loopback and\n"
        "raw IPv4 link types). UDP datagrams to the telemetry port are telemetry, datagrams from it are\n"
        "uploads; everything else is skipped and counted.\n"
        "commands:\n"
        "  info   start, end, duration, counts, drops, line rate, link gaps, uploads, highest altitude\n"
        "         and airspeed, distance flown and the last position heard\n"
        "  csv    one row per decoded line: time, sender and the twenty fields\n"
        "  gpx    GPX 1.1: the flown track and each waypoint upload as a route\n"
        "  plot   a picture of the flight: -o OUT.png or OUT.svg\n"
        "options:\n"
        "  --port N     the telemetry port (default 9001)\n"
        "  -o FILE      write to FILE instead of the standard output (needed for plot)\n"
        "  --size WxH   the plot's size in pixels (default 1600x1200)\n"
        "  -h, --help   this text\n"
        "exit status: 0 done (a damaged tail is reported and what came before it used), 1 the file\n"
        "cannot be read or the output written, 2 wrong arguments\n",
        out);
}

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

int usageError(const std::string& message) {
    std::fprintf(stderr, "orvane-log: %s\n", message.c_str());
    printUsage(stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command, file, output;
    std::uint16_t port = kDefaultTelemetryPort;
    int width = 1600, height = 1200;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "-h" || argument == "--help") {
            printUsage(stdout);
            return 0;
        } else if (argument == "--port") {
            if (!hasValue ||
                !parseNumber(std::string_view(argv[++i]), port, std::uint16_t{1}, std::uint16_t{65535})) {
                return usageError("--port needs a port number from 1 to 65535");
            }
        } else if (argument == "-o") {
            if (!hasValue) return usageError("-o needs a file name");
            output = argv[++i];
        } else if (argument == "--size") {
            if (!hasValue || !parseSize(argv[++i], width, height)) {
                return usageError("--size needs WIDTHxHEIGHT, each 100 to 10000");
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            return usageError("unknown option " + std::string(argument));
        } else if (command.empty()) {
            command = argument;
        } else if (file.empty()) {
            file = argument;
        } else {
            return usageError("one file at a time");
        }
    }
    if (command != "info" && command != "csv" && command != "gpx" && command != "plot") {
        return usageError(command.empty() ? "no command given" : "unknown command " + command);
    }
    if (file.empty()) return usageError("no file given");
    if (command == "plot" && output.empty()) return usageError("plot needs -o OUT.png or OUT.svg");

    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    FlightLog log;
    std::string error;
    if (!readFlightLog(file, port, log, error)) {
        std::fprintf(stderr, "orvane-log: %s\n", error.c_str());
        return 1;
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

    std::FILE* out = stdout;
    if (!output.empty()) {
        out = std::fopen(output.c_str(), "w");
        if (out == nullptr) {
            std::fprintf(stderr, "orvane-log: %s cannot be written: %s\n", output.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    if (command == "info") {
        writeInfo(log, out);
    } else if (command == "csv") {
        writeCsv(log, out);
    } else {
        writeGpx(log, out);
    }
    const bool written = std::fflush(out) == 0 && std::ferror(out) == 0;
    if (out != stdout && std::fclose(out) != 0) {
        std::fprintf(stderr, "orvane-log: %s cannot be written\n", output.c_str());
        return 1;
    }
    if (!written) {
        std::fprintf(stderr, "orvane-log: the output cannot be written\n");
        return 1;
    }
    return 0;
}
