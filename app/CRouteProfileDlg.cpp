#include "app/CRouteProfileDlg.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kChartWidth = 720, kChartHeight = 300;
constexpr int kLeftMargin = 60, kRightMargin = 16, kTopMargin = 16, kBottomMargin = 36;
const QColor kGroundColour(150, 120, 80);
const QColor kRedLegColour(210, 30, 30);
const QColor kMarginColour(120, 90, 50);
const QColor kAltitudeColour(20, 90, 210);
const QColor kGapColour(160, 160, 160);

}  // namespace

ProfileChart::ProfileChart(QWidget* parent) : QWidget(parent) {
    setMinimumSize(kChartWidth, kChartHeight);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
}

void ProfileChart::showProfile(const RouteProfile& profile, HeightUnit unit) {
    profile_ = profile;
    unit_ = unit;
    update();
}

void ProfileChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plot(kLeftMargin, kTopMargin, width() - kLeftMargin - kRightMargin,
                      height() - kTopMargin - kBottomMargin);
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    if (profile_.samples.empty() || profile_.totalMetres <= 0) {
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("The route needs two waypoints or more"));
        return;
    }
    // Heights span the ground, the margin above it and the altitude, with a little room.
    double low = profile_.altitudeMetres, high = profile_.altitudeMetres;
    for (const ProfileSample& sample : profile_.samples) {
        if (!sample.ground.known()) continue;
        low = std::min(low, sample.ground.metres);
        high = std::max(high, sample.ground.metres + profile_.marginMetres);
    }
    const double room = std::max(10.0, (high - low) * 0.1);
    low -= room;
    high += room;
    const auto xOf = [&](double metres) {
        return plot.left() + plot.width() * metres / profile_.totalMetres;
    };
    const auto yOf = [&](double metres) {
        return plot.bottom() - plot.height() * (metres - low) / (high - low);
    };

    // Stretches without terrain.
    for (const TerrainGap& gap : profile_.gaps) {
        const QRectF band(xOf(gap.fromMetres), plot.top(),
                          std::max(1.0, xOf(gap.toMetres) - xOf(gap.fromMetres)), plot.height());
        painter.fillRect(band, QBrush(kGapColour, Qt::BDiagPattern));
    }
    // The ground of each leg, filled down to the chart's foot; red where the leg is too low.
    for (const ProfileLeg& leg : profile_.legs) {
        QPainterPath ground;
        QPainterPath marginLine;
        bool open = false;
        for (std::size_t i = leg.firstSample; i < leg.firstSample + leg.sampleCount; ++i) {
            const ProfileSample& sample = profile_.samples[i];
            if (!sample.ground.known()) {
                open = false;
                continue;
            }
            const QPointF point(xOf(sample.metres), yOf(sample.ground.metres));
            const QPointF above(point.x(), yOf(sample.ground.metres + profile_.marginMetres));
            if (!open) {
                ground.moveTo(point.x(), plot.bottom());
                marginLine.moveTo(above);
                open = true;
            } else {
                marginLine.lineTo(above);
            }
            ground.lineTo(point);
            const bool lastOfRun =
                i + 1 == leg.firstSample + leg.sampleCount || !profile_.samples[i + 1].ground.known();
            if (lastOfRun) ground.lineTo(point.x(), plot.bottom());
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(leg.red ? kRedLegColour : kGroundColour);
        painter.drawPath(ground);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kMarginColour, 1, Qt::DashLine));
        painter.drawPath(marginLine);
        // Where each leg begins, with its waypoint's number.
        painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        const double x = xOf(leg.startMetres);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + 3, plot.top() + 12), QString::number(leg.from + 1));
    }
    painter.setPen(QPen(kAltitudeColour, 2));
    const double altitudeY = yOf(profile_.altitudeMetres);
    painter.drawLine(QPointF(plot.left(), altitudeY), QPointF(plot.right(), altitudeY));

    painter.setPen(Qt::black);
    const QString unit = QLatin1String(unitName(unit_));
    for (const double metres : {low + room, profile_.altitudeMetres, high - room}) {
        painter.drawText(QRectF(0, yOf(metres) - 8, kLeftMargin - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(std::lround(toUnit(metres, unit_))) + QLatin1Char(' ') + unit);
    }
    painter.drawText(QRectF(plot.left(), plot.bottom() + 4, plot.width(), 16), Qt::AlignLeft,
                     QStringLiteral("0 km"));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 4, plot.width(), 16), Qt::AlignRight,
                     QString::number(profile_.totalMetres / 1000.0, 'f', 2) + QStringLiteral(" km"));
}

CRouteProfileDlg::CRouteProfileDlg(Inputs inputs, QWidget* parent)
    : QDialog(parent),
      inputs_(std::move(inputs)),
      chart_(new ProfileChart(this)),
      summary_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Route Profile"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chart_, 1);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summary_);
    connect(&timer_, &QTimer::timeout, this, &CRouteProfileDlg::refresh);
    timer_.start(kRefreshMs);
    refresh();
}

void CRouteProfileDlg::refresh() {
    std::vector<GeoPoint> route = inputs_.route();
    const bool moved = route.size() != route_.size() ||
                       !std::equal(route.begin(), route.end(), route_.begin(),
                                   [](GeoPoint a, GeoPoint b) { return a.lat == b.lat && a.lon == b.lon; });
    if (moved) {
        route_ = std::move(route);
        profile_ = sampleClosedRoute(route_);
    }
    const HeightUnit unit = inputs_.unit();
    judgeProfile(profile_, inputs_.heightAt, inputs_.altitudeMetres(), inputs_.marginMetres());
    chart_->showProfile(profile_, unit);
    QStringList lines;
    if (route_.size() < 2) lines << QStringLiteral("The route needs two waypoints or more.");
    char altitude[96];
    std::snprintf(altitude, sizeof altitude, "Altitude %.0f %s, margin %.0f %s",
                  toUnit(profile_.altitudeMetres, unit), unitName(unit), toUnit(profile_.marginMetres, unit),
                  unitName(unit));
    lines << QString::fromLatin1(altitude);
    int red = 0;
    for (const ProfileLeg& leg : profile_.legs) red += leg.red ? 1 : 0;
    if (red > 0) {
        lines << QString::number(red) +
                     (red == 1 ? QStringLiteral(" leg reaches") : QStringLiteral(" legs reach")) +
                     QStringLiteral(" within the margin of the altitude (red)");
    }
    for (const std::string& line : describeProfile(profile_, unit)) lines << QString::fromStdString(line);
    summary_->setText(lines.join(QLatin1Char('\n')));
}
