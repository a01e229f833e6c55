#include "tools/mapgen/MapPicture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// A small generator of our own, so that the same seed draws the same map with any standard library.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform(double low, double high) {
        return low + (high - low) * static_cast<double>(next() >> 11) / 9007199254740992.0;
    }

private:
    std::uint64_t state_;
};

const QColor kBackground(243, 240, 226);
const QColor kField(226, 232, 186);
const QColor kWood(178, 208, 160);
const QColor kTree(132, 172, 118);
const QColor kWater(168, 204, 232);
const QColor kWaterEdge(96, 146, 196);
const QColor kRoad(255, 255, 255);
const QColor kRoadCasing(150, 140, 130);
const QColor kPath(160, 112, 70);
const QColor kGrid(60, 80, 130, 150);
const QColor kInk(30, 30, 40);

// An irregular closed outline around a centre.
QPolygonF blob(Random& random, QPointF centre, double radius, int corners) {
    QPolygonF outline;
    for (int i = 0; i < corners; ++i) {
        const double angle = 2 * std::numbers::pi * (i + random.uniform(-0.3, 0.3)) / corners;
        const double r = radius * random.uniform(0.65, 1.15);
        outline << centre + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    return outline;
}

// A wandering curve from one side of the picture to the other.
QPainterPath crossing(Random& random, double w, double h, bool acrossX) {
    auto at = [&](double along, double across) {
        return acrossX ? QPointF(along * w, across * h) : QPointF(across * w, along * h);
    };
    const QPointF start = at(-0.05, random.uniform(0.2, 0.8));
    QPointF pull = start + (at(0.12, 0) - at(0, 0));
    QPainterPath path(start);
    const int legs = 3;
    for (int i = 1; i <= legs; ++i) {
        const double end = -0.05 + 1.1 * i / legs;
        const QPointF next = at(end, random.uniform(0.15, 0.85));
        const QPointF before = at(end - 0.12, random.uniform(0.1, 0.9));
        path.cubicTo(pull, before, next);
        // Mirrored control points keep the curve smooth where two legs meet.
        pull = next * 2 - before;
    }
    return path;
}

void drawLandmarks(QPainter& painter, Random& random, double w, double h) {
    const double size = std::min(w, h);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        const bool wood = i % 3 == 2;
        const QPolygonF patch = blob(random, {random.uniform(0, w), random.uniform(0, h)},
                                     size * random.uniform(0.08, 0.18), wood ? 11 : 6);
        painter.setBrush(wood ? kWood : kField);
        painter.drawPolygon(patch);
        if (wood) {
            painter.setBrush(kTree);
            const QRectF box = patch.boundingRect();
            for (int t = 0; t < 25; ++t) {
                const QPointF tree(random.uniform(box.left(), box.right()),
                                   random.uniform(box.top(), box.bottom()));
                if (patch.containsPoint(tree, Qt::OddEvenFill))
                    painter.drawEllipse(tree, size * 0.008, size * 0.008);
            }
        }
    }

    const QPainterPath river = crossing(random, w, h, random.uniform(0, 1) < 0.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kWaterEdge, size * 0.035, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(river);
    painter.setPen(QPen(kWater, size * 0.028, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(river);

    const QRectF pond(random.uniform(0.15, 0.7) * w, random.uniform(0.15, 0.7) * h,
                      size * random.uniform(0.08, 0.14), size * random.uniform(0.05, 0.09));
    painter.setPen(QPen(kWaterEdge, std::max(1.0, size * 0.003)));
    painter.setBrush(kWater);
    painter.drawEllipse(pond);

    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const QPainterPath road = crossing(random, w, h, i == 0);
        painter.setPen(QPen(kRoadCasing, size * 0.016, Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(road);
        painter.setPen(QPen(kRoad, size * 0.011, Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(road);
    }
    for (int i = 0; i < 3; ++i) {
        QPainterPath path(QPointF(random.uniform(0, w), random.uniform(0, h)));
        for (int leg = 0; leg < 2; ++leg)
            path.quadTo(QPointF(random.uniform(0, w), random.uniform(0, h)),
                        QPointF(random.uniform(0, w), random.uniform(0, h)));
        painter.setPen(QPen(kPath, std::max(1.0, size * 0.004), Qt::DashLine, Qt::RoundCap));
        painter.drawPath(path);
    }
}

// Text on a pale box so that it reads over any landmark.
void label(QPainter& painter, const QString& text, QPointF anchor, Qt::Alignment align) {
    const QFontMetricsF metrics(painter.font());
    const QSizeF box(metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
    QPointF topLeft = anchor;
    if (align & Qt::AlignRight) topLeft.rx() -= box.width();
    if (align & Qt::AlignHCenter) topLeft.rx() -= box.width() / 2;
    if (align & Qt::AlignBottom) topLeft.ry() -= box.height();
    if (align & Qt::AlignVCenter) topLeft.ry() -= box.height() / 2;
    const QRectF rect(topLeft, box);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRect(rect);
    painter.setPen(kInk);
    painter.drawText(rect, Qt::AlignCenter, text);
}

void drawGrid(QPainter& painter, const MapCorners& c, int width, int height) {
    const double step =
        gridStep(std::max(c.lowerRightLon - c.upperLeftLon, c.upperLeftLat - c.lowerRightLat), 10);
    const int decimals = labelDecimals(step);
    painter.setPen(QPen(kGrid, 1.0));
    const auto lons = gridValues(c.upperLeftLon, c.lowerRightLon, step);
    const auto lats = gridValues(c.lowerRightLat, c.upperLeftLat, step);
    for (double lon : lons) {
        const double x = c.xOf(lon, width);
        painter.drawLine(QPointF(x, 0), QPointF(x, height));
    }
    for (double lat : lats) {
        const double y = c.yOf(lat, height);
        painter.drawLine(QPointF(0, y), QPointF(width, y));
    }
    const double inset = painter.font().pixelSize() * 2.2;
    for (double lon : lons)
        label(painter, QString::number(lon, 'f', decimals), {c.xOf(lon, width), inset},
              Qt::AlignHCenter | Qt::AlignTop);
    for (double lat : lats)
        label(painter, QString::number(lat, 'f', decimals), {4, c.yOf(lat, height)},
              Qt::AlignLeft | Qt::AlignVCenter);
}

void drawCorners(QPainter& painter, const MapCorners& c, int width, int height) {
    auto text = [](double lat, double lon) {
        return QString("%1, %2").arg(lat, 0, 'f', 6).arg(lon, 0, 'f', 6);
    };
    label(painter, text(c.upperLeftLat, c.upperLeftLon), {0, 0}, Qt::AlignLeft | Qt::AlignTop);
    label(painter, text(c.upperLeftLat, c.lowerRightLon), {double(width), 0}, Qt::AlignRight | Qt::AlignTop);
    label(painter, text(c.lowerRightLat, c.upperLeftLon), {0, double(height)},
          Qt::AlignLeft | Qt::AlignBottom);
    label(painter, text(c.lowerRightLat, c.lowerRightLon), {double(width), double(height)},
          Qt::AlignRight | Qt::AlignBottom);
}

void drawNorthArrow(QPainter& painter, int width, double unit) {
    const QPointF tip(width - unit * 4, unit * 4);
    const QPolygonF left{tip, tip + QPointF(-unit, unit * 3), tip + QPointF(0, unit * 2.3)};
    const QPolygonF right{tip, tip + QPointF(unit, unit * 3), tip + QPointF(0, unit * 2.3)};
    painter.setPen(QPen(kInk, 1.0));
    painter.setBrush(kInk);
    painter.drawPolygon(left);
    painter.setBrush(Qt::white);
    painter.drawPolygon(right);
    label(painter, "N", tip + QPointF(0, unit * 3.2), Qt::AlignHCenter | Qt::AlignTop);
}

void drawScaleBar(QPainter& painter, const MapCorners& c, int width, int height, double unit) {
    const double perPixel = metresPerPixel(c, width);
    const double metres = scaleBarMetres(perPixel, width);
    if (!(metres > 0)) return;
    const double length = metres / perPixel;
    const QPointF origin(unit * 2, height - unit * 4);
    painter.setPen(QPen(kInk, 1.0));
    for (int i = 0; i < 4; ++i) {
        painter.setBrush(i % 2 == 0 ? kInk : QColor(Qt::white));
        painter.drawRect(QRectF(origin + QPointF(length * i / 4, 0), QSizeF(length / 4, unit * 0.6)));
    }
    label(painter, "0", origin, Qt::AlignHCenter | Qt::AlignBottom);
    label(painter, QString("%1 m").arg(metres), origin + QPointF(length, 0),
          Qt::AlignHCenter | Qt::AlignBottom);
}

}  // namespace

QImage drawMapPicture(const MapCorners& corners, int width, int height, std::uint32_t seed) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(kBackground);
    QPainter painter(&picture);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    Random random(seed);
    drawLandmarks(painter, random, width, height);

    QFont font("DejaVu Sans");
    const double unit = std::max(4.0, std::min(width, height) / 60.0);
    font.setPixelSize(std::max(6, static_cast<int>(unit * 0.9)));
    painter.setFont(font);
    drawGrid(painter, corners, width, height);
    drawCorners(painter, corners, width, height);
    drawNorthArrow(painter, width, unit);
    drawScaleBar(painter, corners, width, height, unit);
    painter.end();
    return picture;
}

RgbImage toRgbImage(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    RgbImage image;
    image.width = rgb.width();
    image.height = rgb.height();
    const auto rowBytes = static_cast<std::size_t>(image.width) * 3;
    image.pixels.resize(rowBytes * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        const uchar* row = rgb.constScanLine(image.height - 1 - y);
        std::copy(row, row + rowBytes, image.pixels.begin() + static_cast<std::ptrdiff_t>(rowBytes * y));
    }
    return image;
}
