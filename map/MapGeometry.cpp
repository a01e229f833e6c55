#include "map/MapGeometry.h"

#include <cmath>

#include "map/MapCatalog.h"

namespace {

// The rectangle's lower-left corner, taken in single precision so that it matches the drawn
// rectangle's edges exactly.
constexpr double kMapLeft = static_cast<double>(-5.3f);
constexpr double kMapBottom = static_cast<double>(-3.3f);
// Reciprocals of the map box's width (638) and height (529) in reference pixels.
constexpr double kPerBoxWidth = 0.001567398119122257;
constexpr double kPerBoxHeight = 0.001890359168241966;

}  // namespace

void initMapGeometry(MapGeometry& geometry, int width, int height) {
    geometry.mapBitmapWidth = width;
    geometry.mapBitmapHeight = height;

    const MapSite& site = kMapCatalog[0];
    geometry.upperLeftLat = site.upperLeftLat;
    geometry.lowerRightLat = site.lowerRightLat;
    geometry.upperLeftLon = site.upperLeftLon;
    geometry.lowerRightLon = site.lowerRightLon;

    geometry.mapOriginX = -5.3f;
    geometry.mapOriginY = -3.3f;
    geometry.mapBoxLeft = 23.0;
    geometry.mapBoxRight = 661.0;
    geometry.mapBoxTop = 107.0;
    geometry.mapBoxBottom = 636.0;

    geometry.mapLeft = kMapLeft;
    geometry.mapBottom = kMapBottom;
    geometry.mapRight = width * kMapScale - 5.300000190734863;
    geometry.mapTop = height * kMapScale - 3.299999952316284;

    geometry.unitsPerPixelX = (geometry.mapRight - geometry.mapLeft) * kPerBoxWidth;
    geometry.unitsPerPixelY = (geometry.mapBottom - geometry.mapTop) * kPerBoxHeight;
    updateMapScales(geometry);
}

void updateMapScales(MapGeometry& geometry) {
    geometry.lonPerUnit =
        (geometry.lowerRightLon - geometry.upperLeftLon) / (geometry.mapRight - geometry.mapLeft);
    geometry.latPerUnit =
        (geometry.lowerRightLat - geometry.upperLeftLat) / (geometry.mapBottom - geometry.mapTop);
}

MapCorners mapCorners(const MapGeometry& geometry) {
    return {geometry.upperLeftLat, geometry.upperLeftLon, geometry.lowerRightLat, geometry.lowerRightLon};
}

void setMapCorners(MapGeometry& geometry, const MapCorners& corners) {
    geometry.upperLeftLat = corners.upperLeftLat;
    geometry.upperLeftLon = corners.upperLeftLon;
    geometry.lowerRightLat = corners.lowerRightLat;
    geometry.lowerRightLon = corners.lowerRightLon;
    updateMapScales(geometry);
}

std::optional<ScenePoint> geoToScene(const MapGeometry& geometry, double lat, double lon) {
    // Corners of equal latitude or longitude leave a zero scale: such a point has no place.
    if (geometry.lonPerUnit == 0.0 || geometry.latPerUnit == 0.0) return std::nullopt;
    const ScenePoint point{(lon - geometry.upperLeftLon) / geometry.lonPerUnit + geometry.mapLeft,
                           (lat - geometry.upperLeftLat) / geometry.latPerUnit + geometry.mapTop};
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) return std::nullopt;
    return point;
}

ReferencePoint referenceToGeo(const MapGeometry& geometry, int x, int y) {
    ReferencePoint result;
    result.scene.x = (x - geometry.mapBoxLeft) * geometry.unitsPerPixelX + geometry.mapLeft;
    result.scene.y = (y - geometry.mapBoxTop) * geometry.unitsPerPixelY + geometry.mapTop;
    result.geo.lon = (result.scene.x - geometry.mapLeft) * geometry.lonPerUnit + geometry.upperLeftLon;
    result.geo.lat = (result.scene.y - geometry.mapTop) * geometry.latPerUnit + geometry.upperLeftLat;
    return result;
}

GeoPoint sceneToGeo(const MapGeometry& geometry, ScenePoint unzoomed) {
    return {(unzoomed.y - geometry.mapTop) * geometry.latPerUnit + geometry.upperLeftLat,
            (unzoomed.x - geometry.mapLeft) * geometry.lonPerUnit + geometry.upperLeftLon};
}

bool isOnMap(const MapGeometry& geometry, ScenePoint point) {
    return point.x >= geometry.mapLeft && point.x <= geometry.mapRight && point.y >= geometry.mapBottom &&
           point.y <= geometry.mapTop;
}

// Texture coordinate s (or t) runs from 0 at the rectangle's left (bottom) edge to 1 at its right
// (top) edge; the window shows s0 .. s0 + zoom over the whole rectangle.
ScenePoint zoomedScenePoint(const MapGeometry& geometry, const MapWindow& window, ScenePoint unzoomed) {
    const double width = geometry.mapRight - geometry.mapLeft;
    const double height = geometry.mapTop - geometry.mapBottom;
    const double s = (unzoomed.x - geometry.mapLeft) / width;
    const double t = (unzoomed.y - geometry.mapBottom) / height;
    return {geometry.mapLeft + (s - window.startU) / window.zoom * width,
            geometry.mapBottom + (t - window.startV) / window.zoom * height};
}

ScenePoint unzoomedScenePoint(const MapGeometry& geometry, const MapWindow& window, ScenePoint shown) {
    const double width = geometry.mapRight - geometry.mapLeft;
    const double height = geometry.mapTop - geometry.mapBottom;
    const double s = window.startU + (shown.x - geometry.mapLeft) / width * window.zoom;
    const double t = window.startV + (shown.y - geometry.mapBottom) / height * window.zoom;
    return {geometry.mapLeft + s * width, geometry.mapBottom + t * height};
}
