#pragma once

#include <string>

#include "map/MapGeometry.h"
#include "map/RouteProfile.h"
#include "map/Terrain.h"

// Whether the aircraft is too near the ground: its height above the ground under it is below the
// margin while the link is alive and the GPS acquired. It is armed only once the aircraft has been
// above the margin in this run, so that an aircraft standing on the field does not sound it.
// Where the ground is not known it holds no alarm; while the ground's posts are being read it keeps
// what it said. One thread only.
class TerrainAlarm {
public:
    static constexpr double kDefaultMarginMetres = 30;

    void setMarginMetres(double metres) { marginMetres_ = metres; }
    double marginMetres() const { return marginMetres_; }

    // The state at this moment; true while the alarm holds.
    bool update(bool linkAlive, bool gpsAcquired, GroundHeight ground, double altitudeMetres);
    bool active() const { return active_; }
    bool armed() const { return armed_; }

private:
    double marginMetres_ = kDefaultMarginMetres;
    bool armed_ = false;
    bool active_ = false;
};

// "AGL 24 m at 39.98612 -75.21235": what the alarm's journal line says when it starts.
// The height is rounded down: the alarm holds below the margin, and never reads as the margin.
std::string terrainAlarmText(double aglMetres, GeoPoint at, HeightUnit unit);
