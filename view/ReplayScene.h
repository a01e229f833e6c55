#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "map/Waypoints.h"
#include "net/TelemetryState.h"
#include "record/FlightReplay.h"

// What the view shows in place of the live link while a recording is replayed: the replayed state
// (its linkAlive says whether the link was up at that moment and is never cleared by the panel), the
// route of the last waypoint upload, the recorded time of the line and the mark that tells a replay
// from the live aircraft. Written by the replay on the user-interface thread.
struct ReplayScene {
    TelemetryState telemetry;
    Waypoints route;
    std::time_t lineTime = 0;
    std::string mark;  // "REPLAY 8x" or "PAUSED"
    // The replayed moment (microseconds since 1970, UTC), moved on every tick of the replay, and
    // the last line at or before it that carried a position with the GPS acquired (its clockMs
    // unused: the replay's clock is the moment).
    std::int64_t momentMicros = 0;
    std::optional<LastFix> lastFix;
};

// Puts the replayed moment `at` (microseconds since 1970) into `scene`: the line's values and the
// rate measured then, the link of that moment, the line's time (the moment itself before the first
// line), the route of the last upload placed on `geometry` (at the origin without one) and `mark`.
// Sets newData so that the view's next tick repaints.
void showReplayState(const ReplayState& state, std::int64_t at, const std::string& mark,
                     const MapGeometry* geometry, ReplayScene& scene);
