#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <optional>

#include "tools/cockpit/CockpitPacket.h"

class QPainter;

// Everything one frame of the primary flight display shows.
struct FlightDisplayFrame {
    // The newest reading; drawn only while `dataCurrent`.
    std::optional<CockpitReading> reading;
    // False before the first packet and once packets have stopped: the display then says "NO DATA".
    bool dataCurrent = false;
    long long acceptedPackets = 0;
    long long refusedPackets = 0;
    // What the status line says about the feed socket ("UDP 127.0.0.1:5800", or why it failed).
    QString linkText;
    bool linkFailed = false;
};

// The instrument colours, named for the tests that read pixels back.
namespace flight_display {
inline const QColor kSky{48, 112, 208};
inline const QColor kGround{139, 90, 43};
inline const QColor kNoDataBackground{40, 40, 40};
inline const QColor kWarning{230, 40, 40};
// The design is laid out in this frame and scaled uniformly into the widget.
inline constexpr int kDesignWidth = 800;
inline constexpr int kDesignHeight = 600;
}  // namespace flight_display

// Paints the whole display into `size` (device pixels of the painter's target).
void paintFlightDisplay(QPainter& painter, QSize size, const FlightDisplayFrame& frame);
