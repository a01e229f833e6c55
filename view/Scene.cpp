#include "view/Scene.h"

#include <GL/glu.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>

#include "common/Notifier.h"
#include "map/MapCatalog.h"
#include "map/MapLayer.h"
#include "map/TextureImage.h"
#include "map/TilePyramid.h"
#include "map/WaypointLayer.h"
#include "net/TelemetryDecoder.h"
#include "view/OutlineFont.h"
#include "view/ReplayScene.h"
#include "view/SceneCamera.h"

namespace {

constexpr float kNearPlane = 0.1f;
constexpr double kFarPlane = 20.0;

// Glyphs are built flat. drawText squashes every glyph into the scene plane, where an extruded
// back face and side walls could never be seen (the front face wins the depth test at the same
// depth); building them would only triple the cost of every string drawn.
constexpr float kFontExtrusion = 0.0f;
// Scene units of one em at text size 1.0.
constexpr float kTextEmScale = 0.29f;

constexpr float kWheelStep = 0.05f;
constexpr float kMinMapZoom = 0.1f;
constexpr float kMaxMapZoom = 1.0f;
// An opened map zooms by a quarter of an octave a wheel step.
const double kImageryWheelFactor = std::exp2(0.25);
// Follow Aircraft keeps the aircraft inside the middle third of the shown map.
constexpr double kFollowInnerFraction = 1.0 / 3.0;

}  // namespace

Scene::Scene(TelemetryState& telemetry, Notifier& notifier)
    : telemetry_(telemetry),
      notifier_(notifier),
      colorTable_{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {1, 1, 0}}},
      clock_(programClockMs),
      imageryOpener_(openImagery) {}

TelemetryState& Scene::telemetry() {
    return replay_ != nullptr ? replay_->telemetry : telemetry_;
}

// The display lists and the texture belong to the context and go with it.
Scene::~Scene() = default;

void Scene::initGl() {
    // A new context has none of the previous one's sphere lists.
    sphereCache_.forget();
    buildFonts();

    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);

    // Colours carry no alpha, so blending only softens the edges of smoothed lines and points.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

    loadStartupMap();
}

namespace {

// Keeps the loader's message instead of showing it: the operator gets one message for a failed
// map, which says why.
class KeptMessage : public Notifier {
public:
    void showMessage(const std::string& /*caption*/, const std::string& text) override { kept = text; }
    std::string kept;
};

}  // namespace

bool Scene::loadPicture(int index, TextureImage& picture) {
    const char* name = mapBitmapFile(index);
    // The message names the file with its folder: the pictures are read from the working directory.
    std::error_code ignored;
    const std::string path =
        name != nullptr ? std::filesystem::absolute(name, ignored).string() : std::string();
    KeptMessage reason;
    bool loaded = !path.empty() && picture.load(path.c_str(), GL_DECAL, reason) == 1;
    if (loaded && picture.upload() != 1) {
        reason.kept = picture.uploadError();
        loaded = false;
    }
    if (!loaded) {
        std::string text = kMapLoadFailedText;
        while (!reason.kept.empty() && reason.kept.back() == '\n') reason.kept.pop_back();
        if (!reason.kept.empty()) text += "\n" + reason.kept;
        if (!path.empty() && reason.kept.find(path) == std::string::npos) text += "\n" + path;
        notifier_.showMessage(kApplicationTitle, text);
        return false;
    }
    if (mapTexture_ != 0) glDeleteTextures(1, &mapTexture_);
    mapTexture_ = picture.texture();
    mapPictureLoaded_ = true;
    glBindTexture(GL_TEXTURE_2D, mapTexture_);
    rememberMapTextureSize();
    return true;
}

void Scene::loadStartupMap() {
    TextureImage picture;
    int width = kShippedMapWidth;
    int height = kShippedMapHeight;
    if (loadPicture(0, picture)) {
        width = picture.image()->width;
        height = picture.image()->height;
    }
    initMapGeometry(mapGeometry_, width, height);
}

bool Scene::changeMap(int index, const MapCorners& corners) {
    TextureImage picture;
    if (!loadPicture(index, picture)) return false;
    damage_.invalidate();
    setMapCorners(mapGeometry_, corners);
    if (imageryShown()) {
        // Back to a catalogue picture, with its own zoom steps.
        imagery_->close();
        resetMapView();
    }
    return true;
}

