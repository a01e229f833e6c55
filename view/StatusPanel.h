#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// Texts of the status panel. Every value is formatted whole, however large: the buffer fits the
// longest text any format can give ("%9.5f" of the largest double is 1 + 309 + 1 + 5 characters).
inline constexpr std::size_t kPanelTextCapacity = 320;

// Latitude or longitude, degrees: "%9.5f".
std::string formatCoordinate(double degrees);
// Altitudes and airspeed: "%9.2f".
std::string formatReading(float value);
// Attitude, rates (already in degrees) and accelerations: "%7.2f".
std::string formatStateValue(double value);
// Telemetry lines per second from the mean interval between them: "%4.1f" of 1 / interval, and
// "--.-" while no interval has been measured (0) or it makes no sense.
std::string formatLineRate(double packetInterval);
// The first 24 characters of the calendar-time text of `time` in local time,
// "Tue Dec  8 13:23:30 2026"; empty when the time cannot be converted.
std::string formatPanelTime(std::time_t time);

// One status word of the panel's unit rows, with its colour index.
struct StatusWord {
    std::string text;
    int colorIndex;
};
StatusWord ahrsStatusWord(std::int16_t ahrsStatus);
StatusWord gpsStatusWord(std::int16_t gpsStatus);
StatusWord navStatusWord(std::int16_t navStatus);
