#pragma once

#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QWidget>

#include "common/DialogUnits.h"

// The text-fit tests run under more than one face: the test's registration names in
// ORVANE_TEXT_FIT_FACE a face that stands in for the dialogs' own (which fontconfig is then told is
// missing, as on a machine without it), or nothing for the dialogs' own face, which must be installed.
// Call from the test's initMain, before the application reads its fonts.
inline void standInTextFitFace() {
    const QString face = qEnvironmentVariable("ORVANE_TEXT_FIT_FACE");
    if (face.isEmpty()) return;
    static QTemporaryDir folder;  // lives until the test ends
    const QString path = folder.filePath(QStringLiteral("fonts.conf"));
    QFile file(path);
    const QByteArray config = QStringLiteral(R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont><pattern>
    <patelt name="family"><string>%1</string></patelt>
  </pattern></rejectfont></selectfont>
  <match target="pattern">
    <edit name="family" mode="prepend" binding="strong"><string>%2</string></edit>
  </match>
</fontconfig>
)")
                                  .arg(QString::fromLatin1(dialog_units::kDialogFace), face)
                                  .toUtf8();
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(config) != config.size() ||
        !file.flush())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    qputenv("FONTCONFIG_FILE", path.toLocal8Bit());
}

// The face a dialog is expected to be drawn with in this run.
inline QString expectedTextFitFace() {
    const QString face = qEnvironmentVariable("ORVANE_TEXT_FIT_FACE");
    return face.isEmpty() ? QString::fromLatin1(dialog_units::kDialogFace) : face;
}

// The face a widget is actually drawn with, without the foundry fontconfig may add ("Nimbus Sans [urw]").
inline QString drawnFace(const QWidget& widget) {
    const QString family = QFontInfo(widget.font()).family();
    const qsizetype foundry = family.indexOf(QStringLiteral(" ["));
    return foundry < 0 ? family : family.left(foundry);
}

// Measures every text of a dialog with the font in use against the room its control gives it:
// labels, button texts, group titles, the entries of combo and list boxes. A label or group title
// is also covered when another control (other than a group frame) lies over it. Returns one line
// per fault; empty when every text shows whole.
inline QStringList clippedTexts(QWidget& dialog) {
    QStringList faults;
    const auto fits = [&faults](const QString& what, const QFontMetrics& metrics, const QString& text,
                                const QRect& room) {
        const int width = metrics.horizontalAdvance(text);
        if (width > room.width() || metrics.height() > room.height())
            faults << QStringLiteral("%1 \"%2\" needs %3 x %4 px, has %5 x %6")
                          .arg(what, text)
                          .arg(width)
                          .arg(metrics.height())
                          .arg(room.width())
                          .arg(room.height());
    };
    const auto uncovered = [&faults, &dialog](const QString& text, const QWidget& owner,
                                              const QRect& textRect) {
        const QRect inDialog = textRect.translated(owner.pos());
        for (QWidget* other : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == &owner || !other->isVisible() || qobject_cast<QGroupBox*>(other)) continue;
            if (other->geometry().intersects(inDialog))
                faults << QStringLiteral("\"%1\" is covered by %2").arg(text, other->objectName());
        }
    };

    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;  // a picture
        const QFontMetrics metrics(label->font());
        fits(QStringLiteral("label"), metrics, label->text(), label->contentsRect());
        uncovered(label->text(), *label,
                  QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                      metrics.size(0, label->text()), label->contentsRect()));
    }
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->parentWidget() != &dialog) continue;  // the buttons of a box the dialog shows
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        fits(QStringLiteral("button"), QFontMetrics(button->font()), QString(button->text()).remove(u'&'),
             room);
    }
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        option.lineWidth = 1;
        const QRect title =
            group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        fits(QStringLiteral("group title"), QFontMetrics(group->font()), group->title(), title);
        uncovered(group->title(), *group, title);
    }
    for (QComboBox* combo : dialog.findChildren<QComboBox*>()) {
        // An editable box shows the entry in its line, inside the line's text margins.
        const QLineEdit* line = combo->lineEdit();
        if (line == nullptr) continue;
        constexpr int kLineTextMargin = 2;
        const QRect room = line->contentsRect().adjusted(kLineTextMargin, 0, -kLineTextMargin, 0);
        for (int i = 0; i < combo->count(); ++i)
            fits(QStringLiteral("combo entry"), QFontMetrics(line->font()), combo->itemText(i), room);
    }
    for (QListWidget* list : dialog.findChildren<QListWidget*>()) {
        for (int i = 0; i < list->count(); ++i) {
            const QRect row = list->visualItemRect(list->item(i));
            const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
            fits(QStringLiteral("list entry"), QFontMetrics(list->font()), list->item(i)->text(),
                 QRect(0, 0, list->viewport()->width() - 2 * margin, row.height()));
        }
    }
    return faults;
}
