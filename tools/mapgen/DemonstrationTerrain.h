#pragma once

#include <string>

#include "map/MapGeometry.h"

// A made-up elevation tile around the catalogue sites: gently rolling ground about 40 m above sea
// level with a hill 40 m higher under the east end of the simulator's default circuit, so that the
// circuit flown low passes within the clearance margin of it.
struct DemonstrationTerrain {
    double south = 39.975, west = -75.230, north = 40.000, east = -75.195;
    double postDegrees = 0.0001;  // about 11 m north-south
    GeoPoint hillTop;
    double hillMetres = 40, hillRadiusMetres = 45;
    DemonstrationTerrain();
    double heightAt(GeoPoint point) const;
};

// Writes the tile as a one-band GeoTIFF in latitude/longitude (WGS84); false with the reason.
// The file is written beside `path` and renamed into place, so that a failed write leaves what was
// there whole.
bool writeDemonstrationTerrain(const DemonstrationTerrain& terrain, const std::string& path,
                               std::string& error);
