#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct TelemetryState;

// When the warning sound plays: once when the link or the GPS is lost or the aircraft comes too
// near the ground, and again every
// `kRepeatMs` while the loss lasts; recovery plays nothing. The clock and the sound are given by
// the owner (the view: the steady clock and the desktop's sound theme; tests: their own).
// User-interface thread only.
class AlarmSchedule {
public:
    static constexpr std::int64_t kRepeatMs = 10000;

    using Clock = std::function<std::int64_t()>;  // milliseconds, never going back
    using Sound = std::function<void()>;
    AlarmSchedule(Clock clock, Sound sound) : clock_(std::move(clock)), sound_(std::move(sound)) {}

    // Muted, the schedule runs on without a sound, so unmuting during a loss sounds at its next
    // repeat rather than at once.
    void setMuted(bool muted) { muted_ = muted; }
    bool muted() const { return muted_; }

    // Each alarm's start and end as a line ("alarm link: lost", "alarm link: over"), for the
    // journal; written whether muted or not.
    using Journal = std::function<void(const std::string&)>;
    void setJournal(Journal journal) { journal_ = std::move(journal); }

    // The state at this moment; called on every tick of the view's timer. Two alarms that begin or
    // repeat together sound once. `terrainLow` says where the aircraft is too near the ground
    // ("AGL 24 m at 39.98612 -75.21235"), nothing while it is not.
    void update(bool linkLost, bool gpsLost, const std::optional<std::string>& terrainLow = std::nullopt);

private:
    struct Condition {
        bool active = false;
        std::int64_t dueMs = 0;
    };
    // Whether `condition` is due at `nowMs` (advancing its next time when it is).
    static bool due(Condition& condition, bool lost, std::int64_t nowMs);

    Clock clock_;
    Sound sound_;
    bool muted_ = false;
    void record(const Condition& before, bool active, const char* name, const std::string& startText);

    Journal journal_;
    Condition link_;
    Condition gps_;
    Condition terrain_;
};

// The conditions the alarm hears, from the shared telemetry at program clock `nowMs`: the link is
// lost once lines have come and then stopped for the time after which the panel reads "NO LINK";
// the GPS is lost while lines come with GPS not acquired (while the link is lost nothing is known of
// the GPS, and the link's alarm already sounds).
struct AlarmConditions {
    bool linkLost = false;
    bool gpsLost = false;
};
AlarmConditions alarmConditions(const TelemetryState& telemetry, std::int32_t nowMs);
