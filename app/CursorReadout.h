#pragma once

#include <QWidget>

#include "map/MapReadout.h"

class QLabel;

// The status bar's map readout: the cursor's coordinates with the distance and bearing from the
// aircraft while the cursor is over the map, always the waypoint count and the route length, and
// while the link is lost where and when the aircraft was last heard.
class CursorReadout : public QWidget {
    Q_OBJECT
public:
    explicit CursorReadout(QWidget* parent = nullptr);
    void showReadout(const MapReadout& readout);

    QString cursorText() const;
    QString routeText() const;
    QString lastHeardText() const;
    // "GND 412 m  AGL 88 m", red while the clearance alarm holds.
    QLabel* terrainField() const { return terrain_; }

private:
    QLabel* cursor_;
    QLabel* route_;
    QLabel* lastHeard_;
    QLabel* terrain_;
};
