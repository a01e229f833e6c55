#include "net/UplinkDecoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string_view>

#include "net/UplinkFrame.h"

namespace {

[[gnu::format(printf, 1, 2)]] std::string formatted(const char* format, ...) {
    char text[160];
    std::va_list values;
    va_start(values, format);
    const int length = std::vsnprintf(text, sizeof text, format, values);
    va_end(values);
    return std::string(text, static_cast<std::size_t>(std::clamp(length, 0, int{sizeof text} - 1)));
}

// Splits the text at blanks; fields never include a blank.
class Fields {
public:
    explicit Fields(std::string_view text) : text_(text) {}

    std::optional<std::string_view> next() {
        while (position_ < text_.size() && text_[position_] == ' ') ++position_;
        if (position_ == text_.size()) return std::nullopt;
        const std::size_t start = position_;
        while (position_ < text_.size() && text_[position_] != ' ') ++position_;
        return text_.substr(start, position_ - start);
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

template <typename Number>
std::optional<Number> parseWhole(std::optional<std::string_view> field) {
    if (!field) return std::nullopt;
    Number value{};
    const char* end = field->data() + field->size();
    const auto [stop, error] = std::from_chars(field->data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<Number>) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return value;
}

Uplink decodeGains(Fields& fields, std::size_t length) {
    const auto mode = parseWhole<int>(fields.next());
    if (!mode) return RejectedUplink{length, "G: flight mode is not a whole number"};
    if (*mode < 0 || *mode >= kGainModeCount) {
        return RejectedUplink{length,
                              formatted("G: flight mode %d out of range 0..%d", *mode, kGainModeCount - 1)};
    }
    GainUplink gains{*mode};
    double* const targets[] = {&gains.proportional, &gains.integral, &gains.derivative};
    const char* const names[] = {"proportional", "integral", "derivative"};
    for (int i = 0; i < 3; ++i) {
        const auto value = parseWhole<double>(fields.next());
        if (!value) return RejectedUplink{length, formatted("G: %s gain missing or not a number", names[i])};
        *targets[i] = *value;
    }
    if (fields.next()) return RejectedUplink{length, "G: unexpected text after the three gains"};
    return gains;
}

Uplink decodeWaypoints(Fields& fields, std::size_t length) {
    const auto count = parseWhole<int>(fields.next());
    if (!count) return RejectedUplink{length, "W: count is not a whole number"};
    if (*count < 0 || *count > kMaxUplinkWaypoints) {
        return RejectedUplink{length,
                              formatted("W: count %d out of range 0..%d", *count, kMaxUplinkWaypoints)};
    }
    WaypointUplink route;
    for (int i = 1; i <= *count; ++i) {
        const auto lat = parseWhole<double>(fields.next());
        const auto lon = parseWhole<double>(fields.next());
        if (!lat || !lon) {
            return RejectedUplink{length, formatted("W: waypoint %d missing or not a number", i)};
        }
        if (std::abs(*lat) > 90 || std::abs(*lon) > 180) {
            return RejectedUplink{
                length, formatted("W: waypoint %d (%.6f, %.6f) is not a place on earth", i, *lat, *lon)};
        }
        route.waypoints.push_back({*lat, *lon});
    }
    if (fields.next()) return RejectedUplink{length, "W: more values than the count announces"};
    return route;
}

}  // namespace

RejectedUplink rejectOversizedUplink(std::size_t length) {
    return {length, formatted("wrong length (expected %d bytes)", kUplinkSize)};
}

Uplink decodeUplink(std::span<const std::uint8_t> datagram) {
    const std::size_t length = datagram.size();
    if (length != static_cast<std::size_t>(kUplinkSize)) return rejectOversizedUplink(length);

    UplinkDatagram frame{};
    std::copy(datagram.begin(), datagram.end(), frame.begin());
    const std::uint8_t sum = uplinkChecksum(frame);
    if (sum != frame[kUplinkSize - 1]) {
        return RejectedUplink{length, formatted("checksum byte is 0x%02X but the bytes sum to 0x%02X",
                                                frame[kUplinkSize - 1], sum)};
    }

    // The text ends at its first zero byte; a text of 179 characters ends where the checksum
    // starts. Everything after the terminator must be zero padding.
    const auto textEnd = std::find(frame.begin(), frame.end() - 1, std::uint8_t{0});
    const auto textLength = static_cast<std::size_t>(textEnd - frame.begin());
    for (std::size_t i = 0; i < textLength; ++i) {
        if (frame[i] < 0x20 || frame[i] > 0x7E) {
            return RejectedUplink{length, formatted("byte %zu (0x%02X) is not printable text", i, frame[i])};
        }
    }
    for (std::size_t i = textLength; i + 1 < frame.size(); ++i) {
        if (frame[i] != 0) {
            return RejectedUplink{length,
                                  formatted("byte %zu after the text is 0x%02X, not zero", i, frame[i])};
        }
    }

    const std::string_view text(reinterpret_cast<const char*>(frame.data()), textLength);
    Fields fields(text);
    const auto command = fields.next();
    if (!command) return RejectedUplink{length, "empty text"};
    if (*command == "G") return decodeGains(fields, length);
    if (*command == "W") return decodeWaypoints(fields, length);
    std::string shown(command->substr(0, 16));
    return RejectedUplink{length, "unknown command \"" + shown + "\""};
}

std::vector<std::string> describeUplink(const Uplink& uplink) {
    std::vector<std::string> lines;
    if (const auto* gains = std::get_if<GainUplink>(&uplink)) {
        lines.push_back(formatted("G: mode %d gains P %f I %f D %f", gains->mode, gains->proportional,
                                  gains->integral, gains->derivative));
    } else if (const auto* route = std::get_if<WaypointUplink>(&uplink)) {
        lines.push_back(
            formatted("W: %zu waypoint%s", route->waypoints.size(), route->waypoints.size() == 1 ? "" : "s"));
        for (std::size_t i = 0; i < route->waypoints.size(); ++i) {
            lines.push_back(formatted("  %zu: lat %.6f lon %.6f", i + 1, route->waypoints[i].lat,
                                      route->waypoints[i].lon));
        }
    } else {
        const auto& rejected = std::get<RejectedUplink>(uplink);
        lines.push_back(formatted("rejected %zu bytes: %s", rejected.length, rejected.reason.c_str()));
    }
    return lines;
}
