#include "tools/sim/SimOptions.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace {

constexpr double kMaxLinesPerSecond = 1000;
// A slower rate would leave the program asleep between two lines for longer than any run lasts.
constexpr double kMinLinesPerSecond = 0.1;
constexpr double kLongestRunSeconds = 86400;

template <typename Number>
std::optional<Number> parseWhole(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

std::optional<double> parseSeconds(std::string_view text) {
    const auto value = parseWhole<double>(text);
    if (!value || !std::isfinite(*value) || *value < 0 || *value > kLongestRunSeconds) return std::nullopt;
    return value;
}

}  // namespace

SimOptionsResult parseSimOptions(int argc, const char* const* argv) {
    SimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string_view(argv[++i]);
        };
        const auto invalid = [&](std::string_view expected) {
            return SimOptionsResult{std::nullopt, std::string(option) + " needs " + std::string(expected)};
        };

        if (option == "--help" || option == "-h") {
            options.helpRequested = true;
        } else if (option == "--version") {
            options.versionRequested = true;
        } else if (option == "--host") {
            const auto host = value();
            if (!host || host->empty()) return invalid("a host name or address");
            options.host = std::string(*host);
        } else if (option == "--port") {
            const auto text = value();
            const auto port = text ? parseWhole<int>(*text) : std::nullopt;
            if (!port || *port < 1 || *port > 65535) return invalid("a port number 1..65535");
            options.port = *port;
        } else if (option == "--rate") {
            const auto text = value();
            const auto rate = text ? parseWhole<double>(*text) : std::nullopt;
            if (!rate || !(*rate >= kMinLinesPerSecond) || *rate > kMaxLinesPerSecond) {
                return invalid("a number of lines per second from 0.1 to 1000");
            }
            options.linesPerSecond = *rate;
        } else if (option == "--gps-loss") {
            options.units.gps = 0;
        } else if (option == "--nav-loss") {
            options.units.nav = 0;
        } else if (option == "--ahrs") {
            const auto text = value();
            const auto state = text ? parseWhole<int>(*text) : std::nullopt;
            if (!state) return invalid("a whole number");
            options.units.ahrs = *state;
        } else if (option == "--stop-after") {
            const auto text = value();
            options.stopAfterSeconds = text ? parseSeconds(*text) : std::nullopt;
            if (!options.stopAfterSeconds) return invalid("a number of seconds from 0 to 86400");
        } else if (option == "--duration") {
            const auto text = value();
            options.durationSeconds = text ? parseSeconds(*text) : std::nullopt;
            if (!options.durationSeconds) return invalid("a number of seconds from 0 to 86400");
        } else if (option == "--quiet") {
            options.quiet = true;
        } else {
            return {std::nullopt, "unknown option " + std::string(option)};
        }
    }
    return {options, {}};
}

const char* simUsage() {
    return "Usage: orvane-sim [options]\n"
           "Flies a simulated aircraft, sends its telemetry lines to the ground station over UDP and\n"
           "prints every datagram the ground station sends back.\n"
           "\n"
           "  --host NAME       ground station host (default 127.0.0.1)\n"
           "  --port N          ground station UDP port (default 9001)\n"
           "  --rate N          telemetry lines per second, 0.1 to 1000 (default 20)\n"
           "  --gps-loss        report GPS lost (gps state 0)\n"
           "  --ahrs N          AHRS state to report (default 2)\n"
           "  --nav-loss        report navigation lost (nav state 0)\n"
           "  --stop-after S    pause sending after S seconds, up to 86400 (SIGUSR1 resumes); keep\n"
           "                    receiving\n"
           "  --duration S      exit after S seconds, up to 86400\n"
           "  --quiet           no periodic position report\n"
           "  --help            show this text and exit\n"
           "  --version         show the name and version and exit\n"
           "\n"
           "Send SIGUSR1 to pause or resume sending; SIGINT or SIGTERM ends the program.\n"
           "\n"
           "Files:\n"
           "  Reads and writes no file; prints the uploads it receives on standard output.\n";
}
