#pragma once

#include <vector>

// The geographic frame of a map picture: the coordinates of its upper-left and lower-right
// corners, degrees, north and east positive. Longitude runs linearly along x and latitude along y,
// as the ground station places things on the picture.
struct MapCorners {
    double upperLeftLat = 0, upperLeftLon = 0, lowerRightLat = 0, lowerRightLon = 0;

    // Finite, north above south, west left of east.
    bool valid() const;
    double xOf(double lon, int width) const {
        return (lon - upperLeftLon) / (lowerRightLon - upperLeftLon) * width;
    }
    double yOf(double lat, int height) const {
        return (upperLeftLat - lat) / (upperLeftLat - lowerRightLat) * height;
    }
};

// Spacing of the grid: the smallest round step (1, 2 or 5 times a power of ten, degrees) that puts
// at most `maxLines` lines across `span`.
double gridStep(double span, int maxLines);

// The multiples of `step` from `low` to `high`, each computed from its index so that the labels
// read as round numbers.
std::vector<double> gridValues(double low, double high, double step);

// Decimals that show every multiple of `step` exactly.
int labelDecimals(double step);

// Ground distance of one pixel along x, metres, on a spherical earth at the map's mid latitude.
double metresPerPixel(const MapCorners& corners, int width);

// A round scale-bar length, metres, of at most about a fifth of the picture's width.
double scaleBarMetres(double metresPerPixel, int width);
