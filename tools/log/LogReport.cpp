#include "tools/log/LogReport.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <ctime>
#include <variant>

#include "record/CaptureFormat.h"

namespace {

constexpr const char* kFlightModes[] = {"Pitch Stabilization", "Roll Stabilization", "Heading Stabilization",
                                        "Altitude Hold", "Waypoint Control"};

std::tm brokenDown(std::int64_t micros, bool local) {
    const std::time_t seconds =
        static_cast<std::time_t>(micros >= 0 ? micros / 1000000 : (micros - 999999) / 1000000);
    std::tm parts{};
    if (local) {
        ::localtime_r(&seconds, &parts);
    } else {
        ::gmtime_r(&seconds, &parts);
    }
    return parts;
}

std::int64_t microsOfSecond(std::int64_t micros) {
    const std::int64_t rest = micros % 1000000;
    return rest < 0 ? rest + 1000000 : rest;
}

enum class Layout { iso, readable, clock };

std::string formatTime(std::int64_t micros, bool local, Layout layout, int fractionDigits, bool zone) {
    const std::tm parts = brokenDown(micros, local);
    char text[96];
    std::size_t length = 0;
    switch (layout) {
        case Layout::iso:
            length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
            break;
        case Layout::readable:
            length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
            break;
        case Layout::clock:
            length = std::strftime(text, sizeof text, "%H:%M:%S", &parts);
            break;
    }
    std::int64_t fraction = microsOfSecond(micros);
    for (int i = fractionDigits; i < 6; ++i) fraction /= 10;
    if (fractionDigits > 0) {
        length += static_cast<std::size_t>(
            std::snprintf(text + length, sizeof text - length, ".%0*" PRId64, fractionDigits, fraction));
    }
    std::string result(text, length);
    if (zone) {
        char name[32];
        std::strftime(name, sizeof name, " %Z", &parts);
        result += name;
    }
    return result;
}

std::string clockUtc(std::int64_t micros) {
    return formatTime(micros, false, Layout::clock, 3, false) + " UTC";
}

}  // namespace

// Rounded to the tenth once, then split, so that no part reads 60.
std::string durationText(std::int64_t micros) {
    const long long tenths = static_cast<long long>((std::max<std::int64_t>(micros, 0) + 50000) / 100000);
    const long long seconds = tenths / 10;
    char text[96];
    std::snprintf(text, sizeof text, "%lld h %02lld min %02lld.%lld s (%lld.%lld s)", seconds / 3600,
                  seconds / 60 % 60, seconds % 60, tenths % 10, seconds, tenths % 10);
    return text;
}

