#include "tools/stress/ScreenshotCompare.h"

#include <cmath>
#include <vector>

QRect scenePixels(const SceneRect& rect, QSize size) {
    const double width = size.width();
    const double height = size.height();
    const auto column = [width](double x) { return (x + kSceneHalfWidth) / (2 * kSceneHalfWidth) * width; };
    const auto row = [height](double y) { return (kSceneHalfHeight - y) / (2 * kSceneHalfHeight) * height; };
    const int left = static_cast<int>(std::floor(column(rect.left)));
    const int right = static_cast<int>(std::ceil(column(rect.right)));
    const int top = static_cast<int>(std::floor(row(rect.top)));
    const int bottom = static_cast<int>(std::ceil(row(rect.bottom)));
    return QRect(QPoint(left, top), QPoint(right, bottom)).intersected(QRect(QPoint(0, 0), size));
}

namespace {

bool isBlank(const QImage& image) {
    const QRgb first = image.pixel(0, 0) & RGB_MASK;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & RGB_MASK) != first) return false;
        }
    }
    return true;
}

}  // namespace

ScreenComparison compareScreens(const QImage& first, const QImage& second, std::span<const SceneRect> masks) {
    ScreenComparison result;
    if (first.isNull() || second.isNull() || first.size() != second.size()) return result;
    result.sameSize = true;
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    result.bothBlank = isBlank(a) && isBlank(b);

    std::vector<QRect> hidden;
    for (const SceneRect& mask : masks) hidden.push_back(scenePixels(mask, a.size()));
    for (int y = 0; y < a.height(); ++y) {
        const auto* lineA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lineB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            bool inMask = false;
            for (const QRect& rect : hidden) inMask = inMask || rect.contains(x, y);
            if (inMask) {
                ++result.masked;
                continue;
            }
            if ((lineA[x] & RGB_MASK) == (lineB[x] & RGB_MASK)) continue;
            if (result.differing == 0) result.firstDifference = QPoint(x, y);
            ++result.differing;
        }
    }
    return result;
}

QImage differencePicture(const QImage& first, const QImage& second, std::span<const SceneRect> masks) {
    if (first.isNull() || first.size() != second.size()) return {};
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    QImage picture = a;
    for (const SceneRect& mask : masks) {
        const QRect pixels = scenePixels(mask, picture.size());
        for (int y = pixels.top(); y <= pixels.bottom(); ++y)
            for (int x = pixels.left(); x <= pixels.right(); ++x) picture.setPixel(x, y, qRgb(0, 0, 160));
    }
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & RGB_MASK) != (b.pixel(x, y) & RGB_MASK))
                picture.setPixel(x, y, qRgb(255, 0, 0));
    return picture;
}
