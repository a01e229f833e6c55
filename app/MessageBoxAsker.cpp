#include "app/MessageBoxAsker.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "common/Notifier.h"

bool MessageBoxAsker::askToSend(const std::string& question) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle),
                    QString::fromStdString(question), QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton* send = box.addButton(QString::fromLatin1(kSendButtonText), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QString::fromLatin1(kCancelButtonText), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == send;
}
