#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "map/FlightTrack.h"
#include "map/Waypoints.h"
#include "net/TelemetryState.h"
#include "record/FlightReplay.h"

// What the view shows in place of the live link while a recording is replayed: the replayed state
// (its linkAlive says whether the link was up at that moment and is never cleared by the panel), the
// route of the last waypoint upload, the recorded time of the line, the mark that tells a replay
// from the live aircraft, the sender warning and refusals of that moment, and the flown track of
// the whole recording (drawn up to the moment). Written by the replay on the user-interface thread.
struct ReplayScene {
    TelemetryState telemetry;
    Waypoints route;
    std::time_t lineTime = 0;
    // The moment shown (microseconds of the replay's flight time), moved on every tick of the
    // replay so that the time since the last position heard counts on the replay's clock.
    std::int64_t atMicros = 0;
    std::string mark;  // "REPLAY 8x" or "PAUSED"
    bool severalSenders = false;
    ReplayRefusals refusals;
    // The cockpit feed carries the replay instead of the live aircraft (the operator's choice).
    bool toCockpit = false;
    FlightTrack track;
    std::size_t trackLines = 0;  // lines of the index in `track`
    // The last line at or before the moment that carried a position with the GPS acquired (its
    // clockMs unused: the replay's clock is the moment).
    std::optional<LastFix> lastFix;
};

// Added to the mark while the replay goes to the cockpit display.
inline constexpr const char* kReplayToCockpitMark = "TO COCKPIT";

// Puts the replayed moment `at` (microseconds since 1970) into `scene`: the line's values and the
// rate measured then, the link of that moment, the line's time (the moment itself before the first
// line), the route of the last upload placed on `geometry` (at the origin without one) and `mark`.
// Sets newData so that the view's next tick repaints.
void showReplayState(const ReplayState& state, std::int64_t at, const std::string& mark,
                     const MapGeometry* geometry, ReplayScene& scene);

// Adds the index's lines from scene.trackLines on to scene.track, broken where the live track broke:
// after a silence of the link-loss time and at every line without a GPS fix.
void extendReplayTrack(const FlightReplay& replay, ReplayScene& scene);
