#include "view/ReplayScene.h"

#include <optional>

namespace {

// The GPS word of a line with a fix.
constexpr std::int16_t kGpsAcquired = 1;

void placeRoute(const ReplayRoute* route, const MapGeometry* geometry, Waypoints& shown) {
    shown = {};
    if (route == nullptr) return;
    // An upload is sent with the route shown, so the view showed it as a closed line.
    shown.routeShown = 1;
    for (const GeoPoint& point : route->waypoints) {
        if (shown.waypointCount >= kWaypointCapacity) break;
        const auto at = static_cast<std::size_t>(shown.waypointCount++);
        shown.waypointLat[at] = point.lat;
        shown.waypointLon[at] = point.lon;
        const std::optional<ScenePoint> scene =
            geometry != nullptr ? geoToScene(*geometry, point.lat, point.lon) : std::nullopt;
        shown.waypointSceneX[at] = scene ? scene->x : 0;
        shown.waypointSceneY[at] = scene ? scene->y : 0;
    }
}

}  // namespace

void showReplayState(const ReplayState& state, std::int64_t at, const std::string& mark,
                     const MapGeometry* geometry, ReplayScene& scene) {
    TelemetryState& telemetry = scene.telemetry;
    storeTelemetry(state.line != nullptr ? state.line->values : TelemetryValues{}, telemetry);
    telemetry.packetInterval = state.line != nullptr ? state.line->packetInterval : 0.0;
    telemetry.linkAlive = state.linkUp ? 1 : 0;
    // Only the replay writes this state; no line of it counts as live for the link-loss repaint.
    telemetry.lastLineClock = -1;
    const std::int64_t lineMicros = state.line != nullptr ? state.line->recordedMicros : at;
    scene.lineTime = static_cast<std::time_t>(lineMicros / 1000000);
    scene.atMicros = at;
    scene.mark = mark;
    scene.severalSenders = state.severalSenders;
    scene.refusals = state.refusals;
    placeRoute(state.route, geometry, scene.route);
    scene.lastFix.reset();
    if (state.lastFix != nullptr) {
        const TelemetryValues& v = state.lastFix->values;
        scene.lastFix = LastFix{v.lat, v.lon, v.alt, v.psi, v.cas, 0, state.lastFix->timeMicros};
    }
    telemetry.newData = 1;
}

void extendReplayTrack(const FlightReplay& replay, ReplayScene& scene) {
    const std::vector<ReplayLine>& lines = replay.lines();
    for (std::size_t i = scene.trackLines; i < lines.size(); ++i) {
        const ReplayLine& line = lines[i];
        if (i > 0 && line.timeMicros - lines[i - 1].timeMicros >= FlightReplay::kLinkLossMicros) {
            scene.track.addBreak();
        }
        if (line.values.gpsStatus != kGpsAcquired) {
            scene.track.addBreak();
            continue;
        }
        scene.track.addFix(line.values.lat, line.values.lon, line.timeMicros / 1000);
    }
    scene.trackLines = lines.size();
}
