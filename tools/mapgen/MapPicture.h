#pragma once

#include <QImage>
#include <cstdint>

#include "map/DibImage.h"
#include "tools/mapgen/SurveyGrid.h"

// Draws a survey-grid map of the area between `corners`: invented landmarks (fields, woods, a
// river, roads, paths, a pond) that depend only on `seed`, a labelled latitude/longitude grid,
// the corner coordinates, a north arrow and a scale bar. Needs a QGuiApplication for its text.
QImage drawMapPicture(const MapCorners& corners, int width, int height, std::uint32_t seed);

// The picture in the loader's layout: red, green, blue, rows packed, bottom row first.
RgbImage toRgbImage(const QImage& picture);
