#include "tools/cockpit/CockpitWindow.h"

#include <QPainter>
#include <QSocketNotifier>

#include "tools/cockpit/FlightDisplayPainter.h"

CockpitWindow::CockpitWindow(std::uint16_t port, QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Orvane Cockpit"));
    setMinimumSize(400, 300);
    resize(flight_display::kDesignWidth, flight_display::kDesignHeight);
    if (receiver_.open(port)) {
        linkText_ = QStringLiteral("UDP 127.0.0.1:%1").arg(receiver_.boundPort());
        readable_ = new QSocketNotifier(receiver_.handle(), QSocketNotifier::Read, this);
        connect(readable_, &QSocketNotifier::activated, this, [this] { takePackets(); });
    } else {
        linkText_ = QString::fromStdString(receiver_.error());
    }
    connect(&repaintTimer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    repaintTimer_.start(kRepaintIntervalMs);
}

void CockpitWindow::takePackets() {
    if (receiver_.drain() > 0) sinceLastPacket_.start();
}

void CockpitWindow::paintEvent(QPaintEvent*) {
    FlightDisplayFrame frame;
    frame.reading = receiver_.latest();
    frame.dataCurrent = sinceLastPacket_.isValid() && sinceLastPacket_.elapsed() < kStaleAfterMs;
    frame.acceptedPackets = receiver_.acceptedCount();
    frame.refusedPackets = receiver_.refusedCount();
    frame.linkText = linkText_;
    frame.linkFailed = receiver_.handle() < 0;
    QPainter painter(this);
    paintFlightDisplay(painter, size(), frame);
}
