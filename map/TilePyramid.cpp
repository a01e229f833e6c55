#include "map/TilePyramid.h"

#include <algorithm>
#include <cmath>

#include "map/Geodesy.h"

namespace {

// Metres spanned by a small step of longitude and of latitude at `lat`, on the ellipsoid.
constexpr double kProbeDegrees = 1e-3;

double metresPerDegreeLon(double lat, double lon) {
    return geodesicInverse({lat, lon - kProbeDegrees / 2}, {lat, lon + kProbeDegrees / 2}).metres /
           kProbeDegrees;
}
double metresPerDegreeLat(double lat, double lon) {
    return geodesicInverse({lat - kProbeDegrees / 2, lon}, {lat + kProbeDegrees / 2, lon}).metres /
           kProbeDegrees;
}

}  // namespace

MapCorners fittedMapCorners(const ImageryInfo& info, const MapGeometry& geometry) {
    const double centreLat = (info.north + info.south()) / 2;
    const double centreLon = (info.west + info.east()) / 2;
    const double perLon = metresPerDegreeLon(centreLat, centreLon);
    const double perLat = metresPerDegreeLat(centreLat, centreLon);
    const double rectWidth = geometry.mapRight - geometry.mapLeft;
    const double rectHeight = geometry.mapTop - geometry.mapBottom;
    const double metresPerUnit = std::max((info.east() - info.west) * perLon / rectWidth,
                                          (info.north - info.south()) * perLat / rectHeight);
    const double halfLon = rectWidth * metresPerUnit / perLon / 2;
    const double halfLat = rectHeight * metresPerUnit / perLat / 2;
    return {centreLat + halfLat, centreLon - halfLon, centreLat - halfLat, centreLon + halfLon};
}

GeoBox shownArea(const MapGeometry& geometry, const MapWindow& window) {
    const double lonSpan = geometry.lowerRightLon - geometry.upperLeftLon;
    const double latSpan = geometry.upperLeftLat - geometry.lowerRightLat;
    const double south = geometry.lowerRightLat + window.startV * latSpan;
    const double west = geometry.upperLeftLon + window.startU * lonSpan;
    return {west, west + window.zoom * lonSpan, south, south + window.zoom * latSpan};
}

GeoBox tileArea(const ImageryInfo& info, const TileKey& key) {
    const TileWindow window = tileWindow(info, key);
    return {info.west + window.x * info.lonPerPixel,
            info.west + (window.x + window.fullWidth) * info.lonPerPixel,
            info.north - (window.y + window.fullHeight) * info.latPerPixel,
            info.north - window.y * info.latPerPixel};
}

int tileLevelFor(const ImageryInfo& info, const GeoBox& area, double screenPixels) {
    const double sourcePixels = (area.east - area.west) / info.lonPerPixel;
    const int last = imageryLevelCount(info) - 1;
    if (!(screenPixels > 0) || !(sourcePixels > screenPixels)) return 0;
    const int level = static_cast<int>(std::floor(std::log2(sourcePixels / screenPixels) + 0.5));
    return std::clamp(level, 0, last);
}

std::vector<TileKey> tilesCovering(const ImageryInfo& info, int level, const GeoBox& area) {
    std::vector<TileKey> tiles;
    const double tileSpan = std::ldexp(static_cast<double>(kTileSize), level);
    const double columns = std::ceil(info.width / tileSpan), rows = std::ceil(info.height / tileSpan);
    const double left = std::floor((area.west - info.west) / info.lonPerPixel / tileSpan);
    const double right = std::floor((area.east - info.west) / info.lonPerPixel / tileSpan);
    const double top = std::floor((info.north - area.north) / info.latPerPixel / tileSpan);
    const double bottom = std::floor((info.north - area.south) / info.latPerPixel / tileSpan);
    const int firstColumn = static_cast<int>(std::clamp(left, 0.0, columns - 1));
    const int lastColumn = static_cast<int>(std::clamp(right, -1.0, columns - 1));
    const int firstRow = static_cast<int>(std::clamp(top, 0.0, rows - 1));
    const int lastRow = static_cast<int>(std::clamp(bottom, -1.0, rows - 1));
    if (right < 0 || bottom < 0 || left >= columns || top >= rows) return tiles;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) tiles.push_back({level, column, row});
    }
    const double centreColumn = (left + right) / 2, centreRow = (top + bottom) / 2;
    std::stable_sort(tiles.begin(), tiles.end(), [&](const TileKey& a, const TileKey& b) {
        return std::hypot(a.column - centreColumn, a.row - centreRow) <
               std::hypot(b.column - centreColumn, b.row - centreRow);
    });
    return tiles;
}

float imageryMinimumZoom(const ImageryInfo& info, const MapGeometry& geometry, double rectScreenPixels) {
    const double rectSourcePixels =
        std::fabs(geometry.lowerRightLon - geometry.upperLeftLon) / info.lonPerPixel;
    if (!(rectSourcePixels > rectScreenPixels) || !(rectScreenPixels > 0)) return 1.0f;
    return static_cast<float>(rectScreenPixels / rectSourcePixels);
}
