#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>
#include <QString>
#include <functional>

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

// The face every dialog and message box is drawn with, named so that the same face is measured and
// drawn on every machine (the package brings it). Where it is missing, fontconfig's substitute is
// measured and drawn alike, and the layout widens until its texts fit.
inline constexpr const char* kDialogFace = "DejaVu Sans";
QFont dialogFont();

// The base units of one font, in pixels.
class DialogUnits {
public:
    // Width: the average advance of the 52 Latin letters, rounded; height: the font's line height.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }
    int toPixelsX(int units) const { return mulDiv(units, baseX_, 4); }
    int toPixelsY(int units) const { return mulDiv(units, baseY_, 8); }
    // The corners are converted, not the sizes, so that controls that meet in the template meet on
    // the screen, whatever the rounding.
    QRect rect(int x, int y, int width, int height) const {
        const int left = toPixelsX(x);
        const int top = toPixelsY(y);
        return QRect(left, top, toPixelsX(x + width) - left, toPixelsY(y + height) - top);
    }
    QRect rect(const QRect& inUnits) const {
        return rect(inUnits.x(), inUnits.y(), inUnits.width(), inUnits.height());
    }

    // The units a template dialog was laid out with (see layOutTemplateDialog).
    static DialogUnits of(const QDialog& dialog);

private:
    int baseX_;
    int baseY_;
};

// Gives a modeless dialog created from a template its caption, the dialogs' font and deletion when
// it closes (each command makes a new one; nothing refers to it afterwards).
void setUpTemplateDialog(QDialog& dialog, const QString& caption);

// Gives a control its place in the template, in dialog units; layOutTemplateDialog puts it there.
void setTemplateRect(QWidget& control, int x, int y, int width, int height);

// Puts every control of the dialog at its template place and sizes the dialog, in the units of the
// face the dialog is drawn with. `adjust` then places what does not follow its template rectangle
// alone (a picture that takes its bitmap's size, a closed combo box). Where a text would not fit
// its control in that face (its average letter understates the texts' own), the horizontal unit
// grows until every text fits. Returns the units used.
DialogUnits layOutTemplateDialog(QDialog& dialog, int widthUnits, int heightUnits,
                                 const std::function<void()>& adjust = {});

// How many pixels the text of the dialog that is shortest of room lacks: labels, button texts, group
// titles and the entries of editable combo boxes (a list box scrolls). 0 or less when each fits.
int textShortfall(const QDialog& dialog);

}  // namespace dialog_units
