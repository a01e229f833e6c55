#include "tools/sim/FlightModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kGravity = 9.80665;
constexpr double kEarthRadius = 6371000.0;
constexpr double kRadiansToDegrees = 180.0 / kPi;

// The flat earth is centred on the site so that local metres stay small and exact enough.
constexpr double kOriginLat = (kCircuitSiteUpperLeft.lat + kCircuitSiteLowerRight.lat) / 2;
constexpr double kOriginLon = (kCircuitSiteUpperLeft.lon + kCircuitSiteLowerRight.lon) / 2;

// The site is about 280 m north-south by 360 m east-west; the ellipse leaves 50 m or more to spare
// on every side even where the pursuit cuts inside or overshoots.
constexpr double kCircuitLookahead = 40.0;

constexpr double kMaxBank = 40.0 / kRadiansToDegrees;
constexpr double kMaxRollRate = 0.6;  // rad/s
constexpr double kBankGain = 2.0;     // 1/s: how fast the bank closes on the commanded one
constexpr double kHeadingGain = 0.8;  // commanded turn rate per radian of heading error
constexpr double kWaypointReachRadius = 8.0;
// A point this close to the centre of the tightest turn cannot be reached by turning towards it
// (roll-in widens the real turn): fly straight until it is far enough away.
constexpr double kTurnCircleMargin = 1.2;
// Past this heading error the turn keeps its direction, so a point straight behind cannot make
// the bank flip from side to side.
constexpr double kKeepTurnDirectionError = 2.6;

constexpr double kStepSeconds = 0.01;
constexpr double kTrimPitch = 0.04;  // rad of nose-up attitude in level flight
constexpr double kBaroOffset = 2.0;  // m between pressure and GPS altitude

double wrapAngle(double angle) {
    return std::remainder(angle, 2 * kPi);
}

double wave(double time, double amplitude, double period) {
    return amplitude * std::sin(2 * kPi * time / period);
}
double waveRate(double time, double amplitude, double period) {
    return amplitude * 2 * kPi / period * std::cos(2 * kPi * time / period);
}

// Airspeed 18.3..21.7 m/s and altitude 124..146 m vary slowly and smoothly with time.
double airspeedAt(double t) {
    return 20.0 + wave(t, 1.2, 37.0) + wave(t, 0.5, 11.0);
}
double airspeedRateAt(double t) {
    return waveRate(t, 1.2, 37.0) + waveRate(t, 0.5, 11.0);
}
double altitudeAt(double t) {
    return 135.0 + wave(t, 8.0, 90.0) + wave(t, 3.0, 23.0);
}
double climbRateAt(double t) {
    return waveRate(t, 8.0, 90.0) + waveRate(t, 3.0, 23.0);
}
double pitchAt(double t) {
    return std::asin(climbRateAt(t) / airspeedAt(t)) + kTrimPitch;
}

double metresPerDegreeLat() {
    return kEarthRadius / kRadiansToDegrees;
}
double metresPerDegreeLon() {
    return metresPerDegreeLat() * std::cos(kOriginLat / kRadiansToDegrees);
}

}  // namespace

FlightModel::FlightModel() {
    // Start on the circuit's east end, heading south along it (the circuit is flown clockwise).
    east_ = kCircuitEastSemiAxis;
    psi_ = kPi;
    theta_ = pitchAt(0);
}

int FlightModel::advance(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds)) return 0;
    int reached = 0;
    const auto steps = static_cast<long>(std::ceil(seconds / kStepSeconds));
    const double dt = seconds / static_cast<double>(steps);
    for (long i = 0; i < steps; ++i) {
        if (step(dt)) ++reached;
    }
    return reached;
}

void FlightModel::setWaypoints(const std::vector<GeoPoint>& route) {
    route_.clear();
    for (const GeoPoint& point : route) {
        route_.push_back({point, (point.lat - kOriginLat) * metresPerDegreeLat(),
                          (point.lon - kOriginLon) * metresPerDegreeLon()});
    }
    target_ = route_.empty() ? -1 : 0;
    reachArmed_ = true;
}

GeoPoint FlightModel::position() const {
    return {kOriginLat + north_ / metresPerDegreeLat(), kOriginLon + east_ / metresPerDegreeLon()};
}

double FlightModel::distanceTo(const GeoPoint& point) const {
    const double north = (point.lat - kOriginLat) * metresPerDegreeLat();
    const double east = (point.lon - kOriginLon) * metresPerDegreeLon();
    return std::hypot(north - north_, east - east_);
}

