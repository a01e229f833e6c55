#include "tools/cockpit/FlightDisplayPainter.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <algorithm>
#include <cmath>

namespace {

using namespace flight_display;

// Layout in the 800 x 600 design frame.
const QPointF kAttitudeCentre{400, 270};
const QRectF kAttitudeBox{220, 120, 360, 300};
const QRectF kAirspeedTape{120, 120, 80, 300};
const QRectF kAltitudeTape{600, 120, 90, 300};
const QRectF kHeadingTape{220, 440, 360, 36};
constexpr double kPixelsPerPitchDegree = 5.0;
constexpr double kBankArcRadius = 130.0;
constexpr double kAirspeedPixelsPerUnit = 5.0;
constexpr double kAltitudePixelsPerUnit = 1.5;
constexpr double kHeadingPixelsPerDegree = 6.0;

const QColor kPanel{24, 24, 28};
const QColor kTapeBackground{70, 70, 78};
const QColor kWhite{240, 240, 240};
const QColor kSymbol{255, 200, 0};
const QColor kReadout{0, 230, 120};

// Values beyond these cannot be flown; clamping also keeps every tape loop short.
constexpr double kMaxShownAirspeed = 9999.0;
constexpr double kMaxShownAltitude = 999999.0;

QFont displayFont(double pixelSize, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    font.setBold(bold);
    return font;
}

QPen whitePen(double width) {
    return QPen(kWhite, width, Qt::SolidLine, Qt::FlatCap);
}

void drawAttitude(QPainter& painter, double pitch, double roll) {
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(kAttitudeBox, 12, 12);
    painter.setClipPath(clip);
    painter.translate(kAttitudeCentre);
    // Rolling right turns the world to the left; pitching up moves it down.
    painter.rotate(-roll);
    painter.translate(0, pitch * kPixelsPerPitchDegree);

    constexpr double kFar = 1500;  // covers the box at any roll and pitch within +-90
    painter.fillRect(QRectF(-kFar, -kFar, 2 * kFar, kFar), kSky);
    painter.fillRect(QRectF(-kFar, 0, 2 * kFar, kFar), kGround);
    painter.setPen(whitePen(2));
    painter.drawLine(QPointF(-kFar, 0), QPointF(kFar, 0));

    // The ladder every 5 degrees, labelled every 10; only the rungs near the current pitch.
    painter.setFont(displayFont(13, true));
    for (int degrees = -90; degrees <= 90; degrees += 5) {
        if (degrees == 0 || std::abs(degrees - pitch) > 24) continue;
        const bool major = degrees % 10 == 0;
        const double halfWidth = major ? 50 : 22;
        const double y = -degrees * kPixelsPerPitchDegree;
        QPen pen = whitePen(2);
        if (degrees < 0) pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.drawLine(QPointF(-halfWidth, y), QPointF(halfWidth, y));
        if (!major) continue;
        const QString label = QString::number(std::abs(degrees));
        painter.drawText(QRectF(-halfWidth - 36, y - 10, 32, 20), Qt::AlignRight | Qt::AlignVCenter, label);
        painter.drawText(QRectF(halfWidth + 4, y - 10, 32, 20), Qt::AlignLeft | Qt::AlignVCenter, label);
    }
    painter.restore();
}

void drawBankScale(QPainter& painter, double roll) {
    painter.save();
    painter.translate(kAttitudeCentre);
    painter.setPen(whitePen(2));
    painter.setBrush(Qt::NoBrush);
    const QRectF circle(-kBankArcRadius, -kBankArcRadius, 2 * kBankArcRadius, 2 * kBankArcRadius);
    painter.drawArc(circle, 30 * 16, 120 * 16);  // 60 degrees either side of straight up
    for (int bank : {10, 20, 30, 45, 60}) {
        const double length = (bank == 30 || bank == 60) ? 16 : 9;
        for (int side : {-1, 1}) {
            painter.save();
            painter.rotate(side * bank);
            painter.drawLine(QPointF(0, -kBankArcRadius), QPointF(0, -kBankArcRadius - length));
            painter.restore();
        }
    }
    // The fixed zero mark above the arc, and the pointer that turns with the horizon.
    painter.setBrush(kWhite);
    painter.drawPolygon(QPolygonF(
        {QPointF(0, -kBankArcRadius), QPointF(-8, -kBankArcRadius - 14), QPointF(8, -kBankArcRadius - 14)}));
    painter.rotate(-roll);
    painter.setBrush(kSymbol);
    painter.setPen(QPen(kSymbol, 1));
    painter.drawPolygon(QPolygonF({QPointF(0, -kBankArcRadius + 2), QPointF(-9, -kBankArcRadius + 16),
                                   QPointF(9, -kBankArcRadius + 16)}));
    painter.restore();
}

void drawAircraftSymbol(QPainter& painter) {
    painter.save();
    painter.translate(kAttitudeCentre);
    QPen pen(kSymbol, 5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({QPointF(-120, 0), QPointF(-50, 0), QPointF(-50, 14)}));
    painter.drawPolyline(QPolygonF({QPointF(120, 0), QPointF(50, 0), QPointF(50, 14)}));
    painter.fillRect(QRectF(-5, -5, 10, 10), kSymbol);
    painter.restore();
}

// A vertical tape scrolling under a fixed readout box at its middle.
struct TapeStyle {
    int tickStep;
    int labelStep;
    double pixelsPerUnit;
    bool ticksOnRight;
};

void drawVerticalTape(QPainter& painter, const QRectF& tape, const TapeStyle& style,
                      std::optional<double> value) {
    painter.save();
    painter.fillRect(tape, kTapeBackground);
    painter.setPen(whitePen(1));
    painter.drawRect(tape);
    const double centreY = tape.center().y();
    const QRectF readout(tape.left() - 8, centreY - 16, tape.width() + 16, 32);
    if (value) {
        painter.setClipRect(tape);
        painter.setFont(displayFont(13));
        painter.setPen(whitePen(2));
        const double halfRange = tape.height() / 2 / style.pixelsPerUnit;
        const auto first = static_cast<long long>(std::floor((*value - halfRange) / style.tickStep));
        const auto last = static_cast<long long>(std::ceil((*value + halfRange) / style.tickStep));
        for (long long index = first; index <= last; ++index) {
            const long long mark = index * style.tickStep;
            const double y = centreY - (static_cast<double>(mark) - *value) * style.pixelsPerUnit;
            const bool labelled = mark % style.labelStep == 0;
            const double length = labelled ? 14 : 8;
            const double edge = style.ticksOnRight ? tape.right() : tape.left();
            const double inward = style.ticksOnRight ? -length : length;
            painter.drawLine(QPointF(edge, y), QPointF(edge + inward, y));
            if (labelled) {
                const QRectF text(tape.left() + 4, y - 9, tape.width() - 22, 18);
                painter.drawText(text.translated(style.ticksOnRight ? 0 : 14, 0),
                                 (style.ticksOnRight ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                                 QString::number(mark));
            }
        }
        painter.setClipping(false);
    }
    painter.fillRect(readout, Qt::black);
    painter.setPen(whitePen(2));
    painter.drawRect(readout);
    painter.setPen(kReadout);
    painter.setFont(displayFont(20, true));
    const QString text = value ? QString::number(std::llround(*value)) : QStringLiteral("---");
    painter.drawText(readout, Qt::AlignCenter, text);
    painter.restore();
}

QString headingText(long long degrees) {
    return QStringLiteral("%1").arg(degrees, 3, 10, QLatin1Char('0'));
}

void drawHeadingTape(QPainter& painter, std::optional<double> heading) {
    painter.save();
    painter.fillRect(kHeadingTape, kTapeBackground);
    painter.setPen(whitePen(1));
    painter.drawRect(kHeadingTape);
    const double centreX = kHeadingTape.center().x();
    if (heading) {
        painter.setClipRect(kHeadingTape);
        painter.setPen(whitePen(2));
        painter.setFont(displayFont(13));
        const double halfRange = kHeadingTape.width() / 2 / kHeadingPixelsPerDegree;
        const auto first = static_cast<long long>(std::floor((*heading - halfRange) / 5));
        const auto last = static_cast<long long>(std::ceil((*heading + halfRange) / 5));
        for (long long index = first; index <= last; ++index) {
            const long long mark = index * 5;
            const double x = centreX + (static_cast<double>(mark) - *heading) * kHeadingPixelsPerDegree;
            const bool labelled = mark % 10 == 0;
            painter.drawLine(QPointF(x, kHeadingTape.top()),
                             QPointF(x, kHeadingTape.top() + (labelled ? 12 : 7)));
            if (!labelled) continue;
            const long long wrapped = ((mark % 360) + 360) % 360;
            QString label = headingText(wrapped);
            if (wrapped == 0) label = QStringLiteral("N");
            if (wrapped == 90) label = QStringLiteral("E");
            if (wrapped == 180) label = QStringLiteral("S");
            if (wrapped == 270) label = QStringLiteral("W");
            painter.drawText(QRectF(x - 20, kHeadingTape.top() + 13, 40, 20), Qt::AlignCenter, label);
        }
        painter.setClipping(false);
    }
    // The lubber line above the tape and the readout below it.
    painter.setPen(QPen(kSymbol, 1));
    painter.setBrush(kSymbol);
    const double top = kHeadingTape.top();
    painter.drawPolygon(
        QPolygonF({QPointF(centreX, top + 8), QPointF(centreX - 7, top - 4), QPointF(centreX + 7, top - 4)}));
    const QRectF readout(centreX - 38, kHeadingTape.bottom() + 4, 76, 30);
    painter.setBrush(Qt::NoBrush);
    painter.fillRect(readout, Qt::black);
    painter.setPen(whitePen(2));
    painter.drawRect(readout);
    painter.setPen(kReadout);
    painter.setFont(displayFont(20, true));
    QString text = QStringLiteral("---");
    if (heading) text = headingText(std::llround(*heading) % 360);
    painter.drawText(readout, Qt::AlignCenter, text);
    painter.restore();
}

void drawLabels(QPainter& painter) {
    painter.setPen(kWhite);
    painter.setFont(displayFont(15, true));
    painter.drawText(QRectF(kAirspeedTape.left(), 92, kAirspeedTape.width(), 22), Qt::AlignCenter,
                     QStringLiteral("IAS"));
    painter.drawText(QRectF(kAltitudeTape.left(), 92, kAltitudeTape.width(), 22), Qt::AlignCenter,
                     QStringLiteral("ALT"));
    painter.drawText(QRectF(kHeadingTape.left() - 60, kHeadingTape.bottom() + 8, 50, 22),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("HDG"));
}

void drawNoData(QPainter& painter) {
    painter.save();
    QPainterPath box;
    box.addRoundedRect(kAttitudeBox, 12, 12);
    painter.fillPath(box, kNoDataBackground);
    const QRectF banner(kAttitudeCentre.x() - 130, kAttitudeCentre.y() - 40, 260, 80);
    painter.setPen(QPen(kWarning, 4));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(banner);
    painter.setFont(displayFont(44, true));
    painter.drawText(banner, Qt::AlignCenter, QStringLiteral("NO DATA"));
    painter.restore();
}

void drawFooter(QPainter& painter, const FlightDisplayFrame& frame, bool showRates) {
    painter.setFont(displayFont(14));
    if (showRates) {
        const CockpitReading& reading = *frame.reading;
        painter.setPen(kReadout);
        painter.drawText(QRectF(40, 522, 720, 22), Qt::AlignCenter,
                         QStringLiteral("RATES  roll %1  pitch %2  yaw %3  deg/s")
                             .arg(reading.rollRate, 0, 'f', 1)
                             .arg(reading.pitchRate, 0, 'f', 1)
                             .arg(reading.yawRate, 0, 'f', 1));
    }
    painter.setPen(frame.linkFailed ? kWarning : QColor(160, 160, 160));
    painter.drawText(QRectF(20, 566, 760, 22), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("%1   packets %2   refused %3")
                         .arg(frame.linkText)
                         .arg(frame.acceptedPackets)
                         .arg(frame.refusedPackets));
}

}  // namespace

void paintFlightDisplay(QPainter& painter, QSize size, const FlightDisplayFrame& frame) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRect(QPoint(0, 0), size), kPanel);
    const double scale = std::min(size.width() / double(kDesignWidth), size.height() / double(kDesignHeight));
    painter.translate((size.width() - kDesignWidth * scale) / 2, (size.height() - kDesignHeight * scale) / 2);
    painter.scale(scale, scale);

    const bool live = frame.dataCurrent && frame.reading.has_value();
    std::optional<double> airspeed;
    std::optional<double> altitude;
    std::optional<double> heading;
    if (live) {
        const CockpitReading& reading = *frame.reading;
        const double pitch = std::clamp(reading.pitch, -90.0, 90.0);
        const double roll = std::remainder(reading.roll, 360.0);
        drawAttitude(painter, pitch, roll);
        drawBankScale(painter, roll);
        airspeed = std::clamp(reading.airspeed, -kMaxShownAirspeed, kMaxShownAirspeed);
        altitude = std::clamp(reading.altitude, -kMaxShownAltitude, kMaxShownAltitude);
        double wrapped = std::fmod(reading.heading, 360.0);
        if (wrapped < 0) wrapped += 360.0;
        heading = wrapped;
        drawAircraftSymbol(painter);
    } else {
        drawNoData(painter);
    }
    drawVerticalTape(painter, kAirspeedTape, TapeStyle{5, 10, kAirspeedPixelsPerUnit, true}, airspeed);
    drawVerticalTape(painter, kAltitudeTape, TapeStyle{10, 50, kAltitudePixelsPerUnit, false}, altitude);
    drawHeadingTape(painter, heading);
    drawLabels(painter);
    drawFooter(painter, frame, live);
    painter.restore();
}
