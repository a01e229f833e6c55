#pragma once

#include <QRect>

// The dialogs are laid out in dialog units of a 10-point Tahoma face at 96 dpi, whose base units
// are 7 x 16 pixels; positions convert as a dialog template's do, rounded half away from zero.
namespace dialog_units {

inline constexpr int kBaseUnitX = 7;
inline constexpr int kBaseUnitY = 16;

// number x numerator / denominator, rounded half away from zero.
constexpr int mulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

constexpr int toPixelsX(int units) {
    return mulDiv(units, kBaseUnitX, 4);
}
constexpr int toPixelsY(int units) {
    return mulDiv(units, kBaseUnitY, 8);
}

inline QRect dialogRect(int x, int y, int width, int height) {
    return QRect(toPixelsX(x), toPixelsY(y), toPixelsX(width), toPixelsY(height));
}

}  // namespace dialog_units
