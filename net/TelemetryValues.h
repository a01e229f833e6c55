#pragma once

#include <cstdint>

struct TelemetryState;

// The twenty values of a TelemetryState at one moment, as plain data: what a recorded line left in
// the ground station's state (fields a short line did not carry keep the earlier lines' values).
struct TelemetryValues {
    float p = 0, q = 0, r = 0, ax = 0, ay = 0, az = 0, phi = 0, theta = 0, psi = 0;
    float aux10 = 0, aux11 = 0, aux12 = 0, palt = 0, cas = 0;
    double lat = 0, lon = 0;
    float alt = 0;
    std::int16_t gpsStatus = 0, ahrsStatus = 0, navStatus = 0;

    bool operator==(const TelemetryValues&) const = default;
};

// Reads the values of `state` (each field on its own; the flags and the rate are not values).
TelemetryValues snapshotTelemetry(const TelemetryState& state);
// Writes `values` into `state`; the flags and the rate are left alone.
void storeTelemetry(const TelemetryValues& values, TelemetryState& state);
