#include "tools/cockpit/CockpitPacket.h"

#include <cmath>
#include <initializer_list>

#include "net/CockpitFeed.h"

std::optional<CockpitReading> decodeCockpitPacket(const std::uint8_t* data, std::size_t length) {
    if (data == nullptr || length != static_cast<std::size_t>(kCockpitFeedSize)) return std::nullopt;
    const auto at = [data](std::size_t offset) { return loadLittleEndianDouble(data + offset); };
    namespace off = cockpit_offset;
    CockpitReading reading;
    reading.latitude = at(off::kLatitude);
    reading.longitude = at(off::kLongitude);
    reading.pitch = at(off::kPitch);
    reading.roll = at(off::kRoll);
    reading.heading = at(off::kHeading);
    reading.altitude = at(off::kAltitude);
    reading.airspeed = at(off::kAirspeed);
    reading.rollRate = at(off::kRollRate);
    reading.pitchRate = at(off::kPitchRate);
    reading.yawRate = at(off::kYawRate);
    for (double value :
         {reading.latitude, reading.longitude, reading.pitch, reading.roll, reading.heading, reading.altitude,
          reading.airspeed, reading.rollRate, reading.pitchRate, reading.yawRate}) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return reading;
}
