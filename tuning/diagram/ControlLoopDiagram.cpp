// Paints bitmap 139 of the Control Gain window: the block diagram of the on-board controller's
// three nested loops. Run at build time; the picture is the project's own drawing.
//
//   usage: orvane_control_loop_diagram <output.png>

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 305;
constexpr int kHeight = 117;

// Few colours, so that the picture keeps to a small palette.
const QColor kPaper(255, 255, 255);
const QColor kInk(0, 0, 0);
const QColor kBlockFill(214, 228, 247);
const QColor kPlantFill(250, 232, 200);
const QColor kFeedback(0, 0, 160);
const QColor kCaption(128, 0, 0);

constexpr double kSignalY = 30;  // the forward path
constexpr double kJunctionRadius = 5;

struct Block {
    QRectF box;
    const char* top;
    const char* bottom;
    const QColor& fill;
};

void arrowHead(QPainter& painter, QPointF tip, QPointF direction, const QColor& colour) {
    const QPointF back = tip - direction * 5.0;
    const QPointF side(-direction.y() * 2.5, direction.x() * 2.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(QPolygonF({tip, back + side, back - side}));
}

// A line from `from` to `to` ending in an arrow head; horizontal or vertical only.
void arrow(QPainter& painter, QPointF from, QPointF to, const QColor& colour) {
    painter.setPen(QPen(colour, 1));
    painter.drawLine(from, to);
    QPointF direction = to - from;
    const double length = std::abs(direction.x()) + std::abs(direction.y());
    if (length > 0) arrowHead(painter, to, direction / length, colour);
}

void block(QPainter& painter, const Block& b) {
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(b.fill);
    painter.drawRect(b.box);
    painter.setPen(kInk);
    if (b.bottom) {
        painter.drawText(b.box.adjusted(0, 1, 0, -b.box.height() / 2), Qt::AlignCenter,
                         QString::fromLatin1(b.top));
        painter.drawText(b.box.adjusted(0, b.box.height() / 2 - 1, 0, 0), Qt::AlignCenter,
                         QString::fromLatin1(b.bottom));
    } else {
        painter.drawText(b.box, Qt::AlignCenter, QString::fromLatin1(b.top));
    }
}

// A summing junction: reference in from the left (+), feedback up from below (-).
void junction(QPainter& painter, double x) {
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(kPaper);
    painter.drawEllipse(QPointF(x, kSignalY), kJunctionRadius, kJunctionRadius);
    painter.drawLine(QPointF(x - 3, kSignalY - 3), QPointF(x + 3, kSignalY + 3));
    painter.drawLine(QPointF(x - 3, kSignalY + 3), QPointF(x + 3, kSignalY - 3));
    painter.drawText(QRectF(x - 12, kSignalY - 14, 8, 8), Qt::AlignCenter, QStringLiteral("+"));
    painter.drawText(QRectF(x + 3, kSignalY + 5, 8, 8), Qt::AlignCenter, QStringLiteral("\u2212"));
}

// A feedback path: down from the tap on the forward path, back left under the loop, up into the
// junction at `junctionX`.
void feedback(QPainter& painter, double tapX, double tapY, double depth, double junctionX,
              const char* label) {
    painter.setPen(QPen(kFeedback, 1));
    painter.setBrush(kFeedback);
    painter.drawEllipse(QPointF(tapX, tapY), 1.5, 1.5);
    painter.drawLine(QPointF(tapX, tapY), QPointF(tapX, depth));
    painter.drawLine(QPointF(tapX, depth), QPointF(junctionX, depth));
    arrow(painter, QPointF(junctionX, depth), QPointF(junctionX, kSignalY + kJunctionRadius), kFeedback);
    painter.setPen(kFeedback);
    painter.drawText(QRectF(junctionX + 6, depth - 10, tapX - junctionX - 12, 9), Qt::AlignCenter,
                     QString::fromLatin1(label));
}

QImage paintDiagram() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(kPaper);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(8);
    painter.setFont(font);

    const double outerJunction = 16;
    const double middleJunction = 76;
    const double innerJunction = 136;
    const Block outer{QRectF(26, 20, 40, 20), "Outer", "PID", kBlockFill};
    const Block middle{QRectF(86, 20, 40, 20), "Middle", "PID", kBlockFill};
    const Block inner{QRectF(146, 20, 40, 20), "Inner", "PID", kBlockFill};
    const Block actuators{QRectF(196, 20, 40, 20), "Actuators", nullptr, kPlantFill};
    const Block vehicle{QRectF(246, 16, 46, 28), "Vehicle", "dynamics", kPlantFill};

    // Forward path: reference, three compensators, the actuators, the vehicle, the output.
    painter.setPen(kInk);
    painter.drawText(QRectF(1, kSignalY - 11, 9, 9), Qt::AlignCenter, QStringLiteral("r"));
    arrow(painter, QPointF(1, kSignalY), QPointF(outerJunction - kJunctionRadius, kSignalY), kInk);
    arrow(painter, QPointF(outerJunction + kJunctionRadius, kSignalY), QPointF(outer.box.left(), kSignalY),
          kInk);
    arrow(painter, QPointF(outer.box.right(), kSignalY), QPointF(middleJunction - kJunctionRadius, kSignalY),
          kInk);
    arrow(painter, QPointF(middleJunction + kJunctionRadius, kSignalY), QPointF(middle.box.left(), kSignalY),
          kInk);
    arrow(painter, QPointF(middle.box.right(), kSignalY), QPointF(innerJunction - kJunctionRadius, kSignalY),
          kInk);
    arrow(painter, QPointF(innerJunction + kJunctionRadius, kSignalY), QPointF(inner.box.left(), kSignalY),
          kInk);
    arrow(painter, QPointF(inner.box.right(), kSignalY), QPointF(actuators.box.left(), kSignalY), kInk);
    arrow(painter, QPointF(actuators.box.right(), kSignalY), QPointF(vehicle.box.left(), kSignalY), kInk);
    arrow(painter, QPointF(vehicle.box.right(), kSignalY), QPointF(kWidth - 1, kSignalY), kInk);

    for (const Block* b : {&outer, &middle, &inner, &actuators, &vehicle}) block(painter, *b);
    for (const double x : {outerJunction, middleJunction, innerJunction}) junction(painter, x);

    // The loops nest: the inner one closes around the fastest states, the outer one around the
    // slowest, so their feedback paths never cross.
    feedback(painter, 262, vehicle.box.bottom(), 58, innerJunction, "inner loop: body rates");
    feedback(painter, 281, vehicle.box.bottom(), 75, middleJunction, "middle loop: attitude");
    feedback(painter, 299, kSignalY, 92, outerJunction, "outer loop: altitude, heading, track");

    painter.setPen(kCaption);
    QFont captionFont = font;
    captionFont.setBold(true);
    painter.setFont(captionFont);
    painter.drawText(QRectF(0, 101, kWidth, 14), Qt::AlignCenter,
                     QStringLiteral("Nested control loops: compensator gains P, I, D per loop"));
    painter.end();
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    // Painting text needs a font database but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    // A line drawing needs no more than a 256-colour palette.
    const QImage picture = paintDiagram().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
