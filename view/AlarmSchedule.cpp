#include "view/AlarmSchedule.h"

#include "net/TelemetryState.h"
#include "view/FrameTick.h"

namespace {
constexpr std::int16_t kGpsAcquired = 1;
}  // namespace

bool AlarmSchedule::due(Condition& condition, bool lost, std::int64_t nowMs) {
    if (!lost) {
        condition.active = false;
        return false;
    }
    if (!condition.active) {
        condition.active = true;
        condition.dueMs = nowMs;
    }
    if (nowMs < condition.dueMs) return false;
    // A late tick sounds once, then keeps the ten-second rhythm from now.
    condition.dueMs = nowMs + kRepeatMs;
    return true;
}

void AlarmSchedule::record(const Condition& before, bool active, const char* name,
                           const std::string& startText) {
    if (!journal_ || before.active == active) return;
    journal_(std::string("alarm ") + name + ": " + (active ? startText : std::string("over")));
}

void AlarmSchedule::update(bool linkLost, bool gpsLost, const std::optional<std::string>& terrainLow) {
    const std::int64_t now = clock_();
    record(link_, linkLost, "link", "lost");
    record(gps_, gpsLost, "gps", "not acquired");
    record(terrain_, terrainLow.has_value(), "terrain", terrainLow.value_or(std::string()));
    const bool linkDue = due(link_, linkLost, now);
    const bool gpsDue = due(gps_, gpsLost, now);
    const bool terrainDue = due(terrain_, terrainLow.has_value(), now);
    if ((linkDue || gpsDue || terrainDue) && !muted_ && sound_) sound_();
}

AlarmConditions alarmConditions(const TelemetryState& telemetry, std::int32_t nowMs) {
    AlarmConditions conditions;
    // No line yet: nothing has been lost.
    if (!telemetry.lineHeard.load(std::memory_order_acquire)) return conditions;
    const std::int32_t lastLine = telemetry.lastLineClock.load();
    const auto silence =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(nowMs) - static_cast<std::uint32_t>(lastLine));
    conditions.linkLost = silence >= kLinkLossMs;
    conditions.gpsLost = !conditions.linkLost && telemetry.gpsStatus.load() != kGpsAcquired;
    return conditions;
}
