#include "view/FlightDeck.h"

#include "common/MessageLog.h"
#include "common/Notifier.h"
#include "map/Terrain.h"
#include "net/TelemetryState.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"

namespace {
constexpr std::int16_t kGpsAcquired = 1;
}  // namespace

FlightDeck::FlightDeck(Scene& scene, TelemetryState& telemetry, Repaint repaint, AlarmSchedule::Clock clock)
    : scene_(scene),
      telemetry_(telemetry),
      repaint_(std::move(repaint)),
      clock_(std::move(clock)),
      alarms_(clock_, [this] { sound_.play(); }),
      linkLog_([](const std::string& text) { logMessage(kApplicationTitle, text); }) {}

void FlightDeck::tick(std::int32_t programMs) {
    const AlarmConditions conditions = alarmConditions(telemetry_, programMs);
    const std::optional<std::string> terrainLow =
        readTerrain(!conditions.linkLost && telemetry_.lineHeard.load(std::memory_order_acquire));
    alarms_.update(conditions.linkLost, conditions.gpsLost, terrainLow);
    recordTrack(conditions.linkLost);
    logLinkChange(conditions.linkLost, programMs);
    // A replay's track comes from its recording: the moment shown decides how much is drawn.
    const ReplayScene* replay = scene_.replay();
    scene_.setTrackClock(replay != nullptr ? replay->atMicros / 1000 : clock_());
    publishReadout();
    // The time since the last position heard counts on every tick.
    if (readout_.lastHeard) repaint_();
}

void FlightDeck::logLinkChange(bool linkLost, std::int32_t programMs) {
    if (linkLost == loggedLoss_) return;
    loggedLoss_ = linkLost;
    const std::int32_t lastLine = telemetry_.lastLineClock.load();
    if (linkLost) {
        lostAfterLine_ = lastLine;
        // Kept for the return, whose first line may already carry a new position.
        fixAtLoss_ = telemetry_.lastFix.load();
        const LastFix* fix = fixAtLoss_ ? &*fixAtLoss_ : nullptr;
        if (linkLog_) linkLog_(linkLossLogText(fix, fix ? elapsedSinceClock(fix->clockMs, programMs) : 0));
    } else if (linkLog_) {
        // From the last line before the silence to the first one after it.
        linkLog_(linkReturnLogText(fixAtLoss_ ? &*fixAtLoss_ : nullptr,
                                   elapsedSinceClock(lostAfterLine_, lastLine)));
    }
}

void FlightDeck::recordTrack(bool linkLost) {
    FlightTrack& track = scene_.liveTrack();
    if (linkLost) {
        // Where the aircraft went meanwhile is not known: no line joins across the silence.
        track.addBreak();
        return;
    }
    // One point per tick that follows a new line: the receiver thread owns the lines, and the
    // user-interface thread reads the shared state without ever waiting for it.
    if (!telemetry_.lineHeard.load(std::memory_order_acquire)) return;
    const std::int32_t line = telemetry_.lastLineClock.load();
    if (haveRecordedLine_ && line == lastRecordedLine_) return;
    haveRecordedLine_ = true;
    lastRecordedLine_ = line;
    if (telemetry_.gpsStatus.load() != kGpsAcquired) {
        track.addBreak();
        return;
    }
    track.addFix(telemetry_.lat.load(), telemetry_.lon.load(), clock_());
}

void FlightDeck::setCursor(std::optional<GeoPoint> cursor) {
    if (cursor.has_value() == readout_.cursor.has_value() &&
        (!cursor || (cursor->lat == readout_.cursor->lat && cursor->lon == readout_.cursor->lon))) {
        return;
    }
    readout_.cursor = cursor;
    if (terrain_ != nullptr && cursor) readout_.cursorGround = terrain_->heightAt(*cursor);
    publishReadout();
}

void FlightDeck::setTerrain(TerrainLoader* terrain, HeightUnit unit, double marginMetres) {
    terrain_ = terrain;
    readout_.unit = unit;
    terrainAlarm_.setMarginMetres(marginMetres);
    publishReadout();
}

void FlightDeck::setTerrainMessageListener(std::function<void(const std::string&)> listener) {
    terrainMessages_ = std::move(listener);
}

std::optional<std::string> FlightDeck::readTerrain(bool linkAlive) {
    readout_.terrainInUse = terrain_ != nullptr;
    readout_.terrainAlarm = false;
    if (terrain_ == nullptr) return std::nullopt;
    if (terrain_->poll()) repaint_();
    for (const std::string& message : terrain_->takeMessages()) {
        if (terrainMessages_) terrainMessages_(message);
    }
    // The alarm hears the live aircraft only; a replay shows its own aircraft's ground.
    const TelemetryState& shown = scene_.telemetry();
    const bool live = scene_.replay() == nullptr;
    const bool heard = !live || shown.lineHeard.load(std::memory_order_acquire);
    const bool gps = heard && shown.gpsStatus.load() == kGpsAcquired;
    readout_.aircraftGround = {};
    const GeoPoint aircraft{shown.lat.load(), shown.lon.load()};
    if (gps) readout_.aircraftGround = terrain_->heightAt(aircraft);
    readout_.altitudeMetres = fromUnit(shown.alt.load(), readout_.unit);
    if (readout_.cursor) readout_.cursorGround = terrain_->heightAt(*readout_.cursor);
    if (!live) return std::nullopt;
    if (!terrainAlarm_.update(linkAlive, gps, readout_.aircraftGround, readout_.altitudeMetres))
        return std::nullopt;
    readout_.terrainAlarm = true;
    const double agl = readout_.aircraftGround.known()
                           ? readout_.altitudeMetres - readout_.aircraftGround.metres
                           : terrainAlarm_.marginMetres();
    return terrainAlarmText(agl, aircraft, readout_.unit);
}

void FlightDeck::setReadoutListener(ReadoutListener listener) {
    readoutListener_ = std::move(listener);
    publishReadout();
}

void FlightDeck::publishReadout() {
    // The aircraft shown: the live one, or the replayed one during a replay.
    const TelemetryState& shown = scene_.telemetry();
    const bool heard = scene_.replay() != nullptr || shown.lineHeard.load(std::memory_order_acquire);
    if (heard && shown.gpsStatus.load() == kGpsAcquired) {
        readout_.aircraft = GeoPoint{shown.lat.load(), shown.lon.load()};
    } else {
        readout_.aircraft.reset();
    }
    readRoute(readout_, scene_.waypoints());
    readout_.lastHeard = scene_.lastHeardShown();
    if (readoutListener_) readoutListener_(readout_);
}

void FlightDeck::setTrackMode(TrackMode mode) {
    scene_.setTrackMode(mode);
    repaint_();
}

void FlightDeck::clearTrack() {
    scene_.flightTrack().clear();
    repaint_();
}

void FlightDeck::setAlarmsMuted(bool muted) {
    alarms_.setMuted(muted);
}

void FlightDeck::openMap(const MapOpenRequest& request) {
    scene_.openMap(request);
}

void FlightDeck::setFollowAircraft(bool follow) {
    scene_.setFollowAircraft(follow);
    if (follow && scene_.followStep()) repaint_();
}

void FlightDeck::resetMapView() {
    scene_.resetMapView();
    repaint_();
}

Waypoints& FlightDeck::flightWaypoints() {
    return scene_.waypoints();
}

const MapGeometry& FlightDeck::flightMapGeometry() {
    return scene_.mapGeometry();
}

std::optional<LastFix> FlightDeck::lastPosition() {
    return scene_.lastFixShown();
}

void FlightDeck::waypointsReplaced() {
    publishReadout();
    repaint_();
}
