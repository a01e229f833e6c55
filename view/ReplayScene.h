#pragma once

#include <ctime>
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
};

// Puts the replayed moment `at` (microseconds since 1970) into `scene`: the line's values and the
// rate measured then, the link of that moment, the line's time (the moment itself before the first
// line), the route of the last upload placed on `geometry` (at the origin without one) and `mark`.
// Sets newData so that the view's next tick repaints.
void showReplayState(const ReplayState& state, std::int64_t at, const std::string& mark,
                     const MapGeometry* geometry, ReplayScene& scene);
