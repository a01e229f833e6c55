#include <GL/gl.h>

#include <array>
#include <cmath>

#include "net/TelemetryState.h"
#include "view/Scene.h"

namespace {

constexpr double kDegreesPerRadian = 57.3;
constexpr float kSymbolScale = 0.09f;

// An arrowhead around the aircraft's position, nose up, in symbol units: notch, left rear corner,
// nose, right rear corner. Drawn as a fan from the notch, which keeps the concave shape filled right.
constexpr std::array<std::array<float, 2>, 4> kOutline{
    {{0.0f, 0.5f}, {-1.0f, -1.0f}, {0.0f, 2.0f}, {1.0f, -1.0f}}};

void emitOutline() {
    for (const auto& v : kOutline) glVertex3f(v[0], v[1], 0);
}

}  // namespace

std::optional<Scene::SymbolPlace> Scene::symbolPlace() {
    const TelemetryState& shown = telemetry();
    const std::optional<ScenePoint> position = geoToScene(mapGeometry_, shown.lat, shown.lon);
    if (!position) return std::nullopt;
    const ScenePoint onScreen = zoomedScenePoint(mapGeometry_, mapWindow(), *position);
    const float x = static_cast<float>(onScreen.x);
    const float y = static_cast<float>(onScreen.y);
    const float heading = static_cast<float>(shown.psi * kDegreesPerRadian);
    // A position beyond float range or a heading that is no number cannot be drawn meaningfully.
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(heading)) return std::nullopt;
    return SymbolPlace{x, y, heading};
}

void Scene::drawAircraftSymbol() {
    const std::optional<SymbolPlace> place = inFrame_ ? frame_.symbol : symbolPlace();
    if (!place) return;
    const float x = place->x, y = place->y, heading = place->heading;

    beginMapClip();
    glPushMatrix();
    glTranslatef(x, y, 0);
    // About -z: a positive heading turns the nose clockwise on the screen, from north to east.
    glRotatef(heading, 0, 0, -1);
    glScalef(kSymbolScale, kSymbolScale, kSymbolScale);
    // The outline is drawn first so that it stays visible along the edge of the fill.
    glColor3f(1, 1, 0);
    glLineWidth(1.0f);
    glBegin(GL_LINE_LOOP);
    emitOutline();
    glEnd();
    // Without a link the symbol is where the aircraft was: only its outline, so that no one reads a
    // frozen picture as a live one.
    if (!(inFrame_ ? frame_.linkLost : linkLostShown())) {
        glColor3f(1, 0, 0);
        glBegin(GL_POLYGON);
        emitOutline();
        glEnd();
    }
    glPopMatrix();
    endMapClip();
}
