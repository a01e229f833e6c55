#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <span>

// A rectangle of the view's scene plane, in scene units (+x right, +y up).
struct SceneRect {
    double left = 0, bottom = 0, right = 0, top = 0;
};

// The visible scene: the view stretches it over the whole picture whatever the picture's shape.
inline constexpr double kSceneHalfWidth = 5.5576;
inline constexpr double kSceneHalfHeight = 3.6397;

// The places of the view that differ between two runs fed the same line: the clock line under the
// map, and the link state with the measured line rate in the table's last row (whether a line came
// between the last two drawings is a matter of timing, and the rate is a measurement).
inline constexpr std::array<SceneRect, 2> kVaryingPlaces{{
    {-5.36, -3.58, -1.2, -3.31},
    {3.36, -1.54, 5.38, -1.235},
}};

// The pixels of a picture of `size` that `rect` covers, rounded outwards.
QRect scenePixels(const SceneRect& rect, QSize size);

struct ScreenComparison {
    bool sameSize = false;
    long long differing = 0;  // pixels outside the masks whose colour differs
    long long masked = 0;     // pixels inside the masks, not compared
    QPoint firstDifference{-1, -1};
    bool bothBlank = false;  // neither picture has any pixel other than its first: nothing was drawn
};

// Compares the colour (not alpha) of every pixel outside `masks`.
ScreenComparison compareScreens(const QImage& first, const QImage& second, std::span<const SceneRect> masks);

// For looking at a failed comparison: `first` with the masks in dark blue and every differing pixel
// in red. Pictures of different sizes give a null image.
QImage differencePicture(const QImage& first, const QImage& second, std::span<const SceneRect> masks);
