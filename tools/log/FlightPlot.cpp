#include "tools/log/FlightPlot.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QChart>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <variant>
#include <vector>

#include "common/OutputFile.h"
#include "tools/log/FlightSeries.h"
#include "tools/log/LogReport.h"

namespace {

// Angles on the wire are radians; shown in degrees the ground station's way.
constexpr double kDegreesPerRadian = 57.3;
constexpr int kColumns = 2;
// The ground track is drawn to one scale north and east (near enough over a flight's few
// kilometres); towards the poles a degree east shrinks to nothing and the track is left stretched.
constexpr double kMetresPerDegreeLatitude = 111195.0;
constexpr double kLatitudeKeptToScale = 80.0;
constexpr int kRows = 3;

QLineSeries* newSeries(const QString& name, QColor colour) {
    auto* series = new QLineSeries;
    series->setName(name);
    QPen pen(colour);
    pen.setWidthF(1.5);
    series->setPen(pen);
    return series;
}

QList<QPointF> pointsOf(const std::vector<PlotPoint>& points) {
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    for (const PlotPoint& point : points) list.append({point.x, point.y});
    return list;
}

// Axes around every point of the chart's series, with a little room.
void fitAxes(QChart* chart, const QString& xTitle, const QString& yTitle) {
    double left = std::numeric_limits<double>::max(), right = -left, bottom = left, top = -left;
    for (QAbstractSeries* abstract : chart->series()) {
        QList<QPointF> points;
        if (auto* xy = qobject_cast<QXYSeries*>(abstract)) points = xy->points();
        if (auto* area = qobject_cast<QAreaSeries*>(abstract)) points = area->upperSeries()->points();
        for (const QPointF& point : points) {
            left = std::min(left, point.x());
            right = std::max(right, point.x());
            bottom = std::min(bottom, point.y());
            top = std::max(top, point.y());
        }
    }
    if (left > right) left = 0, right = 1, bottom = 0, top = 1;
    if (right - left < 1e-9) left -= 0.5, right += 0.5;
    if (top - bottom < 1e-9) bottom -= 0.5, top += 0.5;
    const double margin = (top - bottom) * 0.05;
    auto* x = new QValueAxis;
    auto* y = new QValueAxis;
    x->setRange(left, right);
    y->setRange(bottom - margin, top + margin);
    // Round tick values (1, 2 or 5 times a power of ten), as a reader expects on an axis.
    x->applyNiceNumbers();
    y->applyNiceNumbers();
    x->setTitleText(xTitle);
    y->setTitleText(yTitle);
    x->setLabelFormat("%.6g");
    y->setLabelFormat("%.6g");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
}

QChart* newChart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

QChart* timeChart(
    const FlightLog& log, const QString& title, const QString& unit,
    const std::vector<std::tuple<QString, QColor, std::function<double(const LoggedLine&)>, int>>& curves) {
    QChart* chart = newChart(title);
    for (const auto& [name, colour, value, fields] : curves) {
        QLineSeries* series = newSeries(name, colour);
        series->replace(pointsOf(seriesAgainstTime(log, value, fields)));
        chart->addSeries(series);
    }
    const QString since = QString::fromStdString(readableUtc(log.startMicros));
    fitAxes(chart, QStringLiteral("seconds since ") + since, unit);
    return chart;
}

QChart* rateChart(const FlightLog& log) {
    QChart* chart = newChart(QStringLiteral("Line rate and link gaps"));
    QLineSeries* rate = newSeries(QStringLiteral("lines per second"), QColor(0x2E, 0x7D, 0x32));
    const FlightSummary summary = summarizeFlight(log);
    const QList<QPointF> points = pointsOf(lineRateSeries(log, summary));
    rate->replace(points);
    chart->addSeries(rate);
    double highest = 1;
    for (const QPointF& point : points) highest = std::max(highest, point.y());
    // Each gap shaded over the whole height of the chart.
    bool named = false;
    for (const LinkGap& gap : summary.gaps) {
        auto* upper = new QLineSeries;
        const double from = static_cast<double>(gap.startMicros) / 1e6;
        const double to = from + static_cast<double>(gap.lengthMicros) / 1e6;
        upper->append(from, highest);
        upper->append(to, highest);
        auto* lower = new QLineSeries;
        lower->append(from, 0);
        lower->append(to, 0);
        auto* area = new QAreaSeries(upper, lower);
        area->setName(named ? QString() : QStringLiteral("link gap over 1 s"));
        area->setColor(QColor(0xE5, 0x39, 0x35, 0x70));
        area->setBorderColor(QColor(0xE5, 0x39, 0x35));
        chart->addSeries(area);
        if (named) chart->legend()->markers(area).first()->setVisible(false);
        named = true;
    }
    fitAxes(chart, QStringLiteral("seconds since ") + QString::fromStdString(readableUtc(log.startMicros)),
            QStringLiteral("lines/s"));
    return chart;
}

}  // namespace

