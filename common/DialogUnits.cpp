#include "common/DialogUnits.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <algorithm>

namespace dialog_units {

namespace {

constexpr const char* kTemplateRectProperty = "templateRect";
constexpr const char* kBaseUnitsProperty = "dialogBaseUnits";
// As the template asks.
constexpr int kDialogPointSize = 10;
// A line edit keeps this much room on either side of its text.
constexpr int kLineTextMargin = 2;
// However a face understates its texts, the dialog grows to at most this many times its width.
constexpr int kMostWidening = 2;

}  // namespace

QFont dialogFont() {
    QFont font(QString::fromLatin1(kDialogFace), kDialogPointSize);
    // Where the face is missing, a sans-serif stands in, as the template's face is one.
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
}

DialogUnits DialogUnits::of(const QDialog& dialog) {
    const QSize base = dialog.property(kBaseUnitsProperty).toSize();
    return base.isValid() ? DialogUnits(base.width(), base.height()) : DialogUnits(dialog.font());
}

void setUpTemplateDialog(QDialog& dialog, const QString& caption) {
    dialog.setAttribute(Qt::WA_DeleteOnClose);
    dialog.setModal(false);
    dialog.setWindowTitle(caption);
    dialog.setFont(dialogFont());
}

void setTemplateRect(QWidget& control, int x, int y, int width, int height) {
    control.setProperty(kTemplateRectProperty, QRect(x, y, width, height));
}

DialogUnits layOutTemplateDialog(QDialog& dialog, int widthUnits, int heightUnits,
                                 const std::function<void()>& adjust) {
    const DialogUnits own(dialog.font());
    DialogUnits units = own;
    for (;;) {
        for (QWidget* control : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QVariant inUnits = control->property(kTemplateRectProperty);
            if (inUnits.isValid()) control->setGeometry(units.rect(inUnits.toRect()));
        }
        if (adjust) adjust();
        if (textShortfall(dialog) <= 0 || units.baseX() >= kMostWidening * own.baseX()) break;
        units = DialogUnits(units.baseX() + 1, units.baseY());
    }
    dialog.setFixedSize(units.rect(0, 0, widthUnits, heightUnits).size());
    dialog.setProperty(kBaseUnitsProperty, QSize(units.baseX(), units.baseY()));
    return units;
}

int textShortfall(const QDialog& dialog) {
    int shortfall = 0;
    const auto need = [&shortfall](const QFont& font, const QString& text, int room) {
        shortfall = std::max(shortfall, QFontMetrics(font).horizontalAdvance(text) - room);
    };
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) need(label->font(), label->text(), label->contentsRect().width());
    }
    for (const QPushButton* button : dialog.findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        need(button->font(), QString(button->text()).remove(u'&'), room.width());
    }
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.lineWidth = 1;
        const QRect title =
            group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        need(group->font(), group->title(), title.width());
    }
    for (const QComboBox* combo : dialog.findChildren<QComboBox*>()) {
        if (!combo->isEditable()) continue;
        // Taken from the style: the box's own line is placed only when the dialog is shown.
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = true;
        option.frame = combo->hasFrame();
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i)
            need(combo->font(), combo->itemText(i), field.width() - 2 * kLineTextMargin);
    }
    return shortfall;
}

}  // namespace dialog_units
