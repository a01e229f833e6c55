#include "tools/stress/StormTraffic.h"

#include <algorithm>

#include "tools/sim/TelemetryLine.h"

namespace {

// Shares of the mix, out of their sum: mostly decodable text, so the view keeps repainting, with
// every kind of bad input in between.
constexpr std::array<int, kStormKindCount> kMixWeights{3, 2, 1, 2, 2};
constexpr int kTelemetryFieldCount = 20;
// A hostile line replaces each field with a hostile token with this chance, in percent.
constexpr int kHostileFieldPercent = 30;

}  // namespace

const char* stormKindName(StormKind kind) {
    switch (kind) {
        case StormKind::valid:
            return "valid";
        case StormKind::truncated:
            return "truncated";
        case StormKind::oversize:
            return "oversize";
        case StormKind::noise:
            return "noise";
        case StormKind::hostile:
            return "hostile";
    }
    return "?";
}

const std::vector<std::string>& hostileFieldTokens() {
    static const std::vector<std::string> tokens = {
        "nan",        "-nan",        "NAN",         "nan(0x7ff)", "inf",
        "-inf",       "+inf",        "Infinity",    "-INFINITY",  "1e39",
        "-1e39",      "3.5e38",      "-3.5e38",     "1e308",      "-1.8e308",
        "1e309",      "-1e309",      "1e-400",      "4e-46",      "2147483647",
        "2147483648", "-2147483648", "-2147483649", "4294967297", "99999999999999999999",
        "65535",      "65536",       "65537",       "-32769",     "32767",
        "-32768",     "5",           "-1",          "0x1p10",     "0xFFFFFFFF",
        "0x",         "0x1.8p1",     "-0x7fffffff", "0X7F800000", "",
        "-",          "+",           ".",           "e5",         "1e",
        "1e+",        "1.2.3",       "--1",         "+-1",        "1,5",
        "\xc3\xa9",   "\x7f",
    };
    return tokens;
}

StormTraffic::StormTraffic(std::uint64_t seed) : random_(seed), pool_(2 * kLargestUdpPayload) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::uint8_t& b : pool_) b = static_cast<std::uint8_t>(byte(random_));
}

void StormTraffic::appendRandomBytes(std::vector<std::uint8_t>& datagram, std::size_t count) {
    while (count > 0) {
        std::uniform_int_distribution<std::size_t> place(0, pool_.size() - 1);
        const std::size_t from = place(random_);
        const std::size_t take = std::min(count, pool_.size() - from);
        datagram.insert(datagram.end(), pool_.begin() + static_cast<std::ptrdiff_t>(from),
                        pool_.begin() + static_cast<std::ptrdiff_t>(from + take));
        count -= take;
    }
}

StormKind StormTraffic::next(std::vector<std::uint8_t>& datagram) {
    std::discrete_distribution<int> pick(kMixWeights.begin(), kMixWeights.end());
    const auto kind = static_cast<StormKind>(pick(random_));
    make(kind, datagram);
    return kind;
}

TelemetrySample StormTraffic::plausibleSample() {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    TelemetrySample s;
    s.p = unit(random_);
    s.q = unit(random_);
    s.r = unit(random_);
    s.ax = 3 * unit(random_);
    s.ay = 3 * unit(random_);
    s.az = -9.8 + unit(random_);
    s.phi = unit(random_);
    s.theta = 0.5 * unit(random_);
    s.psi = 3.14 * unit(random_);
    s.palt = 150 + 50 * unit(random_);
    s.cas = 20 + 5 * unit(random_);
    s.lat = 39.987 + 0.002 * unit(random_);
    s.lon = -75.212 + 0.002 * unit(random_);
    s.alt = 150 + 50 * unit(random_);
    std::uniform_int_distribution<int> status(0, 4);
    s.gps = status(random_) % 2;
    s.ahrs = status(random_);
    s.nav = status(random_) % 2;
    return s;
}

std::string StormTraffic::validLine() {
    // Plausible values always fit; the fallback only keeps the generator total.
    return formatTelemetryLine(plausibleSample()).value_or(std::string("0 0 0\n"));
}

std::string StormTraffic::hostileToken() {
    const auto& tokens = hostileFieldTokens();
    std::uniform_int_distribution<std::size_t> which(0, tokens.size() + 2);
    const std::size_t index = which(random_);
    if (index < tokens.size()) return tokens[index];
    // Very long numbers: whole, fractional, and with a leading run of zeros.
    std::uniform_int_distribution<std::size_t> length(20, 150);
    std::uniform_int_distribution<int> digit(0, 9);
    std::string number;
    const std::size_t digits = length(random_);
    if (index == tokens.size() + 1) number = "0.";
    if (index == tokens.size() + 2) number = std::string(digits / 2, '0');
    while (number.size() < digits) number.push_back(static_cast<char>('0' + digit(random_)));
    return number;
}

void StormTraffic::make(StormKind kind, std::vector<std::uint8_t>& datagram) {
    datagram.clear();
    auto append = [&datagram](const std::string& text) {
        datagram.insert(datagram.end(), text.begin(), text.end());
    };
    switch (kind) {
        case StormKind::valid:
            append(validLine());
            break;
        case StormKind::truncated: {
            const std::string line = validLine();
            std::uniform_int_distribution<std::size_t> cut(0, line.size() - 1);
            append(line.substr(0, cut(random_)));
            break;
        }
        case StormKind::oversize: {
            // The edges of the range come up often; what follows a well-formed line is filler, so a
            // receiver that decoded the start of a refused datagram would show its values.
            std::uniform_int_distribution<int> edge(0, 7);
            std::uniform_int_distribution<std::size_t> size(kStationLineLimit + 1, kLargestUdpPayload);
            const int choice = edge(random_);
            const std::size_t length = choice == 0   ? kStationLineLimit + 1
                                       : choice == 1 ? kLargestUdpPayload
                                                     : size(random_);
            append(validLine());
            if (datagram.size() < length) appendRandomBytes(datagram, length - datagram.size());
            datagram.resize(length);
            break;
        }
        case StormKind::noise: {
            std::uniform_int_distribution<std::size_t> size(1, kStationLineLimit);
            appendRandomBytes(datagram, size(random_));
            break;
        }
        case StormKind::hostile: {
            // The fields of a well-formed line, some replaced; blanks, tabs or nothing between.
            std::string line;
            const std::string valid = validLine();
            std::size_t start = 0;
            std::uniform_int_distribution<int> percent(0, 99);
            for (int field = 0; field < kTelemetryFieldCount; ++field) {
                const std::size_t end = std::min(valid.find_first_of(" \n", start), valid.size());
                std::string token = valid.substr(start, end - start);
                start = std::min(end + 1, valid.size());
                if (percent(random_) < kHostileFieldPercent) token = hostileToken();
                if (field > 0) line += percent(random_) < 10 ? "\t" : " ";
                line += token;
            }
            line += '\n';
            // A line longer than the station reads would be an oversize datagram, not this kind.
            if (line.size() > kStationLineLimit) line.resize(kStationLineLimit);
            append(line);
            break;
        }
    }
}
