#include <gtest/gtest.h>

#include <vector>

#include "map/Geodesy.h"
#include "map/RouteProfile.h"

namespace {

// A square route: west edge at -75.23, east edge at -75.19, south 39.98, north 40.00.
const std::vector<GeoPoint> kSquare = {{39.98, -75.23}, {39.98, -75.19}, {40.00, -75.19}, {40.00, -75.23}};

// A made-up ridge 400 m high running north-south between -75.215 and -75.205, over ground at 100 m;
// no terrain north of 39.995 on the western third.
GroundHeight ridge(GeoPoint point) {
    if (point.lat > 39.995 && point.lon < -75.2167) return {GroundHeight::State::NoTerrain, 0};
    const bool onRidge = point.lon > -75.215 && point.lon < -75.205;
    return {GroundHeight::State::Known, onRidge ? 400.0 : 100.0};
}

TEST(RouteProfileTest, LegsAreGeodesicsSampledAtMostEveryThirtyMetres) {
    const RouteProfile profile = sampleClosedRoute(kSquare);
    ASSERT_EQ(profile.legs.size(), 4u);
    std::vector<double> lat, lon;
    for (const GeoPoint& p : kSquare) {
        lat.push_back(p.lat);
        lon.push_back(p.lon);
    }
    EXPECT_NEAR(profile.totalMetres, closedRouteMetres(lat.data(), lon.data(), lat.size()), 1e-6);
    for (const ProfileLeg& leg : profile.legs) {
        const ProfileSample& first = profile.samples[leg.firstSample];
        const ProfileSample& last = profile.samples[leg.firstSample + leg.sampleCount - 1];
        EXPECT_NEAR(first.point.lat, kSquare[leg.from].lat, 1e-9);
        EXPECT_NEAR(last.point.lon, kSquare[leg.to].lon, 1e-9);
        for (std::size_t i = leg.firstSample + 1; i < leg.firstSample + leg.sampleCount; ++i) {
            const double step =
                geodesicInverse(profile.samples[i - 1].point, profile.samples[i].point).metres;
            EXPECT_LE(step, kProfileStepMetres + 1e-6);
            EXPECT_GT(step, kProfileStepMetres * 0.9);  // no more samples than the step needs
            EXPECT_NEAR(profile.samples[i].metres - profile.samples[i - 1].metres, step, 1e-6);
        }
    }
}

TEST(RouteProfileTest, LegsOverTheRidgeAreRedAndItsTopIsNamed) {
    struct Case {
        double altitude, margin;
        std::vector<bool> red;  // south, east, north, west legs
    };
    const Case cases[] = {
        {1000, 30, {false, false, false, false}},
        {420, 30, {true, false, true, false}},    // ridge plus margin reaches above
        {431, 30, {false, false, false, false}},  // clears it by more than the margin
        {120, 30, {true, true, true, true}},      // even the low ground with its margin
    };
    RouteProfile profile = sampleClosedRoute(kSquare);
    for (const Case& c : cases) {
        judgeProfile(profile, ridge, c.altitude, c.margin);
        for (std::size_t leg = 0; leg < 4; ++leg)
            EXPECT_EQ(profile.legs[leg].red, c.red[leg]) << c.altitude << " " << leg;
        ASSERT_TRUE(profile.highest.has_value());
        const ProfileSample& top = profile.samples[*profile.highest];
        EXPECT_DOUBLE_EQ(top.ground.metres, 400);
        EXPECT_EQ(top.leg, 0);  // the first place along the route where it stands highest
        const std::vector<std::string> lines = describeProfile(profile, HeightUnit::Metres);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0].rfind("Highest ground 400 m at 39.98000 -75.21", 0), 0u) << lines[0];
        char clearance[64];
        std::snprintf(clearance, sizeof clearance, "Least clearance %.0f m at", c.altitude - 400);
        EXPECT_EQ(lines[1].rfind(clearance, 0), 0u) << lines[1];
    }
}

TEST(RouteProfileTest, ThePartWithoutTerrainIsNamedOnce) {
    RouteProfile profile = sampleClosedRoute(kSquare);
    judgeProfile(profile, ridge, 1000, 30);
    // From part of the way along the north leg, round the corner, to part of the way down the west.
    ASSERT_EQ(profile.gaps.size(), 1u);
    const ProfileLeg& north = profile.legs[2];
    const ProfileLeg& west = profile.legs[3];
    EXPECT_GT(profile.gaps[0].fromMetres, north.startMetres + north.metres / 2);
    EXPECT_LT(profile.gaps[0].toMetres, west.startMetres + west.metres / 2);
    EXPECT_GT(profile.gaps[0].toMetres, west.startMetres);
    const std::vector<std::string> lines = describeProfile(profile, HeightUnit::Metres);
    EXPECT_EQ(lines.back().rfind("No terrain from ", 0), 0u) << lines.back();

    judgeProfile(
        profile, [](GeoPoint) { return GroundHeight{}; }, 1000, 30);
    EXPECT_EQ(describeProfile(profile, HeightUnit::Metres),
              std::vector<std::string>{"No terrain anywhere on the route"});
}

}  // namespace
