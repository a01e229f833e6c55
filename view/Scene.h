#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "map/FlightTrack.h"
#include "map/ImageryLayer.h"
#include "map/LastHeard.h"
#include "map/MapCanvas.h"
#include "map/MapGeometry.h"
#include "map/WaypointLayer.h"
#include "map/Waypoints.h"
#include "net/TelemetrySenders.h"
#include "view/FrameDamage.h"
#include "view/OutlineFont.h"
#include "view/ReplayScene.h"

class Notifier;
class TextureImage;
struct TelemetryState;

// Words whose state is no longer known (the link is lost).
inline constexpr std::array<float, 3> kUnknownStateColor{0.5f, 0.5f, 0.5f};

// Size of the shipped map pictures: the map rectangle when the start-up picture cannot be loaded,
// so the overlays keep their places over an empty map.
inline constexpr int kShippedMapWidth = 989;
inline constexpr int kShippedMapHeight = 826;

// Shown (captioned with the application's title) when a map picture cannot be loaded.
inline constexpr const char* kMapLoadFailedText = "Loading the Navigation Map is failed!";

// Everything the view draws, with the state the drawing needs, independent of any window: it
// draws with whatever OpenGL context is current, so the program's view widget and the rendering
// tests (an off-screen context) use the same code. User-interface thread only.
class Scene : public MapCanvas {
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

    // One frame in the fixed layer order, ending with glFinish (the caller swaps buffers). Only
    // the parts whose pixels change are drawn again, each layer limited to them: the colour buffer
    // must still hold the previous frame (a buffer of the view's own), unless partial redraw is off.
    void drawFrame();

    // Whether frames draw only what changed (the default) or the whole view every time.
    void setPartialRedraw(bool partial) {
        partialRedraw_ = partial;
        damage_.invalidate();
    }
    bool partialRedraw() const { return partialRedraw_; }
    // The next frame draws the whole view: the kept picture is gone (a new buffer) or no longer
    // stands for the view (a new map, zoom, pan or size).
    void invalidateFrame() { damage_.invalidate(); }
    // What the last frame drew: the viewport rectangles in device pixels, or the whole viewport.
    const FrameDamage::Changes& lastFrameChanges() const { return lastChanges_; }
    // The rectangle the glyphs of `text` colour, drawn by drawText at (x, y) with `size`.
    SceneRect textRect(float x, float y, float size, const std::string& text) const;
    SceneRect textRect(float x, float y, float size, const char* text) const;

    // The layers, in frame order.
    void drawStatusPanel();
    void drawWaypointMarks();
    void drawWaypointPanel();
    void drawAircraftSymbol();
    // While the link is lost: the last position heard with the GPS acquired, the time since, and
    // where the aircraft can be now (lastHeardShown).
    void drawLastHeard();
    // The flown track (magenta, under everything drawn before it) and, while the aircraft lies
    // outside the shown map, a yellow arrow at the map's edge pointing to it with its distance.
    void drawTrack();
    void drawOffMapArrow();
    void drawMap();

    // A filled sphere of `radius` at the current origin, replayed from one display list per radius.
    void drawSolidSphere(double radius);

    // The only text primitive: baseline start at (x, y), size 1.0 is an em of 0.29 scene units.
    // Sets the colour of `colorIndex` (and draws nothing at all for an index outside the table).
    void drawText(float x, float y, int colorIndex, float size, const char* text) const override;
    // The same in a colour of its own.
    void drawTextInColor(float x, float y, const std::array<float, 3>& color, float size,
                         const char* text) const;
    bool drawsNear(double x, double y, double reach) const override;
    void buildFonts();

    // Changes the map whole or not at all: the picture of catalogue index 0..3 (read from the
    // working directory) with `corners`. When the picture cannot be loaded or the GL cannot take
    // it, one message tells the operator why, naming the file with its folder, and the picture,
    // corners and scales stay as they were. The map rectangle never changes: a picture of another
    // size is stretched over it. Returns whether the map changed.
    bool changeMap(int index, const MapCorners& corners);
    // The same with the current corners.
    bool loadMapForIndex(int index);

