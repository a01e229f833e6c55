#include "map/FlightTrack.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kMetresPerDegree = 111320.0;

bool isCoordinate(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && lat >= -90.0 && lat <= 90.0 && lon >= -180.0 &&
           lon <= 180.0;
}

// Flat-earth distance: only compared with a few centimetres, where the earth's curvature is nothing.
double shortDistanceMetres(const TrackPoint& a, double lat, double lon) {
    const double north = (lat - a.lat) * kMetresPerDegree;
    const double east = (lon - a.lon) * kMetresPerDegree * std::cos(a.lat * std::numbers::pi / 180.0);
    return std::hypot(north, east);
}

}  // namespace

void FlightTrack::addFix(double lat, double lon, std::int64_t timeMs) {
    if (!isCoordinate(lat, lon)) {
        pendingBreak_ = true;
        return;
    }
    if (!pendingBreak_ && !points_.empty() &&
        shortDistanceMetres(points_.back(), lat, lon) < kMinimumSpacingMetres) {
        return;
    }
    if (points_.size() >= kCapacity) halve();
    points_.push_back({lat, lon, timeMs, pendingBreak_ || points_.empty()});
    pendingBreak_ = false;
}

void FlightTrack::clear() {
    points_.clear();
    pendingBreak_ = true;
}

void FlightTrack::halve() {
    std::vector<TrackPoint> kept;
    kept.reserve(points_.size() / 2 + 2);
    std::size_t inRun = 0;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const TrackPoint& point = points_[i];
        if (point.startsRun) inRun = 0;
        const bool endsRun = i + 1 == points_.size() || points_[i + 1].startsRun;
        if (inRun % 2 == 0 || endsRun) kept.push_back(point);
        ++inRun;
    }
    // Runs of one or two points cannot be thinned: then the older half goes, so the bound holds.
    if (kept.size() >= kCapacity) {
        kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(kept.size() / 2));
        kept.front().startsRun = true;
    }
    points_.swap(kept);
}

std::size_t FlightTrack::firstShown(TrackMode mode, std::int64_t nowMs) const {
    switch (mode) {
        case TrackMode::Off:
            return points_.size();
        case TrackMode::WholeFlight:
            return 0;
        case TrackMode::LastTenMinutes:
            break;
    }
    const auto first =
        std::lower_bound(points_.begin(), points_.end(), nowMs - kRecentWindowMs,
                         [](const TrackPoint& point, std::int64_t t) { return point.timeMs < t; });
    return static_cast<std::size_t>(first - points_.begin());
}

std::size_t FlightTrack::shownEnd(std::int64_t untilMs) const {
    const auto end =
        std::upper_bound(points_.begin(), points_.end(), untilMs,
                         [](std::int64_t t, const TrackPoint& point) { return t < point.timeMs; });
    return static_cast<std::size_t>(end - points_.begin());
}
