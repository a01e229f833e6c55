#pragma once

#include <GL/gl.h>

#include "map/MapGeometry.h"

// The map rectangle's drawing, with the context current and the frame's modelview.

// Clips what is drawn between the two to the map rectangle: overlays placed by coordinates never
// spill from the part of the map on show over the panels.
void beginMapClip(const MapGeometry& geometry);
void endMapClip();

// The white frame around the map rectangle.
void drawMapFrame(const MapGeometry& geometry);

// A catalogue map's picture: a texture stretched over the map rectangle, the part in `window`
// shown. `level` is the mipmap level to sample (the quad lies parallel to the screen, so one
// level serves all its pixels), or -1 to let the renderer choose per pixel.
struct MapPicture {
    GLuint texture = 0;
    bool loaded = false;
    int level = -1;
};
void drawMapPicture(const MapGeometry& geometry, const MapWindow& window, const MapPicture& picture);
