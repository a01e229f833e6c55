#include "tools/sim/FlightModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "tools/sim/TelemetryLine.h"

namespace {

constexpr double kGravity = 9.80665;
constexpr double kSamplePeriod = 0.05;  // the default 20 lines per second

double angleBetween(double a, double b) {
    return std::abs(std::remainder(a - b, 2 * std::numbers::pi));
}

bool insideSite(const GeoPoint& point) {
    return point.lat < kCircuitSiteUpperLeft.lat && point.lat > kCircuitSiteLowerRight.lat &&
           point.lon > kCircuitSiteUpperLeft.lon && point.lon < kCircuitSiteLowerRight.lon;
}

// Offsets a point by metres north and east (small distances near the site).
GeoPoint offset(const GeoPoint& from, double north, double east) {
    const double metresPerDegree = 6371000.0 * std::numbers::pi / 180;
    return {from.lat + north / metresPerDegree,
            from.lon + east / (metresPerDegree * std::cos(from.lat * std::numbers::pi / 180))};
}

TEST(TelemetryLine, ParsesBackWithTheGroundStationsFieldOrder) {
    FlightModel model;
    model.advance(17.3);  // somewhere in a turn, climbing or descending
    const TelemetrySample s = model.sample(UnitStates{0, -3, 1});
    const auto line = formatTelemetryLine(s);
    ASSERT_TRUE(line.has_value());
    EXPECT_LE(line->size(), kMaxTelemetryLine);

    float f[17] = {};
    char lat[20] = {}, lon[20] = {};
    int gps = 9, ahrs = 9, nav = 9;
    const int fields =
        std::sscanf(line->c_str(), "%f %f %f %f %f %f %f %f %f %f %f %f %f %f %19s %19s %f %d %d %d", &f[0],
                    &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &f[12],
                    &f[13], lat, lon, &f[16], &gps, &ahrs, &nav);
    ASSERT_EQ(fields, 20) << *line;
    const double expected[] = {s.p,     s.q,   s.r, s.ax, s.ay, s.az,   s.phi,
                               s.theta, s.psi, 0,   0,    0,    s.palt, s.cas};
    for (int i = 0; i < 14; ++i) {
        const double printedPrecision = i < 12 ? 1e-4 : 5e-3;  // airspeed and altitudes have two decimals
        EXPECT_NEAR(f[i], expected[i], printedPrecision * 1.01) << "field " << i + 1 << ": " << *line;
    }
    EXPECT_NEAR(std::strtod(lat, nullptr), s.lat, 1e-7);
    EXPECT_NEAR(std::strtod(lon, nullptr), s.lon, 1e-7);
    EXPECT_NEAR(f[16], s.alt, 0.01);
    EXPECT_EQ(gps, 0);
    EXPECT_EQ(ahrs, -3);
    EXPECT_EQ(nav, 1);
}

TEST(TelemetryLine, FitsOneDatagramWithTheWidestValues) {
    TelemetrySample widest;
    widest.p = widest.q = widest.r = -99.99999;
    widest.ax = widest.ay = widest.az = -999.9999;
    widest.phi = widest.theta = widest.psi = -3.14159;
    widest.palt = widest.alt = -9999.99;
    widest.cas = -999.99;
    widest.lat = -90;
    widest.lon = -180;
    widest.gps = widest.ahrs = widest.nav = -2147483647 - 1;
    const auto line = formatTelemetryLine(widest);
    ASSERT_TRUE(line.has_value());
    EXPECT_LE(line->size(), kMaxTelemetryLine);

    widest.alt = 1e150;  // only a broken model gets here: refused, not cut short
    EXPECT_FALSE(formatTelemetryLine(widest).has_value());
}

TEST(FlightModel, CircuitStaysInsideTheSiteAndItsStateAgreesWithTheMotion) {
    FlightModel model;
    GeoPoint previous = model.position();
    double previousPsi = model.sample({}).psi;
    double headingTravelled = 0;
    for (int i = 0; i < static_cast<int>(300 / kSamplePeriod); ++i) {
        model.advance(kSamplePeriod);
        const TelemetrySample s = model.sample({});
        const GeoPoint here{s.lat, s.lon};
        ASSERT_TRUE(insideSite(here)) << "left the site at t=" << model.elapsedSeconds();

        ASSERT_GE(s.cas, 18.0);
        ASSERT_LE(s.cas, 22.0);
        ASSERT_GE(s.alt, 120.0);
        ASSERT_LE(s.alt, 150.0);
        ASSERT_GE(s.palt, 120.0);
        ASSERT_LE(s.palt, 150.0);
        ASSERT_LT(std::abs(s.theta), 0.15);
        ASSERT_LT(std::abs(s.phi), 0.75);
        ASSERT_NEAR(s.az, -kGravity / std::cos(s.phi), 1.0) << "t=" << model.elapsedSeconds();

        // Heading is the direction of travel: 0 north, clockwise positive.
        const double north = (here.lat - previous.lat) * 111195.0;
        const double east =
            (here.lon - previous.lon) * 111195.0 * std::cos(here.lat * std::numbers::pi / 180);
        const double bearing = std::atan2(east, north);
        const double turned = std::remainder(s.psi - previousPsi, 2 * std::numbers::pi);
        ASSERT_LT(angleBetween(bearing, previousPsi + turned / 2), 0.05) << "t=" << model.elapsedSeconds();

        // Coordinated turn: the heading changes at g tan(phi) / V, towards the lower wing.
        const double psiRate = turned / kSamplePeriod;
        ASSERT_NEAR(psiRate, kGravity * std::tan(s.phi) / s.cas, 0.02) << "t=" << model.elapsedSeconds();
        // The yaw rate the aircraft reports is that same turn seen in body axes.
        ASSERT_NEAR(s.r, psiRate * std::cos(s.phi), 0.03) << "t=" << model.elapsedSeconds();

        headingTravelled += turned;
        previous = here;
        previousPsi = s.psi;
    }
    // Five minutes of a clockwise circuit: many full right-hand turns, never a reversal.
    EXPECT_GT(headingTravelled, 2 * std::numbers::pi * 5);
}

TEST(FlightModel, FliesWaypointsInOrderRoundAndRound) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> northEast;  // metres from the site's centre
    };
    const std::vector<Case> cases = {
        {"square", {{100, -100}, {100, 100}, {-100, 100}, {-100, -100}}},
        // The first point lies 20 m abeam of the start, inside the tightest turn: turning towards
        // it alone would circle it for ever.
        {"point inside the turn", {{0, 90}, {-100, -120}}},
        {"point straight behind", {{30, 110}, {-100, -120}}},
        {"points closer than a turn", {{0, 0}, {30, 10}, {-20, 40}}},
        {"one point", {{50, -50}}},
    };
    const GeoPoint centre{(kCircuitSiteUpperLeft.lat + kCircuitSiteLowerRight.lat) / 2,
                          (kCircuitSiteUpperLeft.lon + kCircuitSiteLowerRight.lon) / 2};
    for (const Case& c : cases) {
        FlightModel model;
        std::vector<GeoPoint> route;
        for (const auto& [north, east] : c.northEast) route.push_back(offset(centre, north, east));
        model.setWaypoints(route);
        ASSERT_EQ(model.targetWaypoint(), 0) << c.name;

        const int wanted = 2 * static_cast<int>(route.size()) + 1;
        int reached = 0;
        for (int i = 0; i < 6000 && reached < wanted; ++i) {  // at most five minutes
            const int target = model.targetWaypoint();
            const double distance = model.distanceTo(route[static_cast<std::size_t>(target)]);
            const int now = model.advance(kSamplePeriod);
            if (now > 0) {
                ASSERT_EQ(now, 1) << c.name;
                ASSERT_LT(distance, 8.0 + 21.0 * kSamplePeriod) << c.name;
                ASSERT_EQ(model.targetWaypoint(), (target + 1) % static_cast<int>(route.size())) << c.name;
            }
            reached += now;
        }
        EXPECT_EQ(reached, wanted) << c.name << " after " << model.elapsedSeconds() << " s";
    }
}

TEST(FlightModel, EmptyRouteReturnsToTheCircuit) {
    FlightModel model;
    const GeoPoint farAway{39.995, -75.200};  // about a kilometre north-east of the site
    model.setWaypoints({farAway});
    model.advance(40);
    EXPECT_FALSE(insideSite(model.position()));

    model.setWaypoints({});
    EXPECT_EQ(model.targetWaypoint(), -1);
    model.advance(120);
    for (int i = 0; i < 600; ++i) {
        model.advance(kSamplePeriod);
        ASSERT_TRUE(insideSite(model.position())) << "t=" << model.elapsedSeconds();
    }
}

}  // namespace
