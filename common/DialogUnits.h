#pragma once

#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

// The dialogs are laid out in dialog units, as their templates give them: a horizontal unit is a
// quarter of the dialog font's average character width and a vertical unit an eighth of its
// height. The base units are taken from the face the dialog is actually drawn with (the template's
// Tahoma is seldom installed, and another face under Tahoma's 7 x 16 clips the labels), so that
// every text fits its control as in the template. Positions round half away from zero.
namespace dialog_units {

// number x numerator / denominator, rounded half away from zero.
constexpr int mulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// The base units of one font, in pixels.
class DialogUnits {
public:
    // Width: the average advance of the 52 Latin letters, rounded; height: the font's line height.
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const int letters =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX_ = (letters / 26 + 1) / 2;
        baseY_ = metrics.height();
    }

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }
    int toPixelsX(int units) const { return mulDiv(units, baseX_, 4); }
    int toPixelsY(int units) const { return mulDiv(units, baseY_, 8); }
    QRect rect(int x, int y, int width, int height) const {
        return QRect(toPixelsX(x), toPixelsY(y), toPixelsX(width), toPixelsY(height));
    }

private:
    int baseX_;
    int baseY_;
};

// Gives a modeless dialog created from a template its caption, the template's font and size, and
// deletion when it closes (each command makes a new one; nothing refers to it afterwards). Returns
// the units of the font the dialog is drawn with, for placing its controls.
inline DialogUnits setUpTemplateDialog(QDialog& dialog, const QString& caption, int widthUnits,
                                       int heightUnits) {
    dialog.setAttribute(Qt::WA_DeleteOnClose);
    dialog.setModal(false);
    dialog.setWindowTitle(caption);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(10);
    dialog.setFont(font);
    const DialogUnits units(dialog.font());
    dialog.setFixedSize(units.rect(0, 0, widthUnits, heightUnits).size());
    return units;
}

}  // namespace dialog_units
