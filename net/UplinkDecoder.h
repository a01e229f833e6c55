#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "map/MapGeometry.h"

// What the ground station sends back: one 180-byte datagram whose last byte is the sum of the
// others, carrying "G mode p i d" or "W n lat lon ...".
inline constexpr int kMaxUplinkWaypoints = 8;
inline constexpr int kGainModeCount = 5;

struct GainUplink {
    int mode = 0;
    double proportional = 0, integral = 0, derivative = 0;
};

struct WaypointUplink {
    std::vector<GeoPoint> waypoints;  // 0 to kMaxUplinkWaypoints, in route order
};

struct RejectedUplink {
    std::size_t length = 0;  // bytes received
    std::string reason;
};

using Uplink = std::variant<GainUplink, WaypointUplink, RejectedUplink>;

// Decodes one received datagram. The bytes are untrusted: only the first 180 are ever looked at,
// and anything that is not exactly a well-formed gain or waypoint upload is rejected with a reason.
Uplink decodeUplink(std::span<const std::uint8_t> datagram);

// For a datagram that was too long to be received whole.
RejectedUplink rejectOversizedUplink(std::size_t length);

// Printable lines describing a decoded datagram (one for gains or rejections, one plus one per
// waypoint for a route).
std::vector<std::string> describeUplink(const Uplink& uplink);
