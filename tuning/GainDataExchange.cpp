#include "tuning/GainDataExchange.h"

#include <QLineEdit>
#include <optional>

#include "common/DialogNumbers.h"
#include "common/MessageBox.h"
#include "common/Notifier.h"

GainDataExchange::GainDataExchange(QWidget& dialog, bool saveAndValidate)
    : dialog_(dialog), saveAndValidate_(saveAndValidate) {}

void GainDataExchange::display(QLineEdit& box, double value) {
    if (!saveAndValidate_) box.setText(QString::fromStdString(formatDialogNumber(value)));
}

bool GainDataExchange::exchange(QLineEdit& box, double& value, double minimum, double maximum) {
    if (failed_) return false;
    if (!saveAndValidate_) {
        box.setText(QString::fromStdString(formatDialogNumber(value)));
        return true;
    }
    const std::optional<double> read = parseDialogNumber(box.text().toStdString());
    if (!read) {
        refuse(box, QString::fromLatin1(kEnterNumberPrompt));
        return false;
    }
    // Written so that "nan" fails as well.
    if (!(*read >= minimum && *read <= maximum)) {
        refuse(box, QString::fromLatin1(kEnterNumberBetweenPrompt)
                        .arg(QString::fromStdString(formatDialogNumber(minimum)),
                             QString::fromStdString(formatDialogNumber(maximum))));
        return false;
    }
    value = *read;
    return true;
}

void GainDataExchange::refuse(QLineEdit& box, const QString& prompt) {
    failed_ = true;
    showMessageBox(&dialog_, QString::fromLatin1(kApplicationTitle), prompt);
    box.setFocus(Qt::OtherFocusReason);
    box.selectAll();
}
