#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "map/Geodesy.h"
#include "map/LastHeardLayer.h"
#include "net/TelemetryState.h"
#include "view/AlarmSchedule.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"

namespace {

constexpr std::array<float, 3> kTrackColor{1.0f, 0.0f, 1.0f};
constexpr float kTrackWidth = 2.0f;
// Scene units under a screen pixel of a full-screen view (11.1 units over 1280 pixels).
constexpr double kTrackDrawSpacing = 0.006;
// How far the track's line reaches beyond its vertices (scene units): its width, with room.
constexpr double kTrackReach = 0.01;

// The off-map arrow: a yellow wedge of this length and half width (scene units) whose tip stands
// this far inside the map's edge, with its distance written beyond its base.
constexpr float kArrowLength = 0.22f;
constexpr float kArrowHalfWidth = 0.08f;
constexpr float kArrowInset = 0.03f;
constexpr float kArrowLabelGap = 0.06f;
constexpr float kArrowLabelSize = 0.6f;
// Half the advance of one character and half the capitals' height at that size, to centre the
// label on its place.
constexpr float kArrowLabelHalfCharWidth = 0.05f;
constexpr float kArrowLabelHalfHeight = 0.06f;

constexpr std::int16_t kGpsAcquired = 1;

}  // namespace

bool Scene::linkLostShown() const {
    // Only the live picture can be taken for live: a replay is marked as one and shows each
    // moment's unit states as they were recorded.
    if (replay_ != nullptr) return false;
    return alarmConditions(telemetry_, clock_()).linkLost;
}

std::optional<LastFix> Scene::lastFixShown() const {
    if (replay_ != nullptr) return replay_->lastFix;
    return telemetry_.lastFix.load();
}

std::optional<LastHeard> Scene::lastHeardShown() const {
    if (replay_ != nullptr) {
        // The replayed moment's link, on the replay's clock: paused, the count stands still.
        if (!replay_->lastFix || replay_->telemetry.linkAlive.load() == 1) return std::nullopt;
        const std::int64_t since = (replay_->atMicros - replay_->lastFix->utcMicros) / 1000;
        return LastHeard{*replay_->lastFix, std::max<std::int64_t>(since, 0)};
    }
    const std::int32_t now = clock_();
    if (!alarmConditions(telemetry_, now).linkLost) return std::nullopt;
    const std::optional<LastFix> fix = telemetry_.lastFix.load();
    if (!fix) return std::nullopt;
    return LastHeard{*fix, elapsedSinceClock(fix->clockMs, now)};
}

void Scene::drawLastHeard() {
    const std::optional<LastHeard> shown = inFrame_ ? frame_.lastHeard : lastHeardShown();
    if (!shown) return;
    beginMapClip();
    drawLastHeardLayer(*shown, {[this](GeoPoint at) { return shownScenePoint(at.lat, at.lon); },
                                [this](float x, float y, const std::array<float, 3>& color, float size,
                                       const char* text) { drawTextInColor(x, y, color, size, text); }});
    endMapClip();
}

std::optional<ScenePoint> Scene::aircraftOnMap() {
    const TelemetryState& shown = telemetry();
    // The live state holds a position only once a line has come; a replayed one always does.
    const bool heard = replay_ != nullptr || shown.lineHeard.load(std::memory_order_acquire);
    if (!heard || shown.gpsStatus.load() != kGpsAcquired) return std::nullopt;
    return shownScenePoint(shown.lat.load(), shown.lon.load());
}

void Scene::buildTrack() {
    trackVertices_.clear();
    trackStripStarts_.clear();
    const FlightTrack& track = flightTrack();
    const std::vector<TrackPoint>& points = track.points();
    const std::size_t first = track.firstShown(trackMode_, trackClockMs_);
    // A replay's track holds the whole recording; what is drawn ends at the moment shown.
    const std::size_t end = replay_ != nullptr ? track.shownEnd(trackClockMs_) : points.size();
    // Vertices that stay in the same cell of about a screen pixel as the point before add nothing
    // but work (a whole flight has many thousands). Whether a point is kept depends only on it and
    // the one before, so a new point or a later start changes only the ends of what is drawn. A
    // run's first and last points are always kept.
    const auto cell = [](const ScenePoint& p) {
        return std::pair{std::floor(p.x / kTrackDrawSpacing), std::floor(p.y / kTrackDrawSpacing)};
    };
    bool open = false;
    // The cell of the point before, while that point lies on the same line.
    std::pair<double, double> cellBefore{};
    for (std::size_t i = first; i < end; ++i) {
        const std::optional<ScenePoint> at = shownScenePoint(points[i].lat, points[i].lon);
        // A gap, or a point this map cannot place, ends the line.
        if (!at || points[i].startsRun) open = false;
        if (!at) continue;
        const std::pair<double, double> here = cell(*at);
        const std::pair<double, double> previous = cellBefore;
        cellBefore = here;
        if (open) {
            const bool endsRun = i + 1 == end || points[i + 1].startsRun;
            if (!endsRun && here == previous) continue;
        } else {
            trackStripStarts_.push_back(trackVertices_.size());
            open = true;
        }
        trackVertices_.push_back({static_cast<float>(at->x), static_cast<float>(at->y)});
    }
}

void Scene::drawTrack() {
    if (!inFrame_) buildTrack();
    drawTrackStrips();
}