    // Opened maps (imagery files and tile folders). `opener` runs on the loader thread; `wake` is
    // called there whenever results wait to be taken (it must not block). Set before the first
    // openMap; by default GDAL opens and nobody is woken (takeMapResults is polled).
    void setImageryAccess(TileLoader::Opener opener, std::function<void()> wake);
    // Bytes of tile textures kept at most (beyond those of the drawing on the screen); before
    // the first openMap.
    void setImageryBudget(std::size_t bytes) { imageryBudget_ = bytes; }
    // Starts opening `request` on the loader thread; the map shown stays until it has opened.
    void openMap(const MapOpenRequest& request);
    // Takes what the loader has done (context current): a map opened (it is shown whole, its
    // area fitted into the map rectangle), tiles, and what the operator must be told or asked.
    ImageryLayer::Update takeMapResults();
    // The opened map, when one is shown instead of a catalogue picture.
    const ImageryLayer* imagery() const { return imageryShown() ? imagery_.get() : nullptr; }
    bool imageryShown() const { return imagery_ && imagery_->shown(); }
    // Whether a map was ever opened (its loader may have results to take).
    bool hasImagery() const { return imagery_ != nullptr; }
    // Ends the loader and releases the tiles (context current, or none when the context is gone).
    void closeImagery(bool contextCurrent);

    // The program's millisecond clock unless set otherwise (tests): it times how long the panel
    // warns of a second telemetry sender.
    void setClock(MillisecondClock clock) { clock_ = std::move(clock); }
    // The calendar time the panel's clock line shows, std::time unless set otherwise (tests).
    void setCalendarClock(std::function<std::time_t()> clock) { calendarClock_ = std::move(clock); }

    // One wheel step: forward (delta >= 0) widens the zoom window, back narrows it; 0.1..1.0. An
    // opened map zooms by a constant factor from the whole map down to one of its pixels a screen
    // pixel, keeping the map point under `cursor` (scene units) where it is.
    void wheelStep(int delta, std::optional<ScenePoint> cursor = std::nullopt);
    // The zoom window's smallest side for the map shown.
    float minimumMapZoom() const;
    // Follow Aircraft: while zoomed, the shown part of the map moves to keep the aircraft inside
    // its middle third. A pan by the operator switches it off.
    void setFollowAircraft(bool follow) { followAircraft_ = follow; }
    bool followAircraft() const { return followAircraft_; }
    // Moves the shown part to the aircraft when following; whether it moved.
    bool followStep();
    // Whether a wheel event of these angle deltas is a zoom step: only a vertical component zooms,
    // so a tilted wheel or a sideways swipe leaves the map alone (an event of no delta at all
    // still counts as forward).
    static bool isZoomWheelEvent(int horizontalDelta, int verticalDelta) {
        return verticalDelta != 0 || horizontalDelta == 0;
    }

    // The operator's double-click at client position (x, y) of a window of width x height logical
    // pixels: a button, or a waypoint at the map position under the cursor as the map is shown.
    void doubleClick(double x, double y, int width, int height, const DoubleClickActions& actions);
    // Whether a pressed button still has drawings of its flash to come: the red ones, and the one
    // that shows it dark again.
    bool buttonFlashPending() const {
        return waypoints_.uploadPressed != 0 || waypoints_.clearPressed != 0 ||
               waypoints_.loadMapPressed != 0 || lastPanelShowedFlash_;
    }

    // Whether drawMap picks the mipmap level of the map quad itself (the default) instead of
    // leaving the choice to the renderer for every pixel. The quad lies parallel to the screen, so
    // one level serves all its pixels and the pixels are the same; the software renderer then
    // skips the level computation. Off only to compare the two.
    void setMapLevelChosenByView(bool chosen) { mapLevelChosenByView_ = chosen; }
    // The level the renderer would sample for the map quad over the current viewport and zoom, or
    // -1 without a map picture.
    int mapTextureLevel() const;

