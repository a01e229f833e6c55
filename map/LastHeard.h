#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "map/MapGeometry.h"
#include "net/LastFix.h"

// What is known once the link is lost: the last position heard with the GPS acquired, how long ago
// it was heard, and how far the aircraft can have flown since at its last airspeed (wind aside).
// Distances are geodesic on the WGS84 ellipsoid.
struct LastHeard {
    LastFix fix;
    std::int64_t elapsedMs = 0;  // since the fix was heard, never negative
};

// The reach stops growing here: beyond half an hour a circle of flight at the last airspeed says
// more about the fuel than about the aircraft.
inline constexpr std::int64_t kReachLimitMs = 30 * 60 * 1000;

// Milliseconds from program clock `heardMs` to `nowMs`; the clock is signed 32-bit and wraps, and
// the fix is never later than now, so the difference is taken modulo 2^32.
std::int64_t elapsedSinceClock(std::int32_t heardMs, std::int32_t nowMs);

// "42 s", "3 min 05 s": whole seconds.
std::string formatElapsed(std::int64_t elapsedMs);
// The status bar: "Last heard 1 min 12 s ago at 39.986120 -75.212350, alt 130.0, heading 271, 21.0"
// (heading in whole degrees 0..359, airspeed in metres a second).
std::string formatLastHeardStatus(const LastHeard& lastHeard);
// The position as a search team types it: "39.986120, -75.212350".
std::string formatLastPosition(const LastFix& fix);
// The calendar time of the fix in UTC: "2026-12-09T05:41:40Z" (GPX) or "2026-12-09 05:41:40 UTC".
std::string fixTimeIso(const LastFix& fix);
std::string fixTimeText(const LastFix& fix);

// The heading of the fix in degrees clockwise from north, as the symbol is turned (psi x 57.3).
double fixHeadingDegrees(const LastFix& fix);

// Where the aircraft can be: the distance flown at the last airspeed in the time since (up to the
// limit; a negative or unknown airspeed flies nothing), and whether the limit holds it.
struct Reach {
    double metres = 0;
    bool limited = false;
};
Reach reachOf(const LastHeard& lastHeard);
// The point dead-reckoned along the last heading at the last airspeed.
GeoPoint deadReckonedPoint(const LastHeard& lastHeard);
// `count` points of the geodesic circle of `metres` around `centre`, clockwise from north.
std::vector<GeoPoint> geodesicCircle(GeoPoint centre, double metres, int count);
// `count` + 1 points along the geodesic from `from` along `bearingDegrees` for `metres`.
std::vector<GeoPoint> geodesicPath(GeoPoint from, double bearingDegrees, double metres, int count);

// Standard-error lines of the link's loss and return.
std::string linkLossLogText(const LastFix* fix, std::int64_t fixElapsedMs);
std::string linkReturnLogText(const LastFix* fix, std::int64_t lostMs);
