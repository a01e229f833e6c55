#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>
#include <QString>

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

// Gives a modeless dialog created from a template its caption, the template's font and size, and
// deletion when it closes (each command makes a new one; nothing refers to it afterwards).
inline void setUpTemplateDialog(QDialog& dialog, const QString& caption, int widthUnits, int heightUnits) {
    dialog.setAttribute(Qt::WA_DeleteOnClose);
    dialog.setModal(false);
    dialog.setWindowTitle(caption);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(10);
    dialog.setFont(font);
    dialog.setFixedSize(dialogRect(0, 0, widthUnits, heightUnits).size());
}

}  // namespace dialog_units
