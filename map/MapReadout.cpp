#include "map/MapReadout.h"

#include <algorithm>
#include <cstdio>

#include "common/ClassicNumbers.h"
#include "map/Waypoints.h"

namespace {

std::string groundText(const GroundHeight& ground, HeightUnit unit) {
    if (ground.state == GroundHeight::State::Loading) return "...";
    if (!ground.known()) return "no terrain";
    return classicFormatted("%.0f %s", toUnit(ground.metres, unit), unitName(unit));
}

}  // namespace

void readRoute(MapReadout& readout, const Waypoints& waypoints) {
    const int count = std::clamp(waypoints.waypointCount, 0, kWaypointCapacity);
    readout.waypointCount = count;
    readout.routeMetres = closedRouteMetres(waypoints.waypointLat.data(), waypoints.waypointLon.data(),
                                            static_cast<std::size_t>(count));
}

std::string formatCursorReadout(const MapReadout& readout) {
    if (!readout.cursor) return {};
    std::string text = classicFormatted("Cursor %.5f, %.5f", readout.cursor->lat, readout.cursor->lon);
    if (readout.aircraft) {
        const GeodesicLeg leg = geodesicInverse(*readout.aircraft, *readout.cursor);
        text +=
            classicFormatted("   Aircraft to cursor %.1f m at %.1f\xC2\xB0", leg.metres, leg.bearingDegrees);
    } else {
        text += "   Aircraft position unknown";
    }
    if (readout.terrainInUse) text += "   Ground " + groundText(readout.cursorGround, readout.unit);
    return text;
}

std::string formatRouteReadout(const MapReadout& readout) {
    return classicFormatted("%d waypoint%s   Route %.1f m", readout.waypointCount,
                            readout.waypointCount == 1 ? "" : "s", readout.routeMetres);
}

std::string formatLastHeardReadout(const MapReadout& readout) {
    return readout.lastHeard ? formatLastHeardStatus(*readout.lastHeard) : std::string();
}

std::string formatTerrainReadout(const MapReadout& readout) {
    if (!readout.terrainInUse || !readout.aircraft) return {};
    std::string text = "GND " + groundText(readout.aircraftGround, readout.unit);
    if (readout.aircraftGround.known()) {
        text += classicFormatted("  AGL %.0f %s",
                                 toUnit(readout.altitudeMetres - readout.aircraftGround.metres, readout.unit),
                                 unitName(readout.unit));
    }
    return text;
}