void Scene::drawTrackStrips() const {
    if (trackVertices_.empty()) return;
    beginMapClip();
    glColor3f(kTrackColor[0], kTrackColor[1], kTrackColor[2]);
    glLineWidth(kTrackWidth);
    // Unsmoothed: a whole flight is tens of thousands of short segments, and smoothing each one
    // costs the software renderer three times the frame's track.
    glDisable(GL_LINE_SMOOTH);
    const auto vertex = [this](std::size_t i) {
        glVertex3f(static_cast<float>(trackVertices_[i].x), static_cast<float>(trackVertices_[i].y), 0);
    };
    for (std::size_t s = 0; s < trackStripStarts_.size(); ++s) {
        const std::size_t from = trackStripStarts_[s];
        const std::size_t to =
            s + 1 < trackStripStarts_.size() ? trackStripStarts_[s + 1] : trackVertices_.size();
        // A pass over part of the view draws only the segments that reach into it: each segment of
        // a strip is drawn on its own, so the pieces give the pixels of the whole strip.
        bool open = false;
        for (std::size_t i = from + 1; i < to; ++i) {
            const ScenePoint& a = trackVertices_[i - 1];
            const ScenePoint& b = trackVertices_[i];
            if (!drawsNear((a.x + b.x) / 2, (a.y + b.y) / 2,
                           std::max(std::fabs(a.x - b.x), std::fabs(a.y - b.y)) / 2 + kTrackReach)) {
                if (open) glEnd();
                open = false;
                continue;
            }
            if (!open) {
                glBegin(GL_LINE_STRIP);
                vertex(i - 1);
                open = true;
            }
            vertex(i);
        }
        if (open) glEnd();
    }
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(1.0f);
    endMapClip();
}

std::optional<Scene::OffMapArrow> Scene::offMapArrow() {
    const std::optional<ScenePoint> aircraft = aircraftOnMap();
    if (!aircraft) return std::nullopt;
    const MapGeometry& g = mapGeometry_;
    const double left = g.mapLeft, right = g.mapRight, bottom = g.mapBottom, top = g.mapTop;
    if (aircraft->x >= left && aircraft->x <= right && aircraft->y >= bottom && aircraft->y <= top)
        return std::nullopt;

    // Where the line from the map's centre to the aircraft leaves the map.
    const double cx = (left + right) / 2, cy = (bottom + top) / 2;
    const double dx = aircraft->x - cx, dy = aircraft->y - cy;
    const double reach = std::min(dx != 0 ? ((dx > 0 ? right : left) - cx) / dx : INFINITY,
                                  dy != 0 ? ((dy > 0 ? top : bottom) - cy) / dy : INFINITY);
    if (!std::isfinite(reach)) return std::nullopt;
    const double edgeX = cx + dx * reach, edgeY = cy + dy * reach;
    const double length = std::hypot(dx, dy);
    const auto ux = static_cast<float>(dx / length), uy = static_cast<float>(dy / length);

    const GeoPoint edge = unshownGeo(edgeX, edgeY);
    const GeodesicLeg leg = geodesicInverse(edge, {telemetry().lat.load(), telemetry().lon.load()});
    char label[48];
    std::snprintf(label, sizeof label, "%.0f m", leg.metres);

    const auto tipX = static_cast<float>(edgeX) - ux * kArrowInset,
               tipY = static_cast<float>(edgeY) - uy * kArrowInset;
    const float baseX = tipX - ux * kArrowLength, baseY = tipY - uy * kArrowLength;
    // The label's centre stands beyond the arrow's base, as far again as half the label's extent
    // along the arrow, so that the two never overlap; it is kept inside the map.
    const float halfWidth = kArrowLabelHalfCharWidth * static_cast<float>(std::strlen(label));
    const float labelReach =
        kArrowLength + kArrowLabelGap + std::fabs(ux) * halfWidth + std::fabs(uy) * kArrowLabelHalfHeight;
    const float labelX = std::clamp(tipX - ux * labelReach - halfWidth, static_cast<float>(left),
                                    static_cast<float>(right) - 2 * halfWidth);
    const float labelY =
        std::clamp(tipY - uy * labelReach - kArrowLabelHalfHeight, static_cast<float>(bottom),
                   static_cast<float>(top) - 2 * kArrowLabelHalfHeight);
    return OffMapArrow{tipX,
                       tipY,
                       baseX - uy * kArrowHalfWidth,
                       baseY + ux * kArrowHalfWidth,
                       baseX + uy * kArrowHalfWidth,
                       baseY - ux * kArrowHalfWidth,
                       labelX,
                       labelY,
                       kArrowLabelSize,
                       label};
}

void Scene::drawOffMapArrow() {
    const std::optional<OffMapArrow> arrow = inFrame_ ? frame_.arrow : offMapArrow();
    if (!arrow) return;
    drawText(arrow->labelX, arrow->labelY, colorYellow, arrow->labelSize, arrow->label.c_str());
    glColor3f(1, 1, 0);
    glBegin(GL_TRIANGLES);
    glVertex3f(arrow->tipX, arrow->tipY, 0);
    glVertex3f(arrow->leftX, arrow->leftY, 0);
    glVertex3f(arrow->rightX, arrow->rightY, 0);
    glEnd();
}

std::optional<ScenePoint> Scene::shownScenePoint(double lat, double lon) const {
    const std::optional<ScenePoint> unzoomed = geoToScene(mapGeometry_, lat, lon);
    if (!unzoomed) return std::nullopt;
    return zoomedScenePoint(mapGeometry_, mapWindow(), *unzoomed);
}

GeoPoint Scene::unshownGeo(double x, double y) const {
    return sceneToGeo(mapGeometry_, unzoomedScenePoint(mapGeometry_, mapWindow(), {x, y}));
}
