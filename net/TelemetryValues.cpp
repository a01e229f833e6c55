#include "net/TelemetryValues.h"

#include "net/TelemetryState.h"

namespace {

// Every value field, once, so that reading and writing a state cannot miss one.
template <typename Visit>
void forEachField(Visit&& visit) {
    visit(&TelemetryValues::p, &TelemetryState::p);
    visit(&TelemetryValues::q, &TelemetryState::q);
    visit(&TelemetryValues::r, &TelemetryState::r);
    visit(&TelemetryValues::ax, &TelemetryState::ax);
    visit(&TelemetryValues::ay, &TelemetryState::ay);
    visit(&TelemetryValues::az, &TelemetryState::az);
    visit(&TelemetryValues::phi, &TelemetryState::phi);
    visit(&TelemetryValues::theta, &TelemetryState::theta);
    visit(&TelemetryValues::psi, &TelemetryState::psi);
    visit(&TelemetryValues::aux10, &TelemetryState::aux10);
    visit(&TelemetryValues::aux11, &TelemetryState::aux11);
    visit(&TelemetryValues::aux12, &TelemetryState::aux12);
    visit(&TelemetryValues::palt, &TelemetryState::palt);
    visit(&TelemetryValues::cas, &TelemetryState::cas);
    visit(&TelemetryValues::lat, &TelemetryState::lat);
    visit(&TelemetryValues::lon, &TelemetryState::lon);
    visit(&TelemetryValues::alt, &TelemetryState::alt);
    visit(&TelemetryValues::gpsStatus, &TelemetryState::gpsStatus);
    visit(&TelemetryValues::ahrsStatus, &TelemetryState::ahrsStatus);
    visit(&TelemetryValues::navStatus, &TelemetryState::navStatus);
}

}  // namespace

TelemetryValues snapshotTelemetry(const TelemetryState& state) {
    TelemetryValues values;
    forEachField(
        [&](auto value, auto field) { values.*value = (state.*field).load(std::memory_order_relaxed); });
    return values;
}

void storeTelemetry(const TelemetryValues& values, TelemetryState& state) {
    forEachField(
        [&](auto value, auto field) { (state.*field).store(values.*value, std::memory_order_relaxed); });
}
