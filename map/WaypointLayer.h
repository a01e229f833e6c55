#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <utility>
#include <vector>

#include "map/MapCanvas.h"
#include "map/MapGeometry.h"

struct Waypoints;

// Filled spheres drawn from display lists: the first sphere of a radius records its list while
// drawing it, every later one of exactly that radius replays it. The lists belong to the context
// that was current when they were made.
class SolidSphereCache {
public:
    // Draws a sphere of `radius` centred at the current origin.
    void draw(double radius);
    // Number of display lists made so far.
    std::size_t listCount() const { return lists_.size(); }
    // The list of `radius`, 0 when none was made.
    GLuint listFor(double radius) const;
    // Drops every list name: a new context starts without any.
    void forget() { lists_.clear(); }

private:
    std::vector<std::pair<double, GLuint>> lists_;
};

// The route's markers with their labels and, once uploaded, the route line, where `window` shows
// them on the map (clipped to the map rectangle). Context current, the frame's modelview.
void drawWaypointMarks(const MapCanvas& canvas, SolidSphereCache& spheres, const Waypoints& route,
                       const MapGeometry& geometry, const MapWindow& window);
// The three buttons under the map; a pressed one is red for a few drawings, counted in
// `waypoints`. Returns whether one was drawn red.
bool drawWaypointPanel(const MapCanvas& canvas, Waypoints& waypoints);
