#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "map/MapGeometry.h"
#include "net/LastFix.h"

struct Waypoints;

// Waypoint lists on file as GPX 1.1, the exchange format of the field's planning tools and
// receivers. Files are untrusted input: every coordinate is checked and a file is taken whole or
// not at all.

// The result of reading a waypoint file: on success the points to take (at most the limit asked
// for) and a sentence for the operator saying how many were taken and why others were not; on
// refusal no points and a message naming the file and the problem.
struct WaypointFileRead {
    bool ok = false;
    std::vector<GeoPoint> points;
    std::string message;
};

// Larger files are refused before reading: a waypoint file is a few kB, a long track a few MB.
inline constexpr long long kWaypointFileMaxBytes = 64LL * 1024 * 1024;

// Reads `path`: the first route (`rte`/`rtept`), else the waypoints (`wpt`), else the first
// track segment (`trkseg`/`trkpt`) thinned to `limit` points by the Douglas-Peucker rule. Routes
// and waypoints beyond `limit` are cut.
WaypointFileRead readWaypointFile(const std::string& path, std::size_t limit);

// Writes `points` as one GPX 1.1 route, rtept names "WP1", "WP2", ... and nine decimals. Replaces
// the file only when the whole file was written. False with `error` set on failure.
bool writeWaypointFile(const std::string& path, const std::vector<GeoPoint>& points, std::string& error);

// Writes the last position heard as one GPX 1.1 waypoint named with its UTC time, its altitude as
// `ele` and its time as `time`. Replaces the file only when the whole file was written. False with
// `error` set on failure.
bool writeLastPositionFile(const std::string& path, const LastFix& fix, std::string& error);

// The Douglas-Peucker simplification with the smallest tolerance that leaves at most `maxPoints`
// points (at least 2; a line of fewer points is returned as it is). The first and last points are
// always kept. Distances are measured in a plane local to the line (longitude scaled by the cosine
// of the latitude).
std::vector<GeoPoint> thinDouglasPeucker(const std::vector<GeoPoint>& points, std::size_t maxPoints);

// Reads `path` and, when it can be taken, replaces the list with its points (at most the list's
// capacity); a refused file leaves the list as it was.
WaypointFileRead loadWaypointFile(Waypoints& waypoints, const MapGeometry& geometry, const std::string& path);

// The list as GeoPoints, in order.
std::vector<GeoPoint> waypointList(const Waypoints& waypoints);
// Replaces the list with `points` (at most the list's capacity, placed by `geometry`), as CLEAR and
// new double-clicks would: the route line is off until the next upload. Nothing is sent.
void replaceWaypoints(Waypoints& waypoints, const MapGeometry& geometry, const std::vector<GeoPoint>& points);
