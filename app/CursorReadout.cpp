#include "app/CursorReadout.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {
constexpr int kFieldSpacing = 24;
}  // namespace

CursorReadout::CursorReadout(QWidget* parent)
    : QWidget(parent),
      cursor_(new QLabel(this)),
      route_(new QLabel(this)),
      lastHeard_(new QLabel(this)),
      terrain_(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kFieldSpacing);
    layout->addWidget(cursor_);
    layout->addWidget(route_);
    layout->addWidget(lastHeard_);
    layout->addWidget(terrain_);
    showReadout({});
}

void CursorReadout::showReadout(const MapReadout& readout) {
    cursor_->setText(QString::fromStdString(formatCursorReadout(readout)));
    route_->setText(QString::fromStdString(formatRouteReadout(readout)));
    lastHeard_->setText(QString::fromStdString(formatLastHeardReadout(readout)));
    terrain_->setText(QString::fromStdString(formatTerrainReadout(readout)));
    terrain_->setStyleSheet(readout.terrainAlarm ? QStringLiteral("color: red; font-weight: bold")
                                                 : QString());
}

QString CursorReadout::lastHeardText() const {
    return lastHeard_->text();
}

QString CursorReadout::cursorText() const {
    return cursor_->text();
}

QString CursorReadout::routeText() const {
    return route_->text();
}
