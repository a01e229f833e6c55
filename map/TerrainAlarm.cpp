#include "map/TerrainAlarm.h"

#include <cmath>
#include <cstdio>

bool TerrainAlarm::update(bool linkAlive, bool gpsAcquired, GroundHeight ground, double altitudeMetres) {
    if (!linkAlive || !gpsAcquired || ground.state == GroundHeight::State::NoTerrain) {
        active_ = false;
        return false;
    }
    if (ground.state == GroundHeight::State::Loading) return active_;
    const double agl = altitudeMetres - ground.metres;
    if (agl > marginMetres_) armed_ = true;
    active_ = armed_ && agl < marginMetres_;
    return active_;
}

std::string terrainAlarmText(double aglMetres, GeoPoint at, HeightUnit unit) {
    char text[96];
    std::snprintf(text, sizeof text, "AGL %.0f %s at %.5f %.5f", std::floor(toUnit(aglMetres, unit)),
                  unitName(unit), at.lat, at.lon);
    return text;
}
