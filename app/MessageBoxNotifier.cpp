#include "app/MessageBoxNotifier.h"

#include <QApplication>
#include <QMetaObject>
#include <QString>
#include <QThread>

#include "common/MessageBox.h"
#include "common/MessageLog.h"

void MessageBoxNotifier::showMessage(const std::string& caption, const std::string& text) {
    const QString qCaption = QString::fromStdString(caption);
    const QString qText = QString::fromStdString(text);

    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || qobject_cast<QApplication*>(application) == nullptr) {
        logMessage(caption, text);
        return;
    }
    if (QThread::currentThread() == application->thread()) {
        showMessageBox(nullptr, qCaption, qText);
        return;
    }
    // Another thread (the telemetry receiver): wait here until the box is closed, so that a retry
    // loop behind the message cannot raise a flood of boxes.
    QMetaObject::invokeMethod(
        application, [&qCaption, &qText] { showMessageBox(nullptr, qCaption, qText); },
        Qt::BlockingQueuedConnection);
}
