#include "view/Scene.h"

#include <GL/glu.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/Notifier.h"
#include "map/MapCatalog.h"
#include "map/TextureImage.h"
#include "view/OutlineFont.h"
#include "view/ReplayScene.h"

namespace {

// The camera: a fixed perspective whose aspect never follows the window, so the scene stretches to
// fill it and every scene point keeps its fraction of the client width and height.
constexpr double kFieldOfViewDegrees = 40.0;
constexpr double kSceneAspect = 1.526946;
constexpr float kNearPlane = 0.1f;
constexpr double kFarPlane = 20.0;
constexpr float kEyeDistance = 10.0f;

// Glyphs are built flat. drawText squashes every glyph into the scene plane, where an extruded
// back face and side walls could never be seen (the front face wins the depth test at the same
// depth); building them would only triple the cost of every string drawn.
constexpr float kFontExtrusion = 0.0f;
// Scene units of one em at text size 1.0.
constexpr float kTextEmScale = 0.29f;

constexpr float kWheelStep = 0.05f;
constexpr float kMinMapZoom = 0.1f;
constexpr float kMaxMapZoom = 1.0f;

}  // namespace

Scene::Scene(TelemetryState& telemetry, Notifier& notifier)
    : telemetry_(telemetry),
      notifier_(notifier),
      colorTable_{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {1, 1, 0}}} {}

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

void Scene::loadStartupMap() {
    TextureImage picture;
    int width = kShippedMapWidth;
    int height = kShippedMapHeight;
    if (!picture.load(mapBitmapFile(0), GL_DECAL, notifier_)) {
        notifier_.showMessage(kApplicationTitle, kMapLoadFailedText);
    }
    if (picture.upload()) {
        mapPictureLoaded_ = true;
        width = picture.image()->width;
        height = picture.image()->height;
    }
    initMapGeometry(mapGeometry_, width, height);
}

void Scene::loadMapForIndex(int index) {
    TextureImage picture;
    if (!picture.load(mapBitmapFile(index), GL_DECAL, notifier_)) {
        notifier_.showMessage(kApplicationTitle, kMapLoadFailedText);
    }
    // Without a new picture the previous map texture stays.
    if (picture.upload()) mapPictureLoaded_ = true;
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
}

void Scene::applyProjection(double /*aspect*/) {
    gluPerspective(kFieldOfViewDegrees, kSceneAspect, kNearPlane, kFarPlane);
}

void Scene::applyEyeTransform() {
    glTranslatef(0, 0, -kEyeDistance);
}

void Scene::drawFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    // Every layer lies in the plane z = 0 with the depth test on, so the layer drawn first stays
    // visible where layers overlap: the map, drawn last, shows only where nothing else is.
    drawStatusPanel();
    drawWaypointMarks();
    drawWaypointPanel();
    drawAircraftSymbol();
    glPushMatrix();
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
    drawMap();
    glPopMatrix();
    glFinish();
}

void Scene::buildFonts() {
    outlineFontBase_ = buildOutlineFont(static_cast<double>(kFontExtrusion));
}

void Scene::drawText(float x, float y, int colorIndex, float size, const char* text) const {
    if (colorIndex < 0 || colorIndex >= static_cast<int>(colorTable_.size())) return;
    glPushMatrix();
    const auto& color = colorTable_[static_cast<std::size_t>(colorIndex)];
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

void Scene::wheelStep(int delta) {
    mapZoom_ += delta >= 0 ? kWheelStep : -kWheelStep;
    mapZoom_ = std::clamp(mapZoom_, kMinMapZoom, kMaxMapZoom);
}