void Scene::setImageryAccess(TileLoader::Opener opener, std::function<void()> wake) {
    imageryOpener_ = std::move(opener);
    imageryWake_ = std::move(wake);
}

void Scene::openMap(const MapOpenRequest& request) {
    if (!imagery_) {
        std::function<void()> wake = imageryWake_ ? imageryWake_ : [] {};
        imagery_ = std::make_unique<ImageryLayer>(imageryOpener_, wake, imageryBudget_);
    }
    // Kept with its folder: the maps opened before are opened again from anywhere.
    std::error_code ignored;
    MapOpenRequest absolute = request;
    absolute.path = std::filesystem::absolute(request.path, ignored).lexically_normal().string();
    imagery_->open(absolute);
}

ImageryLayer::Update Scene::takeMapResults() {
    if (!imagery_) return {};
    ImageryLayer::Update update = imagery_->takeResults();
    // New tiles replace coarser ones anywhere on the map.
    if (update.newTiles || update.opened) damage_.invalidate();
    if (update.opened) {
        if (mapTexture_ != 0) glDeleteTextures(1, &mapTexture_);
        mapTexture_ = 0;
        mapPictureLoaded_ = false;
        setMapCorners(mapGeometry_, fittedMapCorners(imagery_->info(), mapGeometry_));
        resetMapView();
    }
    return update;
}

void Scene::closeImagery(bool contextCurrent) {
    if (!imagery_) return;
    if (contextCurrent) imagery_->releaseTextures();
    imagery_.reset();
}

bool Scene::loadMapForIndex(int index) {
    return changeMap(index, mapCorners(mapGeometry_));
}

void Scene::rememberMapTextureSize() {
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &mapTextureWidth_);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &mapTextureHeight_);
}

int Scene::mapTextureLevel() const {
    if (!mapPictureLoaded_ || mapTextureWidth_ <= 0 || mapTextureHeight_ <= 0 || viewportWidth_ <= 0 ||
        viewportHeight_ <= 0) {
        return -1;
    }
    // Pixels per scene unit under the fixed camera, and the quad's size on the screen.
    const double halfHeight = kEyeDistance * std::tan(kFieldOfViewDegrees * 0.5 * std::numbers::pi / 180.0);
    const double pixelsPerUnitX = viewportWidth_ / (2.0 * halfHeight * kSceneAspect);
    const double pixelsPerUnitY = viewportHeight_ / (2.0 * halfHeight);
    const double quadPixelsX = mapGeometry_.mapBitmapWidth * kMapScale * pixelsPerUnitX;
    const double quadPixelsY = mapGeometry_.mapBitmapHeight * kMapScale * pixelsPerUnitY;
    // Texels per pixel along each axis; the larger one sets the level, the nearest one is taken
    // (level 0 also when the picture is magnified).
    const double zoom = mapZoom_;
    const double rho =
        std::max(zoom * mapTextureWidth_ / quadPixelsX, zoom * mapTextureHeight_ / quadPixelsY);
    if (!(rho > 1.0)) return 0;
    const int nearest = static_cast<int>(std::floor(std::log2(rho) + 0.5));
    const int last = static_cast<int>(std::floor(std::log2(std::max(mapTextureWidth_, mapTextureHeight_))));
    return std::clamp(nearest, 0, last);
}

