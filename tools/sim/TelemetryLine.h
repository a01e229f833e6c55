#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "tools/sim/FlightModel.h"

// The ground station refuses datagrams longer than this.
inline constexpr std::size_t kMaxTelemetryLine = 200;

// The twenty fields in line order: p q r ax ay az phi theta psi aux10 aux11 aux12 palt cas lat lon
// alt gps ahrs nav, separated by blanks and ended by a line feed. Nothing when the text would not
// fit one datagram (only absurd values could make it that long).
std::optional<std::string> formatTelemetryLine(const TelemetrySample& sample);
