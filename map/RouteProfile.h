#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "map/MapGeometry.h"
#include "map/Terrain.h"

// The terrain along the closed route of the waypoints: each leg is the geodesic from one waypoint
// to the next (the last back to the first), sampled at equal steps of at most kProfileStepMetres.

inline constexpr double kProfileStepMetres = 30;

struct ProfileSample {
    int leg = 0;
    double metres = 0;  // along the whole route from the first waypoint
    GeoPoint point;
    GroundHeight ground;
};

struct ProfileLeg {
    int from = 0, to = 0;  // waypoint indexes
    double startMetres = 0, metres = 0;
    std::size_t firstSample = 0, sampleCount = 0;
    // Terrain plus the margin reaches above the altitude somewhere on the leg.
    bool red = false;
};

// A stretch of the route without terrain, from one sample's distance to another's.
struct TerrainGap {
    double fromMetres = 0, toMetres = 0;
};

struct RouteProfile {
    std::vector<ProfileSample> samples;
    std::vector<ProfileLeg> legs;
    double totalMetres = 0;
    double altitudeMetres = 0, marginMetres = 0;
    bool loading = false;                       // some heights are still being read
    std::optional<std::size_t> highest;         // sample of the highest ground
    std::optional<std::size_t> leastClearance;  // sample where altitude minus ground is least
    std::vector<TerrainGap> gaps;
};

// The samples of the closed route through `points` (two or more), heights not yet looked up.
RouteProfile sampleClosedRoute(const std::vector<GeoPoint>& points);

// Looks the heights up and judges each leg against `altitudeMetres` and `marginMetres`.
void judgeProfile(RouteProfile& profile, const std::function<GroundHeight(GeoPoint)>& heightAt,
                  double altitudeMetres, double marginMetres);

// How heights are shown to the operator and how the aircraft's `alt` is read.
enum class HeightUnit { Metres, Feet };
inline constexpr double kMetresPerFoot = 0.3048;
double toUnit(double metres, HeightUnit unit);
double fromUnit(double value, HeightUnit unit);
const char* unitName(HeightUnit unit);  // "m", "ft"

// The profile's summary lines: the highest ground and the least clearance with where they are,
// and the parts of the route without terrain. UTF-8.
std::vector<std::string> describeProfile(const RouteProfile& profile, HeightUnit unit);
