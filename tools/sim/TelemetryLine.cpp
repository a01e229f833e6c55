#include "tools/sim/TelemetryLine.h"

#include <cstdio>

std::optional<std::string> formatTelemetryLine(const TelemetrySample& s) {
    // Seven decimals keep the position to about a centimetre; the ground reads the coordinates
    // as text into doubles.
    char text[kMaxTelemetryLine + 1];
    const int length = std::snprintf(text, sizeof text,
                                     "%.5f %.5f %.5f %.4f %.4f %.4f %.5f %.5f %.5f %.3f %.3f %.3f "
                                     "%.2f %.2f %.7f %.7f %.2f %d %d %d\n",
                                     s.p, s.q, s.r, s.ax, s.ay, s.az, s.phi, s.theta, s.psi, s.aux10, s.aux11,
                                     s.aux12, s.palt, s.cas, s.lat, s.lon, s.alt, s.gps, s.ahrs, s.nav);
    if (length < 0 || static_cast<std::size_t>(length) > kMaxTelemetryLine) return std::nullopt;
    return std::string(text, static_cast<std::size_t>(length));
}
