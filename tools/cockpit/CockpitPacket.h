#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// What the cockpit display takes from one feed datagram. Angles in degrees, rates in degrees per
// second; altitude and airspeed in whatever unit the aircraft reports.
struct CockpitReading {
    double latitude = 0;
    double longitude = 0;
    double pitch = 0;
    double roll = 0;
    double heading = 0;
    double altitude = 0;
    double airspeed = 0;
    double rollRate = 0;
    double pitchRate = 0;
    double yawRate = 0;
};

// Decodes a datagram of exactly the feed's 696 bytes. Any other length, or a field that is not a
// finite number, is refused (nothing), so the display never draws from a damaged packet.
std::optional<CockpitReading> decodeCockpitPacket(const std::uint8_t* data, std::size_t length);
