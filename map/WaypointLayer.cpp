#include "map/WaypointLayer.h"

#include <GL/glu.h>

#include <string>

#include "map/MapLayer.h"
#include "map/Waypoints.h"

namespace {

constexpr int kSphereSlices = 16;
constexpr int kSphereStacks = 16;

constexpr double kMarkerRadius = 0.05;
constexpr float kLabelOffsetX = 0.1f;
constexpr float kLabelLineStep = 0.1f;
constexpr float kLabelSize = 0.55f;
constexpr float kRouteLineWidth = 2.0f;

constexpr float kButtonWidth = 1.5f;
constexpr float kButtonHeight = 0.5f;
constexpr float kButtonFill[3] = {0.1f, 0.2f, 0.3f};
// A pressed button is red in this many consecutive drawings.
constexpr int kFlashDrawings = 4;

struct ButtonText {
    const char* text;
    float x, y, size;
};

struct Button {
    float x, y;
    ButtonText first;
    ButtonText second;
    int Waypoints::*pressed;
    int Waypoints::*flashCount;
};

constexpr Button kButtons[] = {
    {1.812f,
     -2.5f,
     {"UPLOAD", 0.25f, 0.23f, 1.0f},
     {"Waypoints", 0.29f, 0.09f, 0.7f},
     &Waypoints::uploadPressed,
     &Waypoints::uploadFlashCount},
    {3.412f,
     -2.5f,
     {"CLEAR", 0.3f, 0.23f, 1.0f},
     {"Waypoints", 0.3f, 0.09f, 0.7f},
     &Waypoints::clearPressed,
     &Waypoints::clearFlashCount},
    {1.812f,
     -3.1f,
     {"LOAD", 0.4f, 0.23f, 1.0f},
     {"Map", 0.53f, 0.09f, 0.7f},
     &Waypoints::loadMapPressed,
     &Waypoints::loadMapFlashCount},
};

void drawSphereGeometry(GLUquadric* quadric, double radius) {
    gluQuadricDrawStyle(quadric, GLU_FILL);
    gluQuadricNormals(quadric, GLU_SMOOTH);
    gluSphere(quadric, radius, kSphereSlices, kSphereStacks);
}

}  // namespace

GLuint SolidSphereCache::listFor(double radius) const {
    for (const auto& [key, list] : lists_) {
        if (key == radius) return list;
    }
    return 0;
}

void SolidSphereCache::draw(double radius) {
    if (const GLuint list = listFor(radius)) {
        glCallList(list);
        return;
    }
    GLUquadric* quadric = gluNewQuadric();
    if (quadric == nullptr) return;
    const GLuint list = glGenLists(1);
    if (list == 0) {
        // No list to keep it in: the sphere is still drawn this time.
        drawSphereGeometry(quadric, radius);
    } else {
        glNewList(list, GL_COMPILE_AND_EXECUTE);
        drawSphereGeometry(quadric, radius);
        glEndList();
        lists_.emplace_back(radius, list);
    }
    gluDeleteQuadric(quadric);
}

std::vector<WaypointMark> waypointMarks(const Waypoints& route, const MapGeometry& geometry,
                                        const MapWindow& window) {
    std::vector<WaypointMark> marks;
    for (int i = 0; i < route.waypointCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        // Waypoints keep their unzoomed scene position; they are drawn where the zoom shows it.
        const ScenePoint shown =
            zoomedScenePoint(geometry, window, {route.waypointSceneX[at], route.waypointSceneY[at]});
        const auto x = static_cast<float>(shown.x);
        const auto y = static_cast<float>(shown.y);
        marks.push_back({{x, y},
                         {x + kLabelOffsetX, y},
                         {x + kLabelOffsetX, y - kLabelLineStep},
                         kLabelSize,
                         formatWaypointLatLabel(i + 1, route.waypointLat[at]),
                         formatWaypointLonLabel(route.waypointLon[at])});
    }
    return marks;
}

std::vector<ScenePoint> routeLoop(const Waypoints& route, const MapGeometry& geometry,
                                  const MapWindow& window) {
    std::vector<ScenePoint> corners;
    if (route.routeShown == 0) return corners;
    for (int j = 0; j < route.waypointCount; ++j) {
        const auto at = static_cast<std::size_t>(j);
        const ScenePoint shown =
            zoomedScenePoint(geometry, window, {route.waypointSceneX[at], route.waypointSceneY[at]});
        corners.push_back({static_cast<float>(shown.x), static_cast<float>(shown.y)});
    }
    return corners;
}