FlightPlot::FlightPlot(const FlightLog& log, QSize size)
    : size_(size), scene_(std::make_unique<QGraphicsScene>()) {
    using Curve = std::tuple<QString, QColor, std::function<double(const LoggedLine&)>, int>;
    std::vector<QChart*> charts;
    charts.push_back(timeChart(log, QStringLiteral("Altitude"), QStringLiteral("altitude"),
                               {Curve{QStringLiteral("alt (GPS)"), QColor(0x6A, 0x1B, 0x9A),
                                      [](const LoggedLine& l) { return double{l.values.alt}; }, 17},
                                Curve{QStringLiteral("palt (pressure)"), QColor(0xEF, 0x6C, 0x00),
                                      [](const LoggedLine& l) { return double{l.values.palt}; }, 13}}));
    if (log.terrainInUse) {
        // The ground under the aircraft, beneath its altitude (lines without terrain are left out).
        QLineSeries* ground = newSeries(QStringLiteral("ground"), QColor(0x79, 0x55, 0x48));
        ground->replace(pointsOf(seriesAgainstTime(
            log, [](const LoggedLine& l) { return l.ground; }, 17)));
        charts.back()->addSeries(ground);
        for (QAbstractAxis* axis : charts.back()->axes()) {
            charts.back()->removeAxis(axis);
            delete axis;
        }
        fitAxes(charts.back(),
                QStringLiteral("seconds since ") + QString::fromStdString(readableUtc(log.startMicros)),
                QStringLiteral("altitude"));
    }
    charts.push_back(timeChart(log, QStringLiteral("Airspeed"), QStringLiteral("cas"),
                               {Curve{QStringLiteral("cas"), QColor(0x00, 0x83, 0x8F),
                                      [](const LoggedLine& l) { return double{l.values.cas}; }, 14}}));
    charts.push_back(
        timeChart(log, QStringLiteral("Bank and pitch"), QStringLiteral("degrees"),
                  {Curve{QStringLiteral("bank (phi)"), QColor(0xC6, 0x28, 0x28),
                         [](const LoggedLine& l) { return l.values.phi * kDegreesPerRadian; }, 7},
                   Curve{QStringLiteral("pitch (theta)"), QColor(0x37, 0x47, 0x4F),
                         [](const LoggedLine& l) { return l.values.theta * kDegreesPerRadian; }, 8}}));
    charts.push_back(
        timeChart(log, QStringLiteral("Heading"), QStringLiteral("degrees"),
                  {Curve{QStringLiteral("heading (psi)"), QColor(0x55, 0x8B, 0x2F),
                         [](const LoggedLine& l) { return l.values.psi * kDegreesPerRadian; }, 9}}));
    charts.push_back(rateChart(log));

    trackChart_ = newChart(QStringLiteral("Ground track and uploaded waypoints"));
    track_ = newSeries(QStringLiteral("track"), QColor::fromRgba(kTrackColour));
    QPen trackPen(QColor::fromRgba(kTrackColour));
    trackPen.setWidthF(2.5);
    track_->setPen(trackPen);
    track_->replace(pointsOf(groundTrackSeries(log)));
    trackChart_->addSeries(track_);
    int routeNumber = 0;
    for (const LoggedUpload& upload : log.uploads) {
        const auto* route = std::get_if<WaypointUplink>(&upload.decoded);
        if (route == nullptr || route->waypoints.empty()) continue;
        auto* marks = new QScatterSeries;
        marks->setName(QStringLiteral("waypoints of upload %1").arg(++routeNumber));
        marks->setMarkerSize(10);
        marks->setColor(routeNumber == 1 ? QColor(0xD8, 0x1B, 0x60) : QColor(0xFB, 0x8C, 0x00));
        auto* loop = new QLineSeries;
        QPen dashed(marks->color());
        dashed.setStyle(Qt::DashLine);
        loop->setPen(dashed);
        for (const GeoPoint& point : route->waypoints) {
            marks->append(point.lon, point.lat);
            loop->append(point.lon, point.lat);
        }
        loop->append(route->waypoints.front().lon, route->waypoints.front().lat);
        trackChart_->addSeries(loop);
        trackChart_->legend()->markers(loop).first()->setVisible(false);
        trackChart_->addSeries(marks);
    }
    fitAxes(trackChart_, QStringLiteral("longitude, degrees"), QStringLiteral("latitude, degrees"));
    charts.push_back(trackChart_);

    const QSizeF cell(static_cast<double>(size.width()) / kColumns,
                      static_cast<double>(size.height()) / kRows);
    for (std::size_t i = 0; i < charts.size(); ++i) {
        scene_->addItem(charts[i]);
        const int column = static_cast<int>(i) / kRows;
        const int row = static_cast<int>(i) % kRows;
        charts[i]->setGeometry(QRectF(QPointF(column * cell.width(), row * cell.height()), cell));
    }
    scene_->setSceneRect(QRectF(QPointF(0, 0), QSizeF(size)));
    keepTrackToScale();
}