    float mapZoom() const { return mapZoom_; }
    GLuint outlineFontBase() const { return outlineFontBase_; }
    const ColorTable& colorTable() const { return colorTable_; }
    MapGeometry& mapGeometry() { return mapGeometry_; }
    const MapGeometry& mapGeometry() const { return mapGeometry_; }
    // The state the view shows: the live link's, or the replayed one while a replay is shown.
    TelemetryState& telemetry();
    // Shows `replay` instead of the live link (nullptr: the live link again). The live state keeps
    // being written by the receiver meanwhile; nothing of it is shown.
    // A replay brings its own track.
    void showReplay(ReplayScene* replay) { replay_ = replay; }
    const ReplayScene* replay() const { return replay_; }
    Notifier& notifier() { return notifier_; }
    // The route, the waypoint buttons' flags and their flash counters.
    Waypoints& waypoints() { return waypoints_; }
    const SolidSphereCache& sphereCache() const { return sphereCache_; }
    // Whether a map picture has reached the texture; without one the map shows only its frame.
    bool hasMapPicture() const { return mapPictureLoaded_ || imageryShown(); }
    // The flown track shown (the replayed flight's during a replay) and which part of it is drawn;
    // the track clock (the track's own clock, set before each frame) decides what "the last ten
    // minutes" are.
    FlightTrack& flightTrack() { return replay_ != nullptr ? replay_->track : flightTrack_; }
    // The live aircraft's track, recorded also while a replay is shown.
    FlightTrack& liveTrack() { return flightTrack_; }
    TrackMode trackMode() const { return trackMode_; }
    void setTrackMode(TrackMode mode) { trackMode_ = mode; }
    void setTrackClock(std::int64_t nowMs) { trackClockMs_ = nowMs; }
    std::int64_t trackClockMs() const { return trackClockMs_; }
    // The whole picture again: no zoom, no pan.
    void resetMapView();
    // Drags the shown picture by (dx, dy) scene units, as a hand moves paper: the zoom window
    // moves the other way and never past the picture's edges. Nothing moves at full view.
    void panMap(double dx, double dy);
    // The operator's own pan: the same, and it ends Follow Aircraft.
    void panMapByOperator(double dx, double dy);
    // The part of the picture on show: the zoom window around the pan centre, inside the picture.
    MapWindow mapWindow() const;
    // The coordinate of the picture as shown under scene point `shown`; nothing off the drawn map.
    std::optional<GeoPoint> geoAtScene(ScenePoint shown) const;

    // Whether the last status panel drawing read "LINK" (a line had arrived since the one before).
    // The view uses it to repaint once when telemetry stops, so that "NO LINK" appears.
    bool lastDrawingShowedLink() const { return lastDrawingShowedLink_; }

    // The live link's lines came and then stopped for the link-loss time: the unit states are no
    // longer known (never during a replay, which shows the recorded states).
    bool linkLostShown() const;

    // The last position heard with the GPS acquired, whatever the link: the live one, or the
    // replayed moment's. Nothing before such a line.
    std::optional<LastFix> lastFixShown() const;
    // What the view shows of it: from the moment the view reads "NO LINK" (the live link's lines
    // stopped for the link-loss time, or the replayed moment's link was down) until a line is
    // heard again, with the time since on the program clock or the replay's own.
    std::optional<LastHeard> lastHeardShown() const;

private:
    void loadStartupMap();
    // The aircraft's scene position while it has a GPS fix.
    std::optional<ScenePoint> aircraftOnMap();
    // Where a coordinate is drawn on the map as shown, and the reverse.
    std::optional<ScenePoint> shownScenePoint(double lat, double lon) const;
    GeoPoint unshownGeo(double x, double y) const;
    bool loadPicture(int index, TextureImage& picture);
    // Clips what is drawn between the two to the map rectangle (the frame's modelview).
    void beginMapClip() const;
    void endMapClip() const;
    // Horizontal screen pixels of the map rectangle in the current viewport.
    double mapRectScreenPixels() const;
    void rememberMapTextureSize();