void drawWaypointMarks(const MapCanvas& canvas, SolidSphereCache& spheres, const Waypoints& route,
                       const MapGeometry& geometry, const MapWindow& window) {
    glMatrixMode(GL_MODELVIEW);
    beginMapClip(geometry);
    for (const WaypointMark& mark : waypointMarks(route, geometry, window)) {
        if (canvas.drawsNear(mark.at.x, mark.at.y, kMarkerRadius)) {
            glPushMatrix();
            glTranslatef(static_cast<float>(mark.at.x), static_cast<float>(mark.at.y), 0);
            glColor3f(1, 0, 0);
            spheres.draw(kMarkerRadius);
            glPopMatrix();
        }

        canvas.drawText(static_cast<float>(mark.latLabelAt.x), static_cast<float>(mark.latLabelAt.y),
                        colorYellow, mark.labelSize, mark.latLabel.c_str());
        canvas.drawText(static_cast<float>(mark.lonLabelAt.x), static_cast<float>(mark.lonLabelAt.y),
                        colorYellow, mark.labelSize, mark.lonLabel.c_str());
    }

    const std::vector<ScenePoint> loop = routeLoop(route, geometry, window);
    if (route.routeShown != 0) {
        glPushMatrix();
        glColor3f(1, 1, 1);
        // Left at 2.0: the next layer sets its own width.
        glLineWidth(kRouteLineWidth);
        glBegin(GL_LINE_LOOP);
        for (const ScenePoint& corner : loop) {
            glVertex3f(static_cast<float>(corner.x), static_cast<float>(corner.y), 0);
        }
        glEnd();
        glPopMatrix();
    }
    endMapClip();
}

void drawWaypointButtons(const MapCanvas& canvas, const Waypoints& waypoints) {
    for (const Button& button : kButtons) {
        glPushMatrix();
        glLineWidth(1.0f);
        glTranslatef(button.x, button.y, 0);
        glColor3f(1, 1, 1);
        glBegin(GL_LINE_LOOP);
        glVertex2f(0, 0);
        glVertex2f(kButtonWidth, 0);
        glVertex2f(kButtonWidth, kButtonHeight);
        glVertex2f(0, kButtonHeight);
        glEnd();
        glPopMatrix();

        // Outline and texts first: in the same plane the first drawn stays on top of the fill.
        glPushMatrix();
        glTranslatef(button.x, button.y, 0);
        canvas.drawText(button.first.x, button.first.y, colorWhite, button.first.size, button.first.text);
        canvas.drawText(button.second.x, button.second.y, colorWhite, button.second.size, button.second.text);
        if (waypoints.*button.pressed == 0) {
            glColor3f(kButtonFill[0], kButtonFill[1], kButtonFill[2]);
        } else {
            glColor3f(1, 0, 0);
        }
        glRectf(0, 0, kButtonWidth, kButtonHeight);
        glPopMatrix();
    }
}

bool advanceWaypointFlashes(Waypoints& waypoints) {
    bool showedFlash = false;
    for (const Button& button : kButtons) {
        int& pressed = waypoints.*button.pressed;
        int& flashCount = waypoints.*button.flashCount;
        if (pressed == 0) continue;
        showedFlash = true;
        if (flashCount == kFlashDrawings - 1) {
            flashCount = 0;
            pressed = 0;
        } else {
            ++flashCount;
        }
    }
    return showedFlash;
}

bool drawWaypointPanel(const MapCanvas& canvas, Waypoints& waypoints) {
    drawWaypointButtons(canvas, waypoints);
    return advanceWaypointFlashes(waypoints);
}

std::vector<PanelButton> waypointPanelButtons(const Waypoints& waypoints) {
    std::vector<PanelButton> buttons;
    for (const Button& button : kButtons) {
        buttons.push_back({button.x, button.y, button.x + kButtonWidth, button.y + kButtonHeight,
                           waypoints.*button.pressed != 0});
    }
    return buttons;
}
