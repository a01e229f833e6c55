#include "map/LastHeardLayer.h"

#include <GL/gl.h>

#include <cmath>
#include <numbers>
#include <string>

namespace {

// The mark: a ring with a cross through it, in scene units, wide enough to stand out around the
// aircraft symbol (0.18 by 0.27) when the last line was the last fix.
constexpr float kMarkRadius = 0.2f;
constexpr int kMarkSegments = 48;
constexpr float kMarkLineWidth = 2.0f;
constexpr float kLabelOffsetX = 0.24f;
constexpr float kLabelOffsetY = 0.04f;
constexpr float kLabelSize = 0.75f;
constexpr float kLimitSize = 0.5f;
constexpr float kLimitBelow = 0.19f;
// The dead-reckoned point: a small cross.
constexpr float kPointHalfSize = 0.045f;
// Geodesic circle and path: enough vertices that the polygon is round at any zoom of the map.
constexpr int kCircleVertices = 144;
constexpr int kPathVertices = 32;
constexpr float kReachLineWidth = 2.0f;
constexpr GLint kDashFactor = 3;
constexpr GLushort kDashPattern = 0x0F0F;

void vertex(ScenePoint at) {
    glVertex3f(static_cast<float>(at.x), static_cast<float>(at.y), 0);
}

void setColor(const std::array<float, 3>& color) {
    glColor3f(color[0], color[1], color[2]);
}

void drawMark(ScenePoint at) {
    setColor(kLastHeardColor);
    glLineWidth(kMarkLineWidth);
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < kMarkSegments; ++i) {
        const double angle = 2 * std::numbers::pi * i / kMarkSegments;
        vertex({at.x + kMarkRadius * std::cos(angle), at.y + kMarkRadius * std::sin(angle)});
    }
    glEnd();
    glBegin(GL_LINES);
    vertex({at.x - kMarkRadius, at.y});
    vertex({at.x + kMarkRadius, at.y});
    vertex({at.x, at.y - kMarkRadius});
    vertex({at.x, at.y + kMarkRadius});
    glEnd();
}

// A line through the points that can be placed; an unplaceable point breaks it.
void drawPolyline(const std::vector<GeoPoint>& points, const LastHeardDrawing& drawing, GLenum closedMode) {
    std::vector<ScenePoint> placed;
    placed.reserve(points.size());
    for (const GeoPoint& point : points) {
        const std::optional<ScenePoint> at = drawing.place(point);
        if (!at) return;
        placed.push_back(*at);
    }
    glBegin(closedMode);
    for (const ScenePoint& at : placed) vertex(at);
    glEnd();
}

}  // namespace

void drawLastHeardLayer(const LastHeard& lastHeard, const LastHeardDrawing& drawing) {
    const GeoPoint heard{lastHeard.fix.lat, lastHeard.fix.lon};
    const std::optional<ScenePoint> mark = drawing.place(heard);
    if (!mark) return;
    const Reach reach = reachOf(lastHeard);

    // First what was heard, so that it stays above the reach where they cross.
    const std::string since = formatElapsed(lastHeard.elapsedMs);
    const auto labelX = static_cast<float>(mark->x) + kLabelOffsetX;
    const auto labelY = static_cast<float>(mark->y) + kLabelOffsetY;
    drawing.text(labelX, labelY, kLastHeardColor, kLabelSize, since.c_str());
    if (reach.limited)
        drawing.text(labelX, labelY - kLimitBelow, kLastHeardColor, kLimitSize, kReachLimitText);
    drawMark(*mark);

    if (reach.metres > 0) {
        setColor(kReachColor);
        glLineWidth(kMarkLineWidth);
        const GeoPoint ahead = deadReckonedPoint(lastHeard);
        if (const std::optional<ScenePoint> point = drawing.place(ahead)) {
            glBegin(GL_LINES);
            vertex({point->x - kPointHalfSize, point->y - kPointHalfSize});
            vertex({point->x + kPointHalfSize, point->y + kPointHalfSize});
            vertex({point->x - kPointHalfSize, point->y + kPointHalfSize});
            vertex({point->x + kPointHalfSize, point->y - kPointHalfSize});
            glEnd();
        }
        glLineWidth(kReachLineWidth);
        glLineStipple(kDashFactor, kDashPattern);
        glEnable(GL_LINE_STIPPLE);
        drawPolyline(geodesicPath(heard, fixHeadingDegrees(lastHeard.fix), reach.metres, kPathVertices),
                     drawing, GL_LINE_STRIP);
        glDisable(GL_LINE_STIPPLE);
        drawPolyline(geodesicCircle(heard, reach.metres, kCircleVertices), drawing, GL_LINE_LOOP);
    }
    glLineWidth(1.0f);
}
