#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <string>
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
// The same in two steps, for a frame drawn in several passes: the drawing, as often as needed,
// then once the frame's count of the flashes (whether one was red).
void drawWaypointButtons(const MapCanvas& canvas, const Waypoints& waypoints);
bool advanceWaypointFlashes(Waypoints& waypoints);

// What drawWaypointMarks draws, for telling which parts of the map a change of the route touches:
// each marker's centre and its two labels, and the corners of the route line when it is shown.
struct WaypointMark {
    ScenePoint at;
    ScenePoint latLabelAt, lonLabelAt;
    float labelSize = 0;
    std::string latLabel, lonLabel;
};
std::vector<WaypointMark> waypointMarks(const Waypoints& route, const MapGeometry& geometry,
                                        const MapWindow& window);
std::vector<ScenePoint> routeLoop(const Waypoints& route, const MapGeometry& geometry,
                                  const MapWindow& window);
// Each button's rectangle and whether it is drawn red.
struct PanelButton {
    float left, bottom, right, top;
    bool lit;
};
std::vector<PanelButton> waypointPanelButtons(const Waypoints& waypoints);
