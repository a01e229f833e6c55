#pragma once

#include <vector>

#include "map/ImagerySource.h"
#include "map/MapGeometry.h"

// Where an opened map's imagery goes in the map rectangle, and which of its tiles a view needs.
// Plain arithmetic on the linear latitude/longitude frame: no window, no GL.

// An area in degrees.
struct GeoBox {
    double west = 0, east = 0, south = 0, north = 0;
};

// Corners of the map rectangle for `info`: the imagery's whole area fitted into the rectangle at
// one scale east and north (metres per scene unit equal at the imagery's centre latitude),
// centred, the rest of the rectangle left for the margin.
MapCorners fittedMapCorners(const ImageryInfo& info, const MapGeometry& geometry);

// The part of the map rectangle's area on show through `window`.
GeoBox shownArea(const MapGeometry& geometry, const MapWindow& window);
// The area one tile covers.
GeoBox tileArea(const ImageryInfo& info, const TileKey& key);

// The pyramid level whose pixels come nearest to one a screen pixel when `area` is shown across
// `screenPixels` pixels of the screen.
int tileLevelFor(const ImageryInfo& info, const GeoBox& area, double screenPixels);
// The tiles of `level` that `area` touches, those nearest its centre first.
std::vector<TileKey> tilesCovering(const ImageryInfo& info, int level, const GeoBox& area);

// The smallest zoom window (side in texture coordinates) at which one pixel of the imagery spans
// one screen pixel, when the map rectangle spans `rectScreenPixels` pixels of the screen
// horizontally; 1 for imagery coarser than the screen.
float imageryMinimumZoom(const ImageryInfo& info, const MapGeometry& geometry, double rectScreenPixels);