void Scene::resize(int width, int height) {
    // A minimised window keeps the previous camera.
    if (width <= 0 || height <= 0) return;
    applyViewport(width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    applyProjection(static_cast<double>(width) / height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    applyEyeTransform();
}

void Scene::applyViewport(int width, int height) {
    glViewport(0, 0, width, height);
    if (width != viewportWidth_ || height != viewportHeight_) damage_.invalidate();
    viewportWidth_ = width;
    viewportHeight_ = height;
}

void Scene::applyProjection(double /*aspect*/) {
    gluPerspective(kFieldOfViewDegrees, kSceneAspect, kNearPlane, kFarPlane);
}

void Scene::applyEyeTransform() {
    glTranslatef(0, 0, static_cast<float>(-kEyeDistance));
}

void Scene::drawFrame() {
    readFrame();
    damage_.begin();
    describeFrame();
    if (!partialRedraw_) damage_.invalidate();
    lastChanges_ = damage_.finish(viewportWidth_, viewportHeight_);
    inFrame_ = true;
    if (lastChanges_.whole) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawLayers();
    } else {
        // Each changed rectangle is cleared and every layer drawn again inside it, in the frame's
        // order: the pixels come out as those of the whole frame.
        glEnable(GL_SCISSOR_TEST);
        for (const PixelRect& r : lastChanges_.rects) {
            glScissor(r.x, r.y, r.width, r.height);
            // Grown by a pixel or two, so that what is skipped cannot reach into the rectangle.
            const double pixel = 2 * sceneHalfWidth() / viewportWidth_;
            passRect_ = pixelScene(r, viewportWidth_, viewportHeight_).grown(2 * pixel);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            drawLayers();
        }
        glDisable(GL_SCISSOR_TEST);
        passRect_.reset();
    }
    inFrame_ = false;
    // The flashes advance once a frame, however many passes drew it.
    lastPanelShowedFlash_ = advanceWaypointFlashes(waypoints_);
    glFinish();
}

void Scene::readFrame() {
    buildStatusPanel();
    buildTrack();
    frame_.linkLost = linkLostShown();
    frame_.symbol = symbolPlace();
    frame_.arrow = offMapArrow();
    frame_.lastHeard = lastHeardShown();
}

void Scene::drawLayers() {
    glDisable(GL_TEXTURE_2D);
    // Every layer lies in the plane z = 0 with the depth test on, so the layer drawn first stays
    // visible where layers overlap: the map, drawn last, shows only where nothing else is.
    drawStatusPanel();
    drawWaypointMarks();
    drawWaypointPanel();
    drawAircraftSymbol();
    drawLastHeard();
    drawOffMapArrow();
    drawTrack();
    glPushMatrix();
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
    drawMap();
    glPopMatrix();
}

namespace {

// Scene units a piece's rectangle grows by for the width of its lines; the pixels of smoothing
// are added by the comparison itself.
constexpr double kLineAllowance = 0.01;
// The aircraft symbol's outline reaches this far from its position (scene units): its nose, two
// symbol units out, at the symbol's scale, with room to spare.
constexpr double kSymbolReach = 0.21;
constexpr double kMarkReach = 0.06;

SceneRect pointRect(double x, double y, double reach) {
    return {x - reach, y - reach, x + reach, y + reach};
}

SceneRect segmentRect(const ScenePoint& a, const ScenePoint& b) {
    return SceneRect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}.grown(
        kLineAllowance);
}

}  // namespace

