#pragma once

#include <cstdint>

struct TelemetryState;

// Period of the view's timer: telemetry repaints at most this often.
inline constexpr int kFrameIntervalMs = 100;
// The view hands the heap's freed pages back to the system every this many ticks (a second).
inline constexpr int kTicksPerHeapTrim = 10;
// Without a telemetry line for this long, a panel still reading "LINK" is repainted once.
inline constexpr int kLinkLossMs = 1000;

// Whether a tick of the view's timer must repaint: a line was decoded since the last tick (clears
// `newData`), or the lines stopped `kLinkLossMs` ago while the panel still reads "LINK". `nowMs` is
// the program clock; the clock may wrap. User-interface thread, while the receiver thread decodes.
// Kept apart from the widget so that it runs without a window, next to the drawing it decides on.
bool frameTickNeedsRepaint(TelemetryState& telemetry, bool panelShowsLink, std::int32_t nowMs);
