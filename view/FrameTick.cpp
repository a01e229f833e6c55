#include "view/FrameTick.h"

#include "net/TelemetryState.h"

bool frameTickNeedsRepaint(TelemetryState& telemetry, bool panelShowsLink, std::int32_t nowMs) {
    int expected = 1;
    if (telemetry.newData.compare_exchange_strong(expected, 0)) return true;

    // When the lines stop, nothing else would repaint and the panel would read "LINK" for ever.
    if (!telemetry.lineHeard.load(std::memory_order_acquire) || !panelShowsLink) return false;
    const std::int32_t lastLine = telemetry.lastLineClock.load();
    const auto silence =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(nowMs) - static_cast<std::uint32_t>(lastLine));
    return silence >= kLinkLossMs;
}
