#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "map/MapCatalog.h"
#include "map/MapReadout.h"
#include "map/Waypoints.h"

namespace {

constexpr double kRadian = std::numbers::pi / 180.0;

// Vincenty's inverse formula on WGS84, an independent solution of the same problem (good to a
// fraction of a millimetre for lines that are not nearly antipodal).
GeodesicLeg vincenty(GeoPoint from, GeoPoint to) {
    const double a = 6378137.0, f = 1 / 298.257223563, b = a * (1 - f);
    const double L = (to.lon - from.lon) * kRadian;
    const double U1 = std::atan((1 - f) * std::tan(from.lat * kRadian));
    const double U2 = std::atan((1 - f) * std::tan(to.lat * kRadian));
    const double sinU1 = std::sin(U1), cosU1 = std::cos(U1), sinU2 = std::sin(U2), cosU2 = std::cos(U2);
    double lambda = L, sinSigma = 0, cosSigma = 0, sigma = 0, cosSqAlpha = 0, cos2SigmaM = 0;
    for (int i = 0; i < 200; ++i) {
        const double sinLambda = std::sin(lambda), cosLambda = std::cos(lambda);
        sinSigma = std::hypot(cosU2 * sinLambda, cosU1 * sinU2 - sinU1 * cosU2 * cosLambda);
        cosSigma = sinU1 * sinU2 + cosU1 * cosU2 * cosLambda;
        sigma = std::atan2(sinSigma, cosSigma);
        const double sinAlpha = cosU1 * cosU2 * sinLambda / sinSigma;
        cosSqAlpha = 1 - sinAlpha * sinAlpha;
        cos2SigmaM = cosSigma - 2 * sinU1 * sinU2 / cosSqAlpha;
        const double C = f / 16 * cosSqAlpha * (4 + f * (4 - 3 * cosSqAlpha));
        const double previous = lambda;
        lambda =
            L + (1 - C) * f * sinAlpha *
                    (sigma + C * sinSigma * (cos2SigmaM + C * cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM)));
        if (std::fabs(lambda - previous) < 1e-14) break;
    }
    const double uSq = cosSqAlpha * (a * a - b * b) / (b * b);
    const double A = 1 + uSq / 16384 * (4096 + uSq * (-768 + uSq * (320 - 175 * uSq)));
    const double B = uSq / 1024 * (256 + uSq * (-128 + uSq * (74 - 47 * uSq)));
    const double deltaSigma = B * sinSigma *
                              (cos2SigmaM + B / 4 *
                                                (cosSigma * (-1 + 2 * cos2SigmaM * cos2SigmaM) -
                                                 B / 6 * cos2SigmaM * (-3 + 4 * sinSigma * sinSigma) *
                                                     (-3 + 4 * cos2SigmaM * cos2SigmaM)));
    const double azimuth =
        std::atan2(cosU2 * std::sin(lambda), cosU1 * sinU2 - sinU1 * cosU2 * std::cos(lambda));
    double degrees = azimuth / kRadian;
    if (degrees < 0) degrees += 360;
    return {b * A * (sigma - deltaSigma), degrees};
}

TEST(GeodesyTest, DistanceAndBearingMatchAnIndependentSolutionBetweenTheCatalogueCorners) {
    for (int site = 0; site < 3; ++site) {
        const MapSite& s = kMapCatalog[site];
        const GeoPoint upperLeft{s.upperLeftLat, s.upperLeftLon};
        const GeoPoint lowerRight{s.lowerRightLat, s.lowerRightLon};
        const GeoPoint upperRight{s.upperLeftLat, s.lowerRightLon};
        const GeoPoint lowerLeft{s.lowerRightLat, s.upperLeftLon};
        // Every direction of the compass, west and north included (bearings 180..360).
        const std::pair<GeoPoint, GeoPoint> legs[] = {{upperLeft, lowerRight}, {lowerRight, upperLeft},
                                                      {upperRight, lowerLeft}, {lowerLeft, upperRight},
                                                      {upperLeft, upperRight}, {lowerLeft, upperLeft}};
        for (const auto& [from, to] : legs) {
            const GeodesicLeg got = geodesicInverse(from, to);
            const GeodesicLeg expected = vincenty(from, to);
            EXPECT_NEAR(got.metres, expected.metres, 1e-3) << "site " << site;
            EXPECT_NEAR(got.bearingDegrees, expected.bearingDegrees, 1e-6) << "site " << site;
            EXPECT_GE(got.bearingDegrees, 0.0);
            EXPECT_LT(got.bearingDegrees, 360.0);
        }
    }
    // Due north along a meridian: bearing 0; one degree of latitude at the equator is 110574.389 m.
    const GeodesicLeg north = geodesicInverse({0, 10}, {1, 10});
    EXPECT_NEAR(north.metres, 110574.389, 1e-3);
    EXPECT_NEAR(north.bearingDegrees, 0.0, 1e-9);
}

TEST(GeodesyTest, TheReadoutShowsTheCursorTheLegFromTheAircraftAndTheClosedRoute) {
    const MapSite& s = kMapCatalog[0];
    const GeoPoint upperLeft{s.upperLeftLat, s.upperLeftLon};
    const GeoPoint lowerRight{s.lowerRightLat, s.lowerRightLon};
    Waypoints waypoints;
    waypoints.waypointCount = 3;
    const GeoPoint route[] = {upperLeft, lowerRight, {s.upperLeftLat, s.lowerRightLon}};
    for (std::size_t i = 0; i < 3; ++i) {
        waypoints.waypointLat[i] = route[i].lat;
        waypoints.waypointLon[i] = route[i].lon;
    }
    MapReadout readout;
    readRoute(readout, waypoints);
    const double closed = vincenty(route[0], route[1]).metres + vincenty(route[1], route[2]).metres +
                          vincenty(route[2], route[0]).metres;
    EXPECT_NEAR(readout.routeMetres, closed, 3e-3);
    EXPECT_EQ(readout.waypointCount, 3);

    const GeodesicLeg leg = vincenty(lowerRight, upperLeft);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.1f m at %.1f\xC2\xB0", leg.metres, leg.bearingDegrees);
    readout.cursor = upperLeft;
    readout.aircraft = lowerRight;
    EXPECT_EQ(formatCursorReadout(readout),
              std::string("Cursor 39.98819, -75.21431   Aircraft to cursor ") + expected);
    readout.aircraft.reset();
    EXPECT_EQ(formatCursorReadout(readout), "Cursor 39.98819, -75.21431   Aircraft position unknown");
    readout.cursor.reset();
    EXPECT_EQ(formatCursorReadout(readout), "");

    // One waypoint has no route; two make a there-and-back loop.
    for (int count : {0, 1, 2}) {
        waypoints.waypointCount = count;
        readRoute(readout, waypoints);
        EXPECT_NEAR(readout.routeMetres, count == 2 ? 2 * vincenty(route[0], route[1]).metres : 0.0, 2e-3);
    }
    std::snprintf(expected, sizeof expected, "2 waypoints   Route %.1f m", readout.routeMetres);
    EXPECT_EQ(formatRouteReadout(readout), expected);
}

}  // namespace
