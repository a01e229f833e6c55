#pragma once

#include "map/FlightTrack.h"

// The operator's choices of the Flight menu, kept in the application's settings profile (group
// "Flight"): which part of the track is drawn, whether the status bar shows, whether alarms are
// muted. User-interface thread only.
struct FlightSettings {
    TrackMode trackMode = TrackMode::LastTenMinutes;
    bool statusBarShown = true;
    bool alarmsMuted = false;
    bool followAircraft = false;

    // Missing or unreadable values keep the defaults above.
    static FlightSettings load();
    void save() const;
};
