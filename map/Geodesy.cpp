#include "map/Geodesy.h"

#include <GeographicLib/Geodesic.hpp>

#include <cmath>

GeodesicLeg geodesicInverse(GeoPoint from, GeoPoint to) {
    double metres = 0, azimuthStart = 0, azimuthEnd = 0;
    GeographicLib::Geodesic::WGS84().Inverse(from.lat, from.lon, to.lat, to.lon, metres, azimuthStart,
                                             azimuthEnd);
    // GeographicLib gives azimuths in [-180, 180]; a compass reads 0..360.
    double bearing = azimuthStart < 0 ? azimuthStart + 360.0 : azimuthStart;
    if (bearing >= 360.0) bearing -= 360.0;
    return {metres, bearing};
}

double closedRouteMetres(const double* lat, const double* lon, std::size_t count) {
    if (count < 2) return 0;
    double total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t next = (i + 1) % count;
        total += geodesicInverse({lat[i], lon[i]}, {lat[next], lon[next]}).metres;
    }
    return total;
}