namespace {

const char* linkTypeName(std::uint32_t linkType) {
    switch (static_cast<LinkType>(linkType)) {
        case LinkType::bsdLoopback:
            return "BSD loopback";
        case LinkType::ethernet:
            return "Ethernet";
        case LinkType::rawIpv4:
            return "raw IP";
        case LinkType::openBsdLoopback:
            return "OpenBSD loopback";
        case LinkType::linuxCooked:
            return "Linux cooked v1";
        case LinkType::ipv4:
            return "raw IPv4";
        case LinkType::linuxCooked2:
            return "Linux cooked v2";
    }
    return "unknown";
}

void writeUpload(const LoggedUpload& upload, std::FILE* out) {
    std::fprintf(out, "  %s (+%s s) to %s: ", clockUtc(upload.timeMicros).c_str(),
                 secondsSince(0, upload.flightMicros).c_str(), endpointText(upload.destination).c_str());
    if (const auto* gains = std::get_if<GainUplink>(&upload.decoded)) {
        std::fprintf(out, "gains for mode %d (%s): P %s I %s D %s\n", gains->mode,
                     flightModeName(gains->mode), exactNumber(gains->proportional).c_str(),
                     exactNumber(gains->integral).c_str(), exactNumber(gains->derivative).c_str());
    } else if (const auto* route = std::get_if<WaypointUplink>(&upload.decoded)) {
        std::fprintf(out, "%zu waypoint%s\n", route->waypoints.size(),
                     route->waypoints.size() == 1 ? "" : "s");
        for (std::size_t i = 0; i < route->waypoints.size(); ++i) {
            std::fprintf(out, "    %zu: %.6f %.6f\n", i + 1, route->waypoints[i].lat,
                         route->waypoints[i].lon);
        }
    } else {
        const auto& rejected = std::get<RejectedUplink>(upload.decoded);
        std::fprintf(out, "not an upload the aircraft takes (%zu bytes: %s)\n", rejected.length,
                     rejected.reason.c_str());
    }
}

void writeClockSteps(const FlightTimeline& timeline, std::FILE* out) {
    if (timeline.steps().empty()) {
        std::fprintf(out, "%-24s none\n", "clock steps");
        return;
    }
    std::fprintf(
        out, "%-24s %" PRIu64 " back, %" PRIu64 " forward over a day (the flight counted in record order)\n",
        "clock steps", timeline.backwardSteps(), timeline.forwardJumps());
    for (const FlightTimeline::Step& step : timeline.steps()) {
        std::fprintf(out, "  +%s s: the clock went %s %s s\n", secondsSince(0, step.flightMicros).c_str(),
                     step.clockMicros < 0 ? "back" : "forward",
                     secondsSince(0, step.clockMicros < 0 ? -step.clockMicros : step.clockMicros).c_str());
    }
}

void writeAt(const char* what, const LoggedLine* line, float value, std::FILE* out) {
    if (line == nullptr) {
        std::fprintf(out, "%-24s none heard\n", what);
        return;
    }
    std::fprintf(out, "%-24s %s at %s (+%s s)\n", what, exactNumber(value).c_str(),
                 clockUtc(line->timeMicros).c_str(), secondsSince(0, line->flightMicros).c_str());
}

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

const char* flightModeName(int mode) {
    return mode >= 0 && mode < static_cast<int>(std::size(kFlightModes)) ? kFlightModes[mode]
                                                                         : "unknown mode";
}

std::string isoUtc(std::int64_t micros) {
    return formatTime(micros, false, Layout::iso, 6, false) + "Z";
}

std::string readableUtc(std::int64_t micros) {
    return formatTime(micros, false, Layout::readable, 3, false) + " UTC";
}

std::string readableLocal(std::int64_t micros) {
    return formatTime(micros, true, Layout::readable, 3, true);
}

std::string secondsSince(std::int64_t start, std::int64_t at) {
    const std::int64_t difference = at - start;
    char text[40];
    std::snprintf(text, sizeof text, "%s%" PRId64 ".%06" PRId64, difference < 0 ? "-" : "",
                  (difference < 0 ? -difference : difference) / 1000000,
                  (difference < 0 ? -difference : difference) % 1000000);
    return text;
}

std::string exactNumber(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string exactNumber(float value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void writeInfo(const FlightLog& log, std::FILE* out) {
    const FlightSummary summary = summarizeFlight(log);
    std::fprintf(out, "%-24s %s\n", "file", log.path.c_str());
    std::fprintf(out, "%-24s %s, telemetry to port %u\n", "capture", linkTypeName(log.linkType), log.port);
    if (!log.tailProblem.empty()) std::fprintf(out, "%-24s %s\n", "damage", log.tailProblem.c_str());
    std::fprintf(out, "%-24s %s (%s)\n", "start", readableUtc(log.startMicros).c_str(),
                 readableLocal(log.startMicros).c_str());
    std::fprintf(out, "%-24s %s (%s)\n", "end", readableUtc(log.endMicros).c_str(),
                 readableLocal(log.endMicros).c_str());
    std::fprintf(out, "%-24s %s\n", "duration", durationText(summary.durationMicros).c_str());
    std::fprintf(out, "%-24s %s\n", "link up", durationText(summary.linkUpMicros).c_str());
    writeClockSteps(log.timeline, out);
    std::fprintf(out, "%-24s %s\n", "aircraft",
                 summary.aircraftAddress != 0 ? addressText(summary.aircraftAddress).c_str() : "none heard");
    std::fprintf(out, "%-24s %" PRIu64 "\n", "datagrams received", log.datagramsReceived);
    std::fprintf(out, "%-24s %zu (%" PRIu64 " with fewer than twenty fields)\n", "lines decoded",
                 log.lines.size(), log.incompleteLines);
    std::fprintf(
        out, "%-24s empty %" PRIu64 ", over 200 bytes %" PRIu64 ", cut short by the capture %" PRIu64 "\n",
        "datagrams refused", log.refusedEmpty, log.refusedOversize, log.refusedCutByCapture);
    if (log.refusedOtherSender > 0) {
        std::fprintf(out, "%-24s %" PRIu64 " (not from the pinned aircraft)\n", "lines of other senders",
                     log.refusedOtherSender);
    }
    if (log.drops) {
        std::fprintf(out, "%-24s %" PRIu64 "\n", "drops", *log.drops);
    } else {
        std::fprintf(out, "%-24s unknown (not a recording of the ground station)\n", "drops");
    }
    std::fprintf(out, "%-24s %" PRIu64 " other traffic, %" PRIu64 " fragments, %" PRIu64 " damaged\n",
                 "records skipped", log.otherRecords, log.fragments, log.damagedRecords);
    for (const std::string& damage : log.damage) std::fprintf(out, "  %s\n", damage.c_str());
    if (summary.medianRate) {
        std::fprintf(out, "%-24s median %s, min %s lines/s (whole seconds while the link was up)\n",
                     "line rate", exactNumber(*summary.medianRate).c_str(),
                     exactNumber(*summary.minRate).c_str());
    } else {
        std::fprintf(out, "%-24s not measured (under two seconds of lines)\n", "line rate");
    }
    std::fprintf(out, "%-24s %zu\n", "link gaps over 1 s", summary.gaps.size());
    for (const LinkGap& gap : summary.gaps) {
        std::fprintf(out, "  %s (+%s s) for %.3f s\n", clockUtc(gap.clockMicros).c_str(),
                     secondsSince(0, gap.startMicros).c_str(), static_cast<double>(gap.lengthMicros) / 1e6);
    }
    std::fprintf(out, "%-24s %zu\n", "uploads", log.uploads.size());
    for (const LoggedUpload& upload : log.uploads) writeUpload(upload, out);
    writeAt("highest altitude", summary.highestAltitude,
            summary.highestAltitude != nullptr ? summary.highestAltitude->values.alt : 0.0f, out);
    writeAt("highest airspeed", summary.highestAirspeed,
            summary.highestAirspeed != nullptr ? summary.highestAirspeed->values.cas : 0.0f, out);
    std::fprintf(out, "%-24s %.3f km\n", "distance flown", summary.distanceMetres / 1000.0);
    if (const LoggedLine* last = summary.lastPosition) {
        std::fprintf(out, "%-24s %.6f %.6f, altitude %s, at %s (+%s s)\n", "last position heard",
                     last->values.lat, last->values.lon, exactNumber(last->values.alt).c_str(),
                     clockUtc(last->timeMicros).c_str(), secondsSince(0, last->flightMicros).c_str());
    } else {
        std::fprintf(out, "%-24s none\n", "last position heard");
    }
    if (log.terrainInUse) writeLeastClearance(log, out);
}

void writeLeastClearance(const FlightLog& log, std::FILE* out) {
    const LoggedLine* least = nullptr;
    for (const LoggedLine& line : log.lines) {
        if (!std::isfinite(line.ground) || !std::isfinite(line.values.alt)) continue;
        if (least == nullptr || line.values.alt - line.ground < least->values.alt - least->ground)
            least = &line;
    }
    if (least == nullptr) {
        std::fprintf(out, "%-24s no terrain under the flight\n", "least height above ground");
        return;
    }
    std::fprintf(out, "%-24s %.1f m at %.5f %.5f, at %s (+%s s)\n", "least height above ground",
                 least->values.alt - least->ground, least->values.lat, least->values.lon,
                 clockUtc(least->timeMicros).c_str(),
                 secondsSince(log.startMicros, least->timeMicros).c_str());
}

void writeCsv(const FlightLog& log, std::FILE* out) {
    std::fputs(
        "time_s,time_utc,sender,p,q,r,ax,ay,az,phi,theta,psi,aux10,aux11,aux12,palt,cas,lat,lon,alt,"
        "gpsStatus,ahrsStatus,navStatus",
        out);
    std::fputs(log.terrainInUse ? ",ground,agl\n" : "\n", out);
    for (const LoggedLine& line : log.lines) {
        const TelemetryValues& v = line.values;
        std::string row = secondsSince(0, line.flightMicros) + "," + isoUtc(line.timeMicros) + "," +
                          endpointText(line.sender);
        for (const float value : {v.p, v.q, v.r, v.ax, v.ay, v.az, v.phi, v.theta, v.psi, v.aux10, v.aux11,
                                  v.aux12, v.palt, v.cas}) {
            row += "," + exactNumber(value);
        }
        row += "," + exactNumber(v.lat) + "," + exactNumber(v.lon) + "," + exactNumber(v.alt);
        for (const int status : {v.gpsStatus, v.ahrsStatus, v.navStatus}) row += "," + std::to_string(status);
        // Empty where no terrain lies under the line.
        if (log.terrainInUse && std::isfinite(line.ground)) {
            row += "," + exactNumber(line.ground) + "," + exactNumber(double{v.alt} - line.ground);
        } else if (log.terrainInUse) {
            row += ",,";
        }
        row += "\n";
        std::fputs(row.c_str(), out);
    }
}

void writeGpx(const FlightLog& log, std::FILE* out) {
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"orvane-log\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n",
        out);
    int routeNumber = 0;
    for (const LoggedUpload& upload : log.uploads) {
        const auto* route = std::get_if<WaypointUplink>(&upload.decoded);
        if (route == nullptr) continue;
        std::fprintf(out, "  <rte>\n    <name>Waypoint upload %d</name>\n    <desc>sent %s to %s</desc>\n",
                     ++routeNumber, isoUtc(upload.timeMicros).c_str(),
                     endpointText(upload.destination).c_str());
        for (std::size_t i = 0; i < route->waypoints.size(); ++i) {
            std::fprintf(out, "    <rtept lat=\"%s\" lon=\"%s\"><name>%zu</name></rtept>\n",
                         exactNumber(route->waypoints[i].lat).c_str(),
                         exactNumber(route->waypoints[i].lon).c_str(), i + 1);
        }
        std::fputs("  </rte>\n", out);
    }
    std::fprintf(out, "  <trk>\n    <name>%s</name>\n    <trkseg>\n", xmlEscaped(baseName(log.path)).c_str());
    for (const LoggedLine& line : log.lines) {
        if (!line.hasPosition()) continue;
        std::string point = "      <trkpt lat=\"" + exactNumber(line.values.lat) + "\" lon=\"" +
                            exactNumber(line.values.lon) + "\">";
        if (line.fields >= 17 && std::isfinite(line.values.alt)) {
            point += "<ele>" + exactNumber(line.values.alt) + "</ele>";
        }
        point += "<time>" + isoUtc(line.timeMicros) + "</time></trkpt>\n";
        std::fputs(point.c_str(), out);
    }
    std::fputs("    </trkseg>\n  </trk>\n</gpx>\n", out);
}