double FlightModel::circuitHeading() const {
    // Pure pursuit of a point a fixed distance ahead on the ellipse, nearest point found in the
    // ellipse's normalised coordinates.
    const double a = kCircuitEastSemiAxis;
    const double b = kCircuitNorthSemiAxis;
    const double nearest = std::atan2(north_ / b, east_ / a);
    const double arcRate = std::hypot(a * std::sin(nearest), b * std::cos(nearest));
    const double carrot = nearest - kCircuitLookahead / arcRate;  // decreasing angle: clockwise
    return std::atan2(a * std::cos(carrot) - east_, b * std::sin(carrot) - north_);
}

double FlightModel::waypointTurnRate(const RoutePoint& point, double speed, double maxTurnRate) {
    const double toNorth = point.north - north_;
    const double toEast = point.east - east_;
    const double error = wrapAngle(std::atan2(toEast, toNorth) - psi_);
    int turnSign = error >= 0 ? 1 : -1;
    if (std::abs(error) > kKeepTurnDirectionError) turnSign = lastTurnSign_;

    const double radius = speed / maxTurnRate;
    const double centreNorth = north_ - turnSign * radius * std::sin(psi_);
    const double centreEast = east_ + turnSign * radius * std::cos(psi_);
    if (std::hypot(point.north - centreNorth, point.east - centreEast) < kTurnCircleMargin * radius) {
        return 0;
    }
    lastTurnSign_ = turnSign;
    const double wanted = std::abs(error) > kKeepTurnDirectionError ? turnSign * kPi : error;
    return std::clamp(kHeadingGain * wanted, -maxTurnRate, maxTurnRate);
}

bool FlightModel::step(double dt) {
    const double speed = airspeedAt(time_);
    const double maxTurnRate = kGravity * std::tan(kMaxBank) / speed;

    double turnRate = 0;
    if (target_ >= 0) {
        turnRate = waypointTurnRate(route_[static_cast<std::size_t>(target_)], speed, maxTurnRate);
    } else {
        const double error = wrapAngle(circuitHeading() - psi_);
        turnRate = std::clamp(kHeadingGain * error, -maxTurnRate, maxTurnRate);
    }

    // Coordinated turn: tan(bank) = speed * turn rate / g.
    const double wantedBank = std::atan(speed * turnRate / kGravity);
    phiRate_ = std::clamp(kBankGain * (wantedBank - phi_), -kMaxRollRate, kMaxRollRate);
    phi_ = std::clamp(phi_ + phiRate_ * dt, -kMaxBank, kMaxBank);
    psiRate_ = kGravity * std::tan(phi_) / speed;
    psi_ = wrapAngle(psi_ + psiRate_ * dt);
    north_ += speed * std::cos(psi_) * dt;
    east_ += speed * std::sin(psi_) * dt;

    time_ += dt;
    const double pitch = pitchAt(time_);
    thetaRate_ = (pitch - theta_) / dt;
    theta_ = pitch;

    if (target_ < 0) return false;
    const RoutePoint& point = route_[static_cast<std::size_t>(target_)];
    const double distance = std::hypot(point.north - north_, point.east - east_);
    if (!reachArmed_) {
        // A one-point route: the point counts again only after the aircraft has left it.
        reachArmed_ = distance > 2 * kWaypointReachRadius;
        return false;
    }
    if (distance >= kWaypointReachRadius) return false;
    target_ = (target_ + 1) % static_cast<int>(route_.size());
    reachArmed_ = route_.size() > 1;
    return true;
}

TelemetrySample FlightModel::sample(const UnitStates& units) const {
    TelemetrySample s;
    const double speed = airspeedAt(time_);
    const double sinPhi = std::sin(phi_), cosPhi = std::cos(phi_);
    const double sinTheta = std::sin(theta_), cosTheta = std::cos(theta_);

    // Body rates from the Euler angle rates.
    s.p = phiRate_ - psiRate_ * sinTheta;
    s.q = thetaRate_ * cosPhi + psiRate_ * sinPhi * cosTheta;
    s.r = -thetaRate_ * sinPhi + psiRate_ * cosPhi * cosTheta;

    // Accelerometer readings along the body axes (about -g on z in level
    // flight, zero sideways in a coordinated turn).
    s.ax = airspeedRateAt(time_) + kGravity * sinTheta;
    s.ay = kGravity * cosTheta * sinPhi - speed * s.r;
    s.az = -(kGravity * cosTheta * cosPhi + speed * s.q);

    s.phi = phi_;
    s.theta = theta_;
    s.psi = psi_;
    s.alt = altitudeAt(time_);
    s.palt = s.alt + kBaroOffset + wave(time_, 0.5, 41.0);
    s.cas = speed;
    const GeoPoint here = position();
    s.lat = here.lat;
    s.lon = here.lon;
    s.gps = units.gps;
    s.ahrs = units.ahrs;
    s.nav = units.nav;
    return s;
}
