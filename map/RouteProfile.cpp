#include "map/RouteProfile.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicLine.hpp>

#include <cmath>
#include <cstdio>

RouteProfile sampleClosedRoute(const std::vector<GeoPoint>& points) {
    RouteProfile profile;
    if (points.size() < 2) return profile;
    const GeographicLib::Geodesic& earth = GeographicLib::Geodesic::WGS84();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const GeoPoint from = points[i], to = points[(i + 1) % points.size()];
        const GeographicLib::GeodesicLine line = earth.InverseLine(from.lat, from.lon, to.lat, to.lon);
        const double length = line.Distance();
        const int steps = std::max(1, static_cast<int>(std::ceil(length / kProfileStepMetres)));
        ProfileLeg leg;
        leg.from = static_cast<int>(i);
        leg.to = static_cast<int>((i + 1) % points.size());
        leg.startMetres = profile.totalMetres;
        leg.metres = length;
        leg.firstSample = profile.samples.size();
        // Both ends belong to the leg, so that each leg is judged over its whole length.
        for (int step = 0; step <= steps; ++step) {
            const double along = length * step / steps;
            ProfileSample sample;
            sample.leg = static_cast<int>(i);
            sample.metres = profile.totalMetres + along;
            line.Position(along, sample.point.lat, sample.point.lon);
            profile.samples.push_back(sample);
        }
        leg.sampleCount = profile.samples.size() - leg.firstSample;
        profile.legs.push_back(leg);
        profile.totalMetres += length;
    }
    return profile;
}

void judgeProfile(RouteProfile& profile, const std::function<GroundHeight(GeoPoint)>& heightAt,
                  double altitudeMetres, double marginMetres) {
    profile.altitudeMetres = altitudeMetres;
    profile.marginMetres = marginMetres;
    profile.loading = false;
    profile.highest.reset();
    profile.leastClearance.reset();
    profile.gaps.clear();
    bool inGap = false;
    for (ProfileSample& sample : profile.samples) {
        sample.ground = heightAt(sample.point);
        if (sample.ground.state == GroundHeight::State::Loading) profile.loading = true;
        if (sample.ground.known()) {
            inGap = false;
        } else if (inGap) {
            profile.gaps.back().toMetres = sample.metres;
        } else {
            profile.gaps.push_back({sample.metres, sample.metres});
            inGap = true;
        }
    }
    for (ProfileLeg& leg : profile.legs) {
        leg.red = false;
        for (std::size_t i = leg.firstSample; i < leg.firstSample + leg.sampleCount; ++i) {
            const ProfileSample& sample = profile.samples[i];
            if (!sample.ground.known()) continue;
            if (sample.ground.metres + marginMetres > altitudeMetres) leg.red = true;
            if (!profile.highest || sample.ground.metres > profile.samples[*profile.highest].ground.metres) {
                profile.highest = i;
            }
        }
    }
    // The least clearance is where the ground is highest: one altitude spans the route.
    profile.leastClearance = profile.highest;
}

double toUnit(double metres, HeightUnit unit) {
    return unit == HeightUnit::Feet ? metres / kMetresPerFoot : metres;
}

double fromUnit(double value, HeightUnit unit) {
    return unit == HeightUnit::Feet ? value * kMetresPerFoot : value;
}

const char* unitName(HeightUnit unit) {
    return unit == HeightUnit::Feet ? "ft" : "m";
}

namespace {

std::string where(const RouteProfile& profile, std::size_t index) {
    const ProfileSample& sample = profile.samples[index];
    const ProfileLeg& leg = profile.legs[sample.leg];
    char text[160];
    std::snprintf(text, sizeof text, "at %.5f %.5f (leg %d to %d, %.2f km along the route)", sample.point.lat,
                  sample.point.lon, leg.from + 1, leg.to + 1, sample.metres / 1000.0);
    return text;
}

}  // namespace

std::vector<std::string> describeProfile(const RouteProfile& profile, HeightUnit unit) {
    std::vector<std::string> lines;
    char text[200];
    if (profile.highest) {
        const ProfileSample& top = profile.samples[*profile.highest];
        std::snprintf(text, sizeof text, "Highest ground %.0f %s ", toUnit(top.ground.metres, unit),
                      unitName(unit));
        lines.push_back(text + where(profile, *profile.highest));
        std::snprintf(text, sizeof text, "Least clearance %.0f %s ",
                      toUnit(profile.altitudeMetres - top.ground.metres, unit), unitName(unit));
        lines.push_back(text + where(profile, *profile.leastClearance));
    }
    if (!profile.samples.empty() && profile.gaps.size() == 1 && profile.gaps.front().fromMetres <= 0 &&
        profile.gaps.front().toMetres >= profile.totalMetres) {
        lines.emplace_back(profile.loading ? "Reading the terrain..." : "No terrain anywhere on the route");
        return lines;
    }
    for (const TerrainGap& gap : profile.gaps) {
        std::snprintf(text, sizeof text, "No terrain from %.2f km to %.2f km along the route",
                      gap.fromMetres / 1000.0, gap.toMetres / 1000.0);
        lines.emplace_back(text);
    }
    return lines;
}
