#pragma once

#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>

#include <memory>
#include <string>

#include "tools/log/FlightLog.h"

class QChart;
class QGraphicsScene;
class QLineSeries;
class QPainter;

// The picture of a flight, drawn with Qt Charts: altitude and pressure altitude, airspeed, bank and
// pitch, heading, the line rate with the link gaps shaded, each against time; and the ground track
// with the uploaded waypoints. Needs a QApplication (the off-screen platform does).
class FlightPlot {
public:
    // The colour of the ground track, which nothing else in the picture uses.
    static constexpr QRgb kTrackColour = 0xFF1F4FD8;

    FlightPlot(const FlightLog& log, QSize size);
    ~FlightPlot();
    FlightPlot(const FlightPlot&) = delete;
    FlightPlot& operator=(const FlightPlot&) = delete;

    QSize size() const { return size_; }
    void render(QPainter& painter);
    QImage image();
    // Where a place of the ground track lands in the picture.
    QPointF trackPixel(double lat, double lon) const;

private:
    // Widens one axis of the ground track so that a metre north and a metre east are as long.
    void keepTrackToScale();

    QSize size_;
    std::unique_ptr<QGraphicsScene> scene_;
    QChart* trackChart_ = nullptr;
    QLineSeries* track_ = nullptr;
};

// Writes the picture as PNG or SVG (by the file's ending). False with `error` when it cannot.
bool writeFlightPlot(const FlightLog& log, const QString& path, QSize size, std::string& error);
