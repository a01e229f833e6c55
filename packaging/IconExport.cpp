// Paints the installed icons from the program's own drawing: a scalable SVG and PNGs of the sizes
// the desktop asks for.
//   orvane-icon-export OUT.svg SIZE:OUT.png...
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgGenerator>

#include <charconv>
#include <cstdio>
#include <string_view>

#include "app/AppIcon.h"

namespace {

constexpr int kSvgSide = 64;
constexpr int kLargestSide = 1024;

bool writeSvg(const char* path) {
    QSvgGenerator svg;
    svg.setFileName(QString::fromLocal8Bit(path));
    svg.setSize(QSize(kSvgSide, kSvgSide));
    svg.setViewBox(QRect(0, 0, kSvgSide, kSvgSide));
    svg.setTitle(QStringLiteral("Orvane"));
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    drawApplicationIcon(painter, kSvgSide);
    return painter.end();
}

bool writePng(int side, const char* path) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawApplicationIcon(painter, side);
    painter.end();
    return image.save(QString::fromLocal8Bit(path), "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: orvane-icon-export OUT.svg [SIZE:OUT.png]...\n", stderr);
        return 2;
    }
    if (!writeSvg(argv[1])) {
        std::fprintf(stderr, "orvane-icon-export: cannot write %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const std::size_t colon = argument.find(':');
        int side = 0;
        const auto [end, error] = std::from_chars(argument.data(), argument.data() + colon, side);
        if (colon == std::string_view::npos || error != std::errc() || end != argument.data() + colon ||
            side < 1 || side > kLargestSide) {
            std::fprintf(stderr, "orvane-icon-export: not SIZE:FILE: %s\n", argv[i]);
            return 2;
        }
        if (!writePng(side, argv[i] + colon + 1)) {
            std::fprintf(stderr, "orvane-icon-export: cannot write %s\n", argv[i] + colon + 1);
            return 1;
        }
    }
    return 0;
}
