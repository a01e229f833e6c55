#pragma once

#include <array>
#include <functional>
#include <optional>

#include "map/LastHeard.h"
#include "map/MapGeometry.h"

// Colours of the layer: what was heard (the mark and its time) and where the aircraft can be now
// (the circle of reach, the dead-reckoned point and the dashed line to it).
// Deep enough to read on the light survey pictures as on black.
inline constexpr std::array<float, 3> kLastHeardColor{1.0f, 0.4f, 0.0f};
inline constexpr std::array<float, 3> kReachColor{0.0f, 0.55f, 1.0f};
// Shown under the time once the reach no longer grows.
inline constexpr const char* kReachLimitText = "reach held at 30 min";

// What the layer draws with: where a coordinate is shown on the map as it is zoomed and panned
// (nothing where it cannot be placed), and the text primitive.
struct LastHeardDrawing {
    std::function<std::optional<ScenePoint>(GeoPoint)> place;
    std::function<void(float x, float y, const std::array<float, 3>& color, float size, const char* text)>
        text;
};

// The last position heard as a ringed cross with the time since beside it, the geodesic circle of
// reach around it and the dead-reckoned point joined to it by a dashed line, all in the scene plane
// z = 0 (the layers drawn earlier stay above it). With a GL context current; leaves the line width
// at 1.0 and the line stipple off.
void drawLastHeardLayer(const LastHeard& lastHeard, const LastHeardDrawing& drawing);
