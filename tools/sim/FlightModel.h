#pragma once

#include <cstddef>
#include <vector>

#include "map/MapGeometry.h"

// Corners of the site the default circuit is flown in (the ground station's start-up map).
inline constexpr GeoPoint kCircuitSiteUpperLeft{39.988195, -75.214313};
inline constexpr GeoPoint kCircuitSiteLowerRight{39.985642, -75.210061};
// The default circuit's ellipse about the site's centre, metres.
inline constexpr double kCircuitEastSemiAxis = 110.0;
inline constexpr double kCircuitNorthSemiAxis = 80.0;

// Unit states reported in the last three telemetry fields (1 = acquired for GPS and navigation).
struct UnitStates {
    int gps = 1;
    int ahrs = 2;
    int nav = 1;
};

// One telemetry sample in the units the ground station expects: body rates rad/s, accelerometer readings
// m/s^2 in body axes (z down), Euler angles rad (psi 0 = north, clockwise positive), airspeed m/s,
// altitudes m, position degrees.
struct TelemetrySample {
    double p = 0, q = 0, r = 0;
    double ax = 0, ay = 0, az = 0;
    double phi = 0, theta = 0, psi = 0;
    double aux10 = 0, aux11 = 0, aux12 = 0;
    double palt = 0, cas = 0;
    double lat = 0, lon = 0;
    double alt = 0;
    int gps = 0, ahrs = 0, nav = 0;
};

// A point-mass aircraft in coordinated flight over a flat earth centred on the circuit site. It
// either flies the default circuit (an ellipse well inside the site, clockwise) or the uploaded
// waypoints in order, round and round. Bank follows the commanded turn rate with a limited roll
// rate, and heading changes only through bank, so the reported angles and rates agree with the
// path flown.
class FlightModel {
public:
    FlightModel();

    // Advances simulated time; steps internally in small fixed increments. Returns the number of
    // waypoints reached during the advance (0 while flying the circuit).
    int advance(double seconds);

    // Replaces the route and heads for its first point; an empty route returns to the circuit.
    // Points must be finite degrees (the caller validates untrusted input).
    void setWaypoints(const std::vector<GeoPoint>& route);

    // Index of the waypoint being flown to, or -1 on the circuit.
    int targetWaypoint() const { return target_; }
    std::size_t waypointCount() const { return route_.size(); }
    GeoPoint waypoint(std::size_t index) const { return route_.at(index).geo; }

    double elapsedSeconds() const { return time_; }
    GeoPoint position() const;
    TelemetrySample sample(const UnitStates& units) const;

    // Ground distance (m) from the aircraft to a point.
    double distanceTo(const GeoPoint& point) const;

private:
    struct RoutePoint {
        GeoPoint geo;
        double north = 0;
        double east = 0;
    };

    // One fixed step; true when it reached the target waypoint.
    bool step(double dt);
    double circuitHeading() const;
    double waypointTurnRate(const RoutePoint& point, double speed, double maxTurnRate);

    double time_ = 0;
    double north_ = 0, east_ = 0;  // metres from the site centre
    double psi_ = 0, phi_ = 0, theta_ = 0;
    double psiRate_ = 0, phiRate_ = 0, thetaRate_ = 0;
    int lastTurnSign_ = 1;
    std::vector<RoutePoint> route_;
    int target_ = -1;
    bool reachArmed_ = true;
};
