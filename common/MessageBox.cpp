#include "common/MessageBox.h"

#include <QMessageBox>

#include "common/MessageLog.h"

void showMessageBox(QWidget* parent, const QString& caption, const QString& text) {
    logMessage(caption.toStdString(), text.toStdString());
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box.exec();
}
