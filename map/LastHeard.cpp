#include "map/LastHeard.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicLine.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "common/ClassicNumbers.h"

namespace {

// Radians to degrees as the aircraft's own displays convert them (the symbol is turned so).
constexpr double kDegreesPerRadian = 57.3;

bool utcOf(const LastFix& fix, std::tm& utc) {
    // Floor division: a time before 1970 still names its own second.
    std::int64_t seconds = fix.utcMicros / 1000000;
    if (fix.utcMicros % 1000000 < 0) --seconds;
    const auto time = static_cast<std::time_t>(seconds);
    return gmtime_r(&time, &utc) != nullptr;
}

}  // namespace

std::int64_t elapsedSinceClock(std::int32_t heardMs, std::int32_t nowMs) {
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(nowMs) - static_cast<std::uint32_t>(heardMs));
}

std::string formatElapsed(std::int64_t elapsedMs) {
    const long long seconds = elapsedMs > 0 ? elapsedMs / 1000 : 0;
    if (seconds < 60) return classicFormatted("%lld s", seconds);
    return classicFormatted("%lld min %02lld s", seconds / 60, seconds % 60);
}

double fixHeadingDegrees(const LastFix& fix) {
    double heading = std::fmod(static_cast<double>(fix.psi) * kDegreesPerRadian, 360.0);
    if (heading < 0) heading += 360.0;
    return heading;
}

std::string formatLastHeardStatus(const LastHeard& lastHeard) {
    const LastFix& fix = lastHeard.fix;
    const double heading = fixHeadingDegrees(fix);
    // 359.6 reads 0, as a compass does.
    const long shown = std::isfinite(heading) ? std::lround(heading) % 360 : 0;
    return classicFormatted("Last heard %s ago at %.6f %.6f, alt %.1f, heading %ld, %.1f",
                            formatElapsed(lastHeard.elapsedMs).c_str(), fix.lat, fix.lon,
                            static_cast<double>(fix.alt), shown, static_cast<double>(fix.cas));
}

std::string formatLastPosition(const LastFix& fix) {
    return classicFormatted("%.6f, %.6f", fix.lat, fix.lon);
}

std::string fixTimeIso(const LastFix& fix) {
    std::tm utc{};
    if (!utcOf(fix, utc)) return {};
    return classicFormatted("%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                            utc.tm_hour, utc.tm_min, utc.tm_sec);
}

std::string fixTimeText(const LastFix& fix) {
    std::tm utc{};
    if (!utcOf(fix, utc)) return {};
    return classicFormatted("%04d-%02d-%02d %02d:%02d:%02d UTC", utc.tm_year + 1900, utc.tm_mon + 1,
                            utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

Reach reachOf(const LastHeard& lastHeard) {
    Reach reach;
    const std::int64_t flownMs = std::min(std::max<std::int64_t>(lastHeard.elapsedMs, 0), kReachLimitMs);
    reach.limited = lastHeard.elapsedMs > kReachLimitMs;
    const double speed = lastHeard.fix.cas;
    if (std::isfinite(speed) && speed > 0) reach.metres = speed * static_cast<double>(flownMs) / 1000.0;
    return reach;
}

GeoPoint deadReckonedPoint(const LastHeard& lastHeard) {
    GeoPoint to;
    GeographicLib::Geodesic::WGS84().Direct(lastHeard.fix.lat, lastHeard.fix.lon,
                                            fixHeadingDegrees(lastHeard.fix), reachOf(lastHeard).metres,
                                            to.lat, to.lon);
    return to;
}

std::vector<GeoPoint> geodesicCircle(GeoPoint centre, double metres, int count) {
    std::vector<GeoPoint> points;
    if (count <= 0) return points;
    points.reserve(static_cast<std::size_t>(count));
    const GeographicLib::Geodesic& earth = GeographicLib::Geodesic::WGS84();
    for (int i = 0; i < count; ++i) {
        GeoPoint at;
        earth.Direct(centre.lat, centre.lon, 360.0 * i / count, metres, at.lat, at.lon);
        points.push_back(at);
    }
    return points;
}

std::vector<GeoPoint> geodesicPath(GeoPoint from, double bearingDegrees, double metres, int count) {
    std::vector<GeoPoint> points;
    if (count <= 0) return points;
    points.reserve(static_cast<std::size_t>(count) + 1);
    const GeographicLib::GeodesicLine line =
        GeographicLib::Geodesic::WGS84().Line(from.lat, from.lon, bearingDegrees);
    for (int i = 0; i <= count; ++i) {
        GeoPoint at;
        line.Position(metres * i / count, at.lat, at.lon);
        points.push_back(at);
    }
    return points;
}

std::string linkLossLogText(const LastFix* fix, std::int64_t fixElapsedMs) {
    if (fix == nullptr) return "Link lost; no position has been heard with the GPS acquired";
    return "Link lost; " + formatLastHeardStatus({*fix, fixElapsedMs}) + " (" + fixTimeText(*fix) + ")";
}

std::string linkReturnLogText(const LastFix* fix, std::int64_t lostMs) {
    std::string text = "Link back; it was lost for " + formatElapsed(lostMs);
    if (fix != nullptr) text += "; the last position heard before was " + formatLastPosition(*fix);
    return text;
}
