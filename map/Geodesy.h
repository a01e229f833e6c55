#pragma once

#include <cstddef>

#include "map/MapGeometry.h"

// Distances and bearings on the WGS84 ellipsoid: the map's own conversion is linear in degrees and
// fine for placing things on a small picture, but a figure an operator reads as metres has to be
// the true one.
struct GeodesicLeg {
    double metres = 0;
    // True bearing at the start of the leg, degrees clockwise from north in [0, 360).
    double bearingDegrees = 0;
};

// The shortest path from `from` to `to` (degrees). Both points must be valid coordinates.
GeodesicLeg geodesicInverse(GeoPoint from, GeoPoint to);

// Length in metres of the closed route through `count` points in order and back to the first,
// as the route line is drawn: 0 for fewer than two points.
double closedRouteMetres(const double* lat, const double* lon, std::size_t count);
