#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include "tools/cockpit/CockpitReceiver.h"

class QSocketNotifier;

// The cockpit display's window: takes feed packets as they arrive and repaints the flight display
// from its own timer, so a stalled feed is noticed even when nothing arrives.
class CockpitWindow : public QWidget {
public:
    // Listens on `port` of the loopback address; a port that cannot be opened is shown in the window
    // (the display then stays at "NO DATA").
    explicit CockpitWindow(std::uint16_t port, QWidget* parent = nullptr);

    const CockpitReceiver& receiver() const { return receiver_; }

    // Packets older than this count as stopped.
    static constexpr qint64 kStaleAfterMs = 1000;
    static constexpr int kRepaintIntervalMs = 40;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void takePackets();

    CockpitReceiver receiver_;
    QSocketNotifier* readable_ = nullptr;
    QTimer repaintTimer_;
    QElapsedTimer sinceLastPacket_;
    QString linkText_;
};
