#pragma once

#include <optional>

#include "map/FlightTrack.h"
#include "map/ImagerySource.h"
#include "net/LastFix.h"

struct MapGeometry;
struct Waypoints;

// What the Flight menu acts on: the view in the program, a recorder in tests (the off-screen
// platform cannot show the view). User-interface thread only.
class FlightTarget {
public:
    virtual ~FlightTarget() = default;
    virtual void setTrackMode(TrackMode mode) = 0;
    virtual void clearTrack() = 0;
    virtual void setAlarmsMuted(bool muted) = 0;
    // The whole picture again: no zoom, no pan.
    virtual void resetMapView() = 0;
    virtual Waypoints& flightWaypoints() = 0;
    virtual const MapGeometry& flightMapGeometry() = 0;
    // The list was replaced: show it.
    virtual void waypointsReplaced() = 0;
    // The last position heard with the GPS acquired, as the view shows it (live or replayed).
    virtual std::optional<LastFix> lastPosition() = 0;
    // Opens a georeferenced picture or tile folder; the map shown stays until it has opened.
    virtual void openMap(const MapOpenRequest& request) = 0;
    // While zoomed, the shown part of the map follows the aircraft.
    virtual void setFollowAircraft(bool follow) = 0;
};
