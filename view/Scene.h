#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>

#include "map/MapGeometry.h"
#include "map/WaypointLayer.h"
#include "map/Waypoints.h"

class Notifier;
struct ReplayScene;
struct TelemetryState;

// Colour indices of drawText.
enum ColorIndex : int { colorBlack = 0, colorRed, colorGreen, colorBlue, colorWhite, colorYellow };
using ColorTable = std::array<std::array<float, 3>, 6>;

// Size of the shipped map pictures: the map rectangle when the start-up picture cannot be loaded,
// so the overlays keep their places over an empty map.
inline constexpr int kShippedMapWidth = 989;
inline constexpr int kShippedMapHeight = 826;

// Shown (captioned with the application's title) when a map picture cannot be loaded.
inline constexpr const char* kMapLoadFailedText = "Loading the Navigation Map is failed!";

// Everything the view draws, with the state the drawing needs, independent of any window: it
// draws with whatever OpenGL context is current, so the program's view widget and the rendering
// tests (an off-screen context) use the same code. User-interface thread only.
class Scene {
public:
    Scene(TelemetryState& telemetry, Notifier& notifier);
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // With a context current: the fonts, the fixed GL state (clear colour, depth test, blending and
    // smoothing), the start-up map "site3.bmp" into the texture and the map geometry.
    void initGl();

    // The fixed camera over a viewport of `width` x `height` device pixels (ignored unless both are
    // positive): viewport, projection and eye transform.
    void resize(int width, int height);
    void applyViewport(int width, int height);
    void applyProjection(double aspect);  // the aspect is ignored: the scene stretches
    void applyEyeTransform();

    // One frame in the fixed layer order, ending with glFinish (the caller swaps buffers).
    void drawFrame();

    // The layers, in frame order.
    void drawStatusPanel();
    void drawWaypointMarks();
    void drawWaypointPanel();
    void drawAircraftSymbol();
    void drawMap();

    // A filled sphere of `radius` at the current origin, replayed from one display list per radius.
    void drawSolidSphere(double radius);

    // The only text primitive: baseline start at (x, y), size 1.0 is an em of 0.29 scene units.
    // Sets the colour of `colorIndex` (and draws nothing at all for an index outside the table).
    void drawText(float x, float y, int colorIndex, float size, const char* text) const;
    void buildFonts();

    // Loads the picture of catalogue index 0..3 into the map texture; the geometry is unchanged.
    void loadMapForIndex(int index);

    // One wheel step: forward (delta >= 0) widens the zoom window, back narrows it; 0.1..1.0.
    void wheelStep(int delta);

    float mapZoom() const { return mapZoom_; }
    GLuint outlineFontBase() const { return outlineFontBase_; }
    const ColorTable& colorTable() const { return colorTable_; }
    MapGeometry& mapGeometry() { return mapGeometry_; }
    const MapGeometry& mapGeometry() const { return mapGeometry_; }
    // The state the view shows: the live link's, or the replayed one while a replay is shown.
    TelemetryState& telemetry();
    // Shows `replay` instead of the live link (nullptr: the live link again). The live state keeps
    // being written by the receiver meanwhile; nothing of it is shown.
    void showReplay(ReplayScene* replay) { replay_ = replay; }
    const ReplayScene* replay() const { return replay_; }
    Notifier& notifier() { return notifier_; }
    // The route, the waypoint buttons' flags and their flash counters.
    Waypoints& waypoints() { return waypoints_; }
    const SolidSphereCache& sphereCache() const { return sphereCache_; }
    // Whether a map picture has reached the texture; without one the map shows only its frame.
    bool hasMapPicture() const { return mapPictureLoaded_; }
    // Whether the last status panel drawing read "LINK" (a line had arrived since the one before).
    // The view uses it to repaint once when telemetry stops, so that "NO LINK" appears.
    bool lastDrawingShowedLink() const { return lastDrawingShowedLink_; }

private:
    void loadStartupMap();
    void drawStateTable();

    TelemetryState& telemetry_;
    ReplayScene* replay_ = nullptr;
    Notifier& notifier_;
    GLuint outlineFontBase_ = 0;
    ColorTable colorTable_;
    float mapZoom_ = 1.0f;
    MapGeometry mapGeometry_;
    bool mapPictureLoaded_ = false;
    bool lastDrawingShowedLink_ = false;
    Waypoints waypoints_;
    SolidSphereCache sphereCache_;
};
