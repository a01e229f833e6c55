#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "map/MapReadout.h"
#include "map/TerrainAlarm.h"
#include "view/AlarmSchedule.h"
#include "view/AlarmSound.h"
#include "view/FlightTarget.h"

class Scene;
class TerrainLoader;
struct TelemetryState;

// The view's additions for flying: records the track from the decoded lines, sounds the alarms,
// keeps the status bar's readout current and carries out the Flight menu's commands on the scene.
// Runs on the view's timer. User-interface thread only.
class FlightDeck : public FlightTarget {
public:
    using Repaint = std::function<void()>;
    using ReadoutListener = std::function<void(const MapReadout&)>;
    using LinkLog = std::function<void(const std::string&)>;
    // `clock` is a monotonic millisecond clock (the track's times and the alarm schedule).
    FlightDeck(Scene& scene, TelemetryState& telemetry, Repaint repaint, AlarmSchedule::Clock clock);

    // One tick of the view's timer at program clock `programMs` (the clock of the telemetry's
    // `lastLineClock`).
    void tick(std::int32_t programMs);

    // The point under the cursor, or nothing when the cursor is off the drawn map.
    void setCursor(std::optional<GeoPoint> cursor);
    void setReadoutListener(ReadoutListener listener);
    // Where the live link's loss and return are written: standard error (logMessage) unless set.
    void setLinkLog(LinkLog log) { linkLog_ = std::move(log); }
    const MapReadout& readout() const { return readout_; }

    // The ground under the aircraft and the cursor, and the clearance alarm; null for none. The
    // aircraft's `alt` is read in `unit`, and heights are shown in it. Messages about elevation
    // files left out go to `listener`.
    void setTerrain(TerrainLoader* terrain, HeightUnit unit, double marginMetres);
    void setTerrainMessageListener(std::function<void(const std::string&)> listener);
    // Each alarm's start and end, one line each (the program writes them to standard error).
    void setAlarmJournal(AlarmSchedule::Journal journal) { alarms_.setJournal(std::move(journal)); }

    // FlightTarget.
    void setTrackMode(TrackMode mode) override;
    void clearTrack() override;
    void setAlarmsMuted(bool muted) override;
    void resetMapView() override;
    Waypoints& flightWaypoints() override;
    const MapGeometry& flightMapGeometry() override;
    void waypointsReplaced() override;
    std::optional<LastFix> lastPosition() override;
    void openMap(const MapOpenRequest& request) override;
    void setFollowAircraft(bool follow) override;

private:
    void recordTrack(bool linkLost);
    void publishReadout();
    void logLinkChange(bool linkLost, std::int32_t programMs);
    // The ground and the alarm's state at this tick; what the alarm says, while it holds.
    std::optional<std::string> readTerrain(bool linkAlive);

    Scene& scene_;
    TelemetryState& telemetry_;
    Repaint repaint_;
    AlarmSchedule::Clock clock_;
    AlarmSound sound_;
    AlarmSchedule alarms_;
    ReadoutListener readoutListener_;
    MapReadout readout_;
    TerrainLoader* terrain_ = nullptr;
    TerrainAlarm terrainAlarm_;
    std::function<void(const std::string&)> terrainMessages_;
    std::int32_t lastRecordedLine_ = -1;
    bool haveRecordedLine_ = false;
    LinkLog linkLog_;
    bool loggedLoss_ = false;
    std::int32_t lostAfterLine_ = 0;  // the program clock of the last line before the loss
    std::optional<LastFix> fixAtLoss_;
};