    // A frame is read once, then drawn in one pass or in one pass for each changed rectangle.
    // Reading takes the state the layers show (the panel's texts, the link's mark, the track's
    // vertices) and lists the frame's pieces for the comparison with the frame before.
    void readFrame();
    // Whether a text drawn now at (x, y) shows in the pass being drawn.
    bool textShowsInPass(float x, float y, float size, const char* text) const;
    void describeFrame();
    void drawLayers();
    void buildStatusPanel();
    void buildStateTable();
    void panelText(float x, float y, int colorIndex, float size, const std::string& text);
    void panelText(float x, float y, const std::array<float, 3>& color, float size, const std::string& text);
    static SceneRect statusFrameRect();
    void buildTrack();
    void drawTrackStrips() const;
    SceneRect mapRect() const;
    std::uint64_t mapKey() const;
    struct SymbolPlace {
        float x, y, heading;
    };
    std::optional<SymbolPlace> symbolPlace();
    struct OffMapArrow {
        float tipX, tipY, leftX, leftY, rightX, rightY, labelX, labelY, labelSize;
        std::string label;
    };
    std::optional<OffMapArrow> offMapArrow();

    // What the frame shows of the aircraft, read once for the comparison and every pass: the
    // receiver changes the telemetry meanwhile, and a pass that drew the symbol elsewhere than
    // the comparison placed it would leave part of it behind.
    struct FrameState {
        std::optional<SymbolPlace> symbol;
        bool linkLost = false;
        std::optional<OffMapArrow> arrow;
        std::optional<LastHeard> lastHeard;
    };
    FrameState frame_;

    // A text of the panel: drawn at (x, y) after a translation to `origin`.
    struct PanelText {
        std::array<float, 2> origin;
        float x, y;
        std::array<float, 3> color;
        float size;
        std::string text;
        SceneRect rect;
    };
    std::vector<PanelText> panelTexts_;
    std::size_t panelTextsBeforeFrame_ = 0;
    std::array<float, 2> panelOrigin_{0, 0};
    // The track's vertices as drawn: line strips, each starting at an index into trackVertices_.
    std::vector<ScenePoint> trackVertices_;
    std::vector<std::size_t> trackStripStarts_;
    bool inFrame_ = false;
    bool partialRedraw_ = true;
    FrameDamage damage_;
    FrameDamage::Changes lastChanges_;
    // The scene rectangle of the pass being drawn, when it is not the whole view.
    std::optional<SceneRect> passRect_;
    OutlineFontMetrics fontMetrics_{};

    TelemetryState& telemetry_;
    ReplayScene* replay_ = nullptr;
    Notifier& notifier_;
    GLuint outlineFontBase_ = 0;
    ColorTable colorTable_;
    float mapZoom_ = 1.0f;
    MapGeometry mapGeometry_;
    bool mapPictureLoaded_ = false;
    GLuint mapTexture_ = 0;
    bool mapLevelChosenByView_ = true;
    // Size of the map texture's first level (the picture scaled to powers of two by the mipmap
    // builder), and the viewport in pixels.
    int mapTextureWidth_ = 0, mapTextureHeight_ = 0;
    int viewportWidth_ = 0, viewportHeight_ = 0;
    bool lastDrawingShowedLink_ = false;
    bool lastPanelShowedFlash_ = false;
    Waypoints waypoints_;
    SolidSphereCache sphereCache_;
    FlightTrack flightTrack_;
    TrackMode trackMode_ = TrackMode::LastTenMinutes;
    std::int64_t trackClockMs_ = 0;
    // Centre of the zoom window in texture coordinates; the picture's centre until panned.
    double panCentreU_ = 0.5, panCentreV_ = 0.5;
    MillisecondClock clock_;
    std::function<std::time_t()> calendarClock_ = [] { return std::time(nullptr); };
    TileLoader::Opener imageryOpener_;
    std::function<void()> imageryWake_;
    std::unique_ptr<ImageryLayer> imagery_;
    std::size_t imageryBudget_ = ImageryLayer::kDefaultTextureBudget;
    bool followAircraft_ = false;
};
