#pragma once

#include <optional>

// Linear conversion between latitude/longitude, scene units and the fixed 1024 x 672 reference
// frame, fixed by the map's two reference corners. No earth model: longitude maps to x and latitude
// to y with independent scales. Lives on the user-interface thread.
struct ScenePoint {
    double x = 0;
    double y = 0;
};

struct GeoPoint {
    double lat = 0;
    double lon = 0;
};

struct MapGeometry {
    // Geographic reference, degrees.
    double upperLeftLat = 0, lowerRightLat = 0, upperLeftLon = 0, lowerRightLon = 0;
    // Degrees per scene unit; positive for a north-up, east-right map.
    double lonPerUnit = 0, latPerUnit = 0;

    // The map's box in the reference frame (y down).
    double mapBoxLeft = 23.0, mapBoxRight = 661.0, mapBoxTop = 107.0, mapBoxBottom = 636.0;
    // The map rectangle in scene units.
    double mapLeft = 0, mapRight = 0, mapTop = 0, mapBottom = 0;
    // Scene units per reference pixel (unitsPerPixelY is negative).
    double unitsPerPixelX = 0, unitsPerPixelY = 0;
    // Size of the start-up bitmap; every later picture is stretched over the same rectangle.
    int mapBitmapWidth = 0, mapBitmapHeight = 0;
    // Lower-left corner of the map rectangle; the status panel reads it too.
    float mapOriginX = -5.3f, mapOriginY = -3.3f;
    // Lower-left texture coordinate of the zoom window, recomputed by every map drawing.
    float mapTexU0 = 0, mapTexV0 = 0;
};

// Scene units per bitmap pixel.
inline constexpr double kMapScale = 0.007;

// Sets the whole geometry for a start-up picture of width x height pixels and catalogue entry 0.
void initMapGeometry(MapGeometry& geometry, int width, int height);

// Recomputes lonPerUnit and latPerUnit from the current corners and the unchanged rectangle.
void updateMapScales(MapGeometry& geometry);

// The geographic reference of a map picture: its upper-left and lower-right corners, degrees.
struct MapCorners {
    double upperLeftLat = 0, upperLeftLon = 0, lowerRightLat = 0, lowerRightLon = 0;
};
MapCorners mapCorners(const MapGeometry& geometry);
// Sets the corners and recomputes the scales from them.
void setMapCorners(MapGeometry& geometry, const MapCorners& corners);

// Scene position of a geographic point; nothing when a scale is 0 or the result is not finite
// (what cannot be placed is not drawn).
std::optional<ScenePoint> geoToScene(const MapGeometry& geometry, double lat, double lon);

// Scene and geographic position of reference-frame pixel (x, y) inside the map box.
struct ReferencePoint {
    ScenePoint scene;
    GeoPoint geo;
};
ReferencePoint referenceToGeo(const MapGeometry& geometry, int x, int y);

// Latitude and longitude of a point of the unzoomed map, in scene units.
GeoPoint sceneToGeo(const MapGeometry& geometry, ScenePoint unzoomed);

// Whether a scene point lies on the drawn map rectangle, edges included.
bool isOnMap(const MapGeometry& geometry, ScenePoint point);

// The zoom window shows the square of side `zoom` (texture coordinates, 0.1..1.0) of the picture
// whose lower-left corner is (startU, startV), over the whole map rectangle: centred on the picture
// (zoomWindowStart) until the operator pans it. zoomedScenePoint is where a point of the unzoomed
// map is shown, unzoomedScenePoint the inverse. Everything drawn from coordinates goes through
// them, so it stays on its place in the picture.
inline float zoomWindowStart(float zoom) {
    return (1.0f - zoom) * 0.5f;
}
struct MapWindow {
    float zoom = 1.0f;
    float startU = 0.0f, startV = 0.0f;
};
inline MapWindow centredMapWindow(float zoom) {
    return {zoom, zoomWindowStart(zoom), zoomWindowStart(zoom)};
}
ScenePoint zoomedScenePoint(const MapGeometry& geometry, const MapWindow& window, ScenePoint unzoomed);
ScenePoint unzoomedScenePoint(const MapGeometry& geometry, const MapWindow& window, ScenePoint shown);