void Scene::describeFrame() {
    using Key = FrameDamage;
    // The status panel, one piece a text, and its frame.
    for (const PanelText& entry : panelTexts_) {
        std::uint64_t key = Key::mix(Key::kKeySeed, std::string_view(entry.text));
        key = Key::mix(key, entry.color);
        key = Key::mix(key, entry.size);
        damage_.add(entry.rect, key);
    }
    damage_.add(statusFrameRect().grown(kLineAllowance), Key::mix(Key::kKeySeed, 'F'));

    // The route: each mark with its labels, and each leg of the loop.
    const Waypoints& route = replay_ != nullptr ? replay_->route : waypoints_;
    const MapWindow window = mapWindow();
    for (const WaypointMark& mark : waypointMarks(route, mapGeometry_, window)) {
        SceneRect rect = pointRect(mark.at.x, mark.at.y, kMarkReach);
        rect = rect.united(textRect(static_cast<float>(mark.latLabelAt.x),
                                    static_cast<float>(mark.latLabelAt.y), mark.labelSize, mark.latLabel));
        rect = rect.united(textRect(static_cast<float>(mark.lonLabelAt.x),
                                    static_cast<float>(mark.lonLabelAt.y), mark.labelSize, mark.lonLabel));
        damage_.add(rect, Key::mix(Key::mix(Key::kKeySeed, std::string_view(mark.latLabel)),
                                   std::string_view(mark.lonLabel)));
    }
    const std::vector<ScenePoint> loop = routeLoop(route, mapGeometry_, window);
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const ScenePoint& a = loop[i];
        const ScenePoint& b = loop[(i + 1) % loop.size()];
        damage_.add(segmentRect(a, b), Key::mix(Key::mix(Key::mix(Key::kKeySeed, 'R'), a), b));
    }

    // The buttons: lit or not.
    for (const PanelButton& button : waypointPanelButtons(waypoints_)) {
        damage_.add(SceneRect{button.left, button.bottom, button.right, button.top}.grown(kLineAllowance),
                    Key::mix(Key::kKeySeed, button.lit));
    }

    if (const std::optional<SymbolPlace>& symbol = frame_.symbol) {
        std::uint64_t key = Key::mix(Key::kKeySeed, symbol->heading);
        key = Key::mix(key, frame_.linkLost);
        key = Key::mix(Key::mix(key, symbol->x), symbol->y);
        damage_.add(pointRect(symbol->x, symbol->y, kSymbolReach), key);
    }

    // Where the aircraft was last heard: its circle may reach anywhere on the map.
    if (const std::optional<LastHeard>& shown = frame_.lastHeard) {
        std::uint64_t key = Key::mix(Key::kKeySeed, shown->elapsedMs);
        key = Key::mix(Key::mix(key, shown->fix.lat), shown->fix.lon);
        key = Key::mix(Key::mix(key, shown->fix.alt), shown->fix.psi);
        key = Key::mix(Key::mix(key, shown->fix.cas), shown->fix.utcMicros);
        damage_.add(mapRect().grown(kLineAllowance), key);
    }

    if (const std::optional<OffMapArrow>& arrow = frame_.arrow) {
        const SceneRect wedge{std::min({arrow->tipX, arrow->leftX, arrow->rightX}),
                              std::min({arrow->tipY, arrow->leftY, arrow->rightY}),
                              std::max({arrow->tipX, arrow->leftX, arrow->rightX}),
                              std::max({arrow->tipY, arrow->leftY, arrow->rightY})};
        std::uint64_t key = Key::mix(Key::kKeySeed, std::string_view(arrow->label));
        key = Key::mix(Key::mix(key, arrow->tipX), arrow->tipY);
        key = Key::mix(Key::mix(key, arrow->leftX), arrow->leftY);
        key = Key::mix(Key::mix(key, arrow->rightX), arrow->rightY);
        damage_.add(wedge.grown(kLineAllowance)
                        .united(textRect(arrow->labelX, arrow->labelY, arrow->labelSize, arrow->label)),
                    key);
    }

    // The track, a piece a drawn segment: a new point changes only the track's end.
    for (std::size_t s = 0; s < trackStripStarts_.size(); ++s) {
        const std::size_t from = trackStripStarts_[s];
        const std::size_t to =
            s + 1 < trackStripStarts_.size() ? trackStripStarts_[s + 1] : trackVertices_.size();
        for (std::size_t i = from + 1; i < to; ++i) {
            const ScenePoint& a = trackVertices_[i - 1];
            const ScenePoint& b = trackVertices_[i];
            damage_.add(segmentRect(a, b), Key::mix(Key::mix(Key::kKeySeed, a), b));
        }
    }

    // The map with its frame.
    damage_.add(mapRect().grown(kLineAllowance), mapKey());
}

SceneRect Scene::mapRect() const {
    const MapGeometry& g = mapGeometry_;
    const double w = g.mapBitmapWidth * kMapScale, h = g.mapBitmapHeight * kMapScale;
    return {g.mapOriginX, g.mapOriginY, g.mapOriginX + w, g.mapOriginY + h};
}

std::uint64_t Scene::mapKey() const {
    using Key = FrameDamage;
    const MapWindow window = mapWindow();
    std::uint64_t key = Key::mix(Key::kKeySeed, window.zoom);
    key = Key::mix(Key::mix(key, window.startU), window.startV);
    key = Key::mix(Key::mix(key, mapTexture_), mapPictureLoaded_);
    key = Key::mix(key, imageryShown());
    key = Key::mix(Key::mix(key, mapGeometry_.mapOriginX), mapGeometry_.mapOriginY);
    key = Key::mix(Key::mix(key, mapGeometry_.mapBitmapWidth), mapGeometry_.mapBitmapHeight);
    return Key::mix(key, mapLevelChosenByView_ ? mapTextureLevel() : -1);
}

SceneRect Scene::textRect(float x, float y, float size, const std::string& text) const {
    return textRect(x, y, size, text.c_str());
}

