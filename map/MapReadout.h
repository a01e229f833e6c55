#pragma once

#include <optional>
#include <string>

#include "map/Geodesy.h"
#include "map/LastHeard.h"
#include "map/MapGeometry.h"
#include "map/RouteProfile.h"
#include "map/Terrain.h"

struct Waypoints;

// What the status bar reads out about the map: the point under the cursor and its distance and
// bearing from the aircraft, and the planned route.
struct MapReadout {
    std::optional<GeoPoint> cursor;    // while the cursor is over the drawn map
    std::optional<GeoPoint> aircraft;  // while the aircraft's position is known (a GPS fix)
    int waypointCount = 0;
    double routeMetres = 0;  // closed route, as the route line is drawn
    // While the view reads "NO LINK" after a position was heard with the GPS acquired.
    std::optional<LastHeard> lastHeard;
    // Terrain, while elevation files are in use: the ground under the cursor and under the
    // aircraft, the aircraft's altitude above mean sea level, and whether the clearance alarm holds.
    bool terrainInUse = false;
    HeightUnit unit = HeightUnit::Metres;
    GroundHeight cursorGround;
    GroundHeight aircraftGround;
    double altitudeMetres = 0;
    bool terrainAlarm = false;
};

// The route part of the readout from the list.
void readRoute(MapReadout& readout, const Waypoints& waypoints);

// "Cursor 39.98712, -75.21301   Aircraft to cursor 123.4 m at 45.2°" (5 decimals, metres to a
// decimetre, true bearing to a tenth of a degree); empty while the cursor is off the map. UTF-8.
std::string formatCursorReadout(const MapReadout& readout);
// formatLastHeardStatus while the link is lost, else empty.
std::string formatLastHeardReadout(const MapReadout& readout);
// "3 waypoints   Route 524.7 m".
std::string formatRouteReadout(const MapReadout& readout);

// "GND 412 m  AGL 88 m" ("GND no terrain" where no file covers the aircraft); empty while no
// elevation files are in use or the aircraft's position is unknown.
std::string formatTerrainReadout(const MapReadout& readout);
