#include "app/MessageBoxNotifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QString>
#include <QThread>

#include <cstdio>

namespace {

void showBox(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

void MessageBoxNotifier::showMessage(const std::string& caption, const std::string& text) {
    const QString qCaption = QString::fromStdString(caption);
    const QString qText = QString::fromStdString(text);

    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || qobject_cast<QApplication*>(application) == nullptr) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return;
    }
    if (QThread::currentThread() == application->thread()) {
        showBox(qCaption, qText);
        return;
    }
    // Another thread (the telemetry receiver): wait here until the box is closed, so that a retry
    // loop behind the message cannot raise a flood of boxes.
    QMetaObject::invokeMethod(
        application, [&qCaption, &qText] { showBox(qCaption, qText); }, Qt::BlockingQueuedConnection);
}