SceneRect Scene::textRect(float x, float y, float size, const char* text) const {
    if (outlineFontBase_ == 0) return {};
    const GlyphExtent ink = textExtent(fontMetrics_, text);
    if (!ink.ink) return {};
    // As drawTextInColor places the glyphs.
    const double scale = static_cast<double>(size) * kTextEmScale;
    return {x + ink.minX * scale, y + ink.minY * scale, x + ink.maxX * scale, y + ink.maxY * scale};
}

void Scene::buildFonts() {
    outlineFontBase_ = buildOutlineFont(static_cast<double>(kFontExtrusion), &fontMetrics_);
    damage_.invalidate();
}

void Scene::drawText(float x, float y, int colorIndex, float size, const char* text) const {
    if (colorIndex < 0 || colorIndex >= static_cast<int>(colorTable_.size())) return;
    drawTextInColor(x, y, colorTable_[static_cast<std::size_t>(colorIndex)], size, text);
}

bool Scene::drawsNear(double x, double y, double reach) const {
    return !passRect_ || passRect_->intersects(SceneRect{x, y, x, y}.grown(reach));
}

bool Scene::textShowsInPass(float x, float y, float size, const char* text) const {
    if (!passRect_ || text == nullptr) return true;
    // Where the current transformation puts the text: the layers only move their texts (a
    // rotation or a scale draws it).
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    if (m[1] != 0 || m[4] != 0 || m[0] != 1 || m[5] != 1) return true;
    const SceneRect ink = textRect(x + m[12], y + m[13], size, text);
    return !ink.empty() && passRect_->intersects(ink);
}

void Scene::drawTextInColor(float x, float y, const std::array<float, 3>& color, float size,
                            const char* text) const {
    // A frame drawn again only where it changed skips the texts that lie elsewhere.
    if (!textShowsInPass(x, y, size, text)) return;
    glPushMatrix();
    glColor3f(color[0], color[1], color[2]);
    glTranslatef(x, y, 0);
    // A z scale of 0 flattens the extruded glyphs into the scene plane.
    const float scale = size * kTextEmScale;
    glScalef(scale, scale, 0);
    if (outlineFontBase_ != 0 && text) {
        const std::size_t length = std::min<std::size_t>(std::strlen(text), INT_MAX);
        glListBase(outlineFontBase_);
        glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, text);
    }
    glPopMatrix();
}

void Scene::wheelStep(int delta, std::optional<ScenePoint> cursor) {
    damage_.invalidate();
    if (!imageryShown()) {
        mapZoom_ += delta >= 0 ? kWheelStep : -kWheelStep;
        mapZoom_ = std::clamp(mapZoom_, kMinMapZoom, kMaxMapZoom);
        return;
    }
    const MapGeometry& g = mapGeometry_;
    const MapWindow before = mapWindow();
    const double factor = delta >= 0 ? kImageryWheelFactor : 1.0 / kImageryWheelFactor;
    const float zoom = std::clamp(static_cast<float>(mapZoom_ * factor), minimumMapZoom(), kMaxMapZoom);
    // The point under the cursor keeps its place: its fraction of the rectangle stays the same.
    const ScenePoint at = cursor && isOnMap(g, *cursor)
                              ? *cursor
                              : ScenePoint{(g.mapLeft + g.mapRight) / 2, (g.mapBottom + g.mapTop) / 2};
    const double fx = (at.x - g.mapLeft) / (g.mapRight - g.mapLeft);
    const double fy = (at.y - g.mapBottom) / (g.mapTop - g.mapBottom);
    const double u = before.startU + fx * before.zoom, v = before.startV + fy * before.zoom;
    mapZoom_ = zoom;
    panCentreU_ = u - fx * zoom + zoom / 2.0;
    panCentreV_ = v - fy * zoom + zoom / 2.0;
}

float Scene::minimumMapZoom() const {
    if (!imageryShown()) return kMinMapZoom;
    return std::min(kMaxMapZoom, imageryMinimumZoom(imagery_->info(), mapGeometry_, mapRectScreenPixels()));
}

double Scene::mapRectScreenPixels() const {
    return (mapGeometry_.mapRight - mapGeometry_.mapLeft) * viewportWidth_ / (2 * sceneHalfWidth());
}

void Scene::panMapByOperator(double dx, double dy) {
    followAircraft_ = false;
    panMap(dx, dy);
}

