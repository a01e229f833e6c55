#include "tools/stress/StressOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// A whole number or a finite decimal, refusing trailing text.
template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return value;
}

constexpr double kLongestRunSeconds = 86400;

}  // namespace

const char* stressUsage() {
    return "usage: orvane-stress send [--port N] [--storm-seconds S] [--seed N] [--expect-gain-file FILE]\n"
           "                          [--longest-known-seconds S]\n"
           "       orvane-stress compare FIRST.png SECOND.png [--difference OUT.png]\n"
           "send: for S seconds sends 127.0.0.1:N (9001) as many datagrams as it can, a mix of\n"
           "  well-formed, truncated, oversize, random and hostile telemetry; then a known line at\n"
           "  20 Hz until SIGTERM or SIGINT, checking every datagram that comes back against the gain\n"
           "  upload built from the first row of FILE. Exit status 0 when that upload came byte-exact\n"
           "  (or none was expected).\n"
           "compare: exit status 0 when the two pictures match everywhere but the clock line and the\n"
           "  link state with its rate.\n"
           "  -h, --help        show this help and exit\n"
           "  --version         show the name and version and exit\n"
           "Files:\n"
           "  send reads the gain file FILE; compare reads the two pictures and writes OUT.png.\n";
}

StressCommand parseStressCommand(int argc, const char* const* argv) {
    StressCommand command;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        command.error = "a command is needed: send or compare";
        return command;
    }
    if (arguments[0] == "--help" || arguments[0] == "-h") {
        command.helpRequested = true;
        return command;
    }
    if (arguments[0] == "--version") {
        command.versionRequested = true;
        return command;
    }
    auto fail = [&command](std::string message) {
        command.error = std::move(message);
        command.send.reset();
        command.compare.reset();
        return command;
    };
    if (arguments[0] == "send") {
        SendOptions options;
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            const std::string_view name = arguments[i];
            if (i + 1 >= arguments.size()) return fail(std::string(name) + " needs a value");
            const std::string_view value = arguments[++i];
            if (name == "--port") {
                const auto port = parseNumber<int>(value);
                if (!port || *port < 1 || *port > 65535) return fail("--port needs a port number 1..65535");
                options.port = *port;
            } else if (name == "--storm-seconds" || name == "--longest-known-seconds") {
                const auto seconds = parseNumber<double>(value);
                if (!seconds || *seconds < 0 || *seconds > kLongestRunSeconds) {
                    return fail(std::string(name) + " needs a number of seconds 0..86400");
                }
                (name == "--storm-seconds" ? options.stormSeconds : options.longestKnownSeconds) = *seconds;
            } else if (name == "--seed") {
                const auto seed = parseNumber<std::uint64_t>(value);
                if (!seed) return fail("--seed needs a whole number");
                options.seed = *seed;
            } else if (name == "--expect-gain-file") {
                options.expectedGainFile = std::string(value);
            } else {
                return fail("unknown option " + std::string(name));
            }
        }
        command.send = options;
        return command;
    }
    if (arguments[0] == "compare") {
        CompareOptions options;
        std::vector<std::string_view> pictures;
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            if (arguments[i] == "--difference") {
                if (i + 1 >= arguments.size()) return fail("--difference needs a file");
                options.differencePicture = std::string(arguments[++i]);
            } else if (arguments[i].starts_with("--")) {
                return fail("unknown option " + std::string(arguments[i]));
            } else {
                pictures.push_back(arguments[i]);
            }
        }
        if (pictures.size() != 2) return fail("compare needs two pictures");
        options.first = std::string(pictures[0]);
        options.second = std::string(pictures[1]);
        command.compare = options;
        return command;
    }
    return fail("unknown command " + std::string(arguments[0]));
}
