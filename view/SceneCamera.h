#pragma once

#include <cmath>
#include <numbers>

#include <optional>

#include "map/MapGeometry.h"
#include "map/Waypoints.h"

// The fixed camera: a perspective whose aspect never follows the window, so the scene stretches to
// fill it and every scene point keeps its fraction of the client width and height. The eye looks
// down the z axis at the scene plane z = 0 from kEyeDistance.
inline constexpr double kFieldOfViewDegrees = 40.0;
inline constexpr double kSceneAspect = 1.526946;
inline constexpr double kEyeDistance = 10.0;

// Half the visible height and width of the scene plane, scene units (3.6397 and 5.5576).
inline double sceneHalfHeight() {
    return kEyeDistance * std::tan(kFieldOfViewDegrees / 2 * std::numbers::pi / 180);
}
inline double sceneHalfWidth() {
    return sceneHalfHeight() * kSceneAspect;
}

// The scene point shown under client position (x, y), in pixels from the top-left corner of a
// client area of width x height (both positive): the position of a pixel is its top-left corner,
// so a click on pixel (x, y) is taken at that pixel's centre.
inline ScenePoint clientToScene(double x, double y, int width, int height) {
    return {((x + 0.5) / width * 2 - 1) * sceneHalfWidth(), (1 - (y + 0.5) / height * 2) * sceneHalfHeight()};
}

// A client position of a window of width x height logical pixels as a double-click sees it;
// nothing while the window has no positive size or the position is far outside it.
inline std::optional<DoubleClickPosition> toDoubleClickPosition(double x, double y, int width, int height) {
    const auto reference = toReferenceFrame(x, y, width, height, kReferenceWidth, kReferenceHeight);
    if (!reference) return std::nullopt;
    return DoubleClickPosition{*reference, clientToScene(x, y, width, height)};
}
