#include "view/FrameTick.h"

#include "net/TelemetryState.h"

bool frameTickNeedsRepaint(TelemetryState& telemetry, bool panelShowsLink, std::int32_t nowMs) {
    int expected = 1;
    if (telemetry.newData.compare_exchange_strong(expected, 0)) return true;

    // When the lines stop, nothing else would repaint and the panel would read "LINK" for ever.
    const std::int32_t lastLine = telemetry.lastLineClock.load();
    if (lastLine < 0 || !panelShowsLink) return false;
    const auto silence =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(nowMs) - static_cast<std::uint32_t>(lastLine));
    return silence >= kLinkLossMs;
}
