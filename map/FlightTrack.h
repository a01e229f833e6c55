#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The path the aircraft has flown, kept in latitude/longitude so that it survives a change of map
// and follows any zoom. A run is a stretch of consecutive fixes; a gap (no GPS fix, no link, a
// position that is no coordinate) ends the run, and the line is never drawn across it.
// User-interface thread only.
struct TrackPoint {
    double lat = 0;
    double lon = 0;
    std::int64_t timeMs = 0;  // the caller's monotonic clock
    bool startsRun = false;   // not joined to the point before it
};

enum class TrackMode { LastTenMinutes, WholeFlight, Off };

class FlightTrack {
public:
    // What "10 Minutes" shows.
    static constexpr std::int64_t kRecentWindowMs = 10 * 60 * 1000;
    // A fix closer than this to the last kept one adds nothing visible: it is below a screen pixel
    // at the deepest zoom of the shipped maps (about 0.06 m), and an aircraft standing still would
    // otherwise fill the store.
    static constexpr double kMinimumSpacingMetres = 0.05;
    // Memory and drawing bound: when the store reaches this many points, every second point of
    // each run is dropped (run ends kept), so a flight of any length keeps at most this many points
    // and the older parts of a long flight are drawn a little coarser (should the runs be too short
    // to thin, the older half is dropped). 32 bytes a point: under 2 MB; drawn whole, a few
    // milliseconds of the software renderer.
    static constexpr std::size_t kCapacity = 50000;

    // A position with a GPS fix at `timeMs`. A position that is not a valid coordinate (not finite,
    // outside -90..90 / -180..180) is taken as a gap.
    void addFix(double lat, double lon, std::int64_t timeMs);
    // The next fix starts a new run.
    void addBreak() { pendingBreak_ = true; }
    void clear();

    const std::vector<TrackPoint>& points() const { return points_; }
    // Index of the first point that `mode` shows at `nowMs` (points().size() when none is shown).
    std::size_t firstShown(TrackMode mode, std::int64_t nowMs) const;
    // Index past the last point at or before `untilMs` (a replay draws the track up to its moment).
    std::size_t shownEnd(std::int64_t untilMs) const;

private:
    void halve();

    std::vector<TrackPoint> points_;
    bool pendingBreak_ = true;
};