void FlightPlot::keepTrackToScale() {
    // The plot area is known once the chart has laid itself out.
    trackChart_->layout()->activate();
    const QRectF area = trackChart_->plotArea();
    auto* x = qobject_cast<QValueAxis*>(trackChart_->axes(Qt::Horizontal).value(0));
    auto* y = qobject_cast<QValueAxis*>(trackChart_->axes(Qt::Vertical).value(0));
    if (x == nullptr || y == nullptr || area.width() < 1 || area.height() < 1) return;
    const double middleLat = (y->min() + y->max()) / 2;
    const double eastMetresPerDegree =
        kMetresPerDegreeLatitude * std::cos(middleLat * std::numbers::pi / 180);
    if (std::fabs(middleLat) > kLatitudeKeptToScale || eastMetresPerDegree <= 0) return;
    const double eastMetresPerPixel = (x->max() - x->min()) * eastMetresPerDegree / area.width();
    const double northMetresPerPixel = (y->max() - y->min()) * kMetresPerDegreeLatitude / area.height();
    // Widen the axis that is drawn to the larger scale, about its middle.
    if (eastMetresPerPixel > northMetresPerPixel) {
        const double half = eastMetresPerPixel * area.height() / kMetresPerDegreeLatitude / 2;
        y->setRange(middleLat - half, middleLat + half);
    } else {
        const double middleLon = (x->min() + x->max()) / 2;
        const double half = northMetresPerPixel * area.width() / eastMetresPerDegree / 2;
        x->setRange(middleLon - half, middleLon + half);
    }
}

FlightPlot::~FlightPlot() = default;

void FlightPlot::render(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    scene_->render(&painter, QRectF(QPointF(0, 0), QSizeF(size_)), scene_->sceneRect());
}

QImage FlightPlot::image() {
    QImage picture(size_, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    render(painter);
    painter.end();
    return picture;
}

QPointF FlightPlot::trackPixel(double lat, double lon) const {
    return trackChart_->mapToPosition(QPointF(lon, lat), track_) + trackChart_->pos();
}

bool writeFlightPlot(const FlightLog& log, const QString& path, QSize size, std::string& error) {
    const bool svg = path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive);
    if (!svg && !path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        error = path.toStdString() + ": the picture is written as .png or .svg";
        return false;
    }
    // Made in memory first: the toolkit's writers do not tell why a file write failed.
    FlightPlot plot(log, size);
    QBuffer picture;
    picture.open(QIODevice::WriteOnly);
    if (svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&picture);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Flight ") + QString::fromStdString(log.path));
        QPainter painter;
        if (!painter.begin(&generator)) {
            error = path.toStdString() + " cannot be drawn";
            return false;
        }
        plot.render(painter);
        painter.end();
    } else if (!plot.image().save(&picture, "PNG")) {
        error = path.toStdString() + " cannot be encoded as PNG";
        return false;
    }
    return writeWholeFile(path.toStdString(), picture.data().constData(),
                          static_cast<std::size_t>(picture.data().size()), error);
}