bool Scene::followStep() {
    if (!followAircraft_ || mapZoom_ >= kMaxMapZoom) return false;
    const std::optional<ScenePoint> aircraft = aircraftOnMap();
    if (!aircraft) return false;
    const MapGeometry& g = mapGeometry_;
    const double width = g.mapRight - g.mapLeft, height = g.mapTop - g.mapBottom;
    // How far the aircraft stands outside the middle third, in scene units; the map moves back
    // by as much.
    const auto outside = [](double at, double low, double span) {
        const double inner = span * kFollowInnerFraction;
        const double from = low + inner, to = low + 2 * inner;
        return at < from ? at - from : at > to ? at - to : 0.0;
    };
    const double dx = outside(aircraft->x, g.mapLeft, width), dy = outside(aircraft->y, g.mapBottom, height);
    if (dx == 0 && dy == 0) return false;
    const MapWindow before = mapWindow();
    panMap(-dx, -dy);
    const MapWindow after = mapWindow();
    return after.startU != before.startU || after.startV != before.startV;
}

void Scene::resetMapView() {
    damage_.invalidate();
    mapZoom_ = kMaxMapZoom;
    panCentreU_ = panCentreV_ = 0.5;
}

namespace {
double windowStart(double centre, float zoom) {
    return std::clamp(centre - zoom / 2.0, 0.0, 1.0 - zoom);
}
}  // namespace

MapWindow Scene::mapWindow() const {
    return {mapZoom_, static_cast<float>(windowStart(panCentreU_, mapZoom_)),
            static_cast<float>(windowStart(panCentreV_, mapZoom_))};
}

void Scene::panMap(double dx, double dy) {
    const MapGeometry& g = mapGeometry_;
    const double width = g.mapRight - g.mapLeft, height = g.mapTop - g.mapBottom;
    if (!(width > 0) || !(height > 0)) return;
    damage_.invalidate();
    // From the window as drawn, so that travel past an edge is not stored and undone first.
    const MapWindow shown = mapWindow();
    panCentreU_ =
        windowStart(shown.startU + mapZoom_ / 2.0 - dx / width * mapZoom_, mapZoom_) + mapZoom_ / 2.0;
    panCentreV_ =
        windowStart(shown.startV + mapZoom_ / 2.0 - dy / height * mapZoom_, mapZoom_) + mapZoom_ / 2.0;
}

std::optional<GeoPoint> Scene::geoAtScene(ScenePoint shown) const {
    if (!isOnMap(mapGeometry_, shown)) return std::nullopt;
    return sceneToGeo(mapGeometry_, unzoomedScenePoint(mapGeometry_, mapWindow(), shown));
}

void Scene::doubleClick(double x, double y, int width, int height, const DoubleClickActions& actions) {
    const std::optional<DoubleClickPosition> at = toDoubleClickPosition(x, y, width, height);
    if (at) dispatchDoubleClick(waypoints_, mapGeometry_, mapWindow(), *at, actions);
}

void Scene::beginMapClip() const {
    ::beginMapClip(mapGeometry_);
}

void Scene::endMapClip() const {
    ::endMapClip();
}

void Scene::drawSolidSphere(double radius) {
    sphereCache_.draw(radius);
}

void Scene::drawWaypointMarks() {
    // A replay shows the route of the flight's last waypoint upload; the operator's list waits.
    const Waypoints& route = replay_ != nullptr ? replay_->route : waypoints_;
    ::drawWaypointMarks(*this, sphereCache_, route, mapGeometry_, mapWindow());
}

void Scene::drawWaypointPanel() {
    drawWaypointButtons(*this, waypoints_);
    // Drawn on its own, the panel's flashes advance with every drawing.
    if (!inFrame_) lastPanelShowedFlash_ = advanceWaypointFlashes(waypoints_);
}

void Scene::drawMap() {
    drawMapFrame(mapGeometry_);
    // The zoom window: a square of side mapZoom, centred on the picture's centre until panned.
    const MapWindow window = mapWindow();
    mapGeometry_.mapTexU0 = window.startU;
    mapGeometry_.mapTexV0 = window.startV;
    if (imageryShown()) {
        imagery_->draw(mapGeometry_, window, mapRectScreenPixels());
        return;
    }
    drawMapPicture(mapGeometry_, window,
                   {mapTexture_, mapPictureLoaded_, mapLevelChosenByView_ ? mapTextureLevel() : -1});
}
