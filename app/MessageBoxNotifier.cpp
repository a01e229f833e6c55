#include "app/MessageBoxNotifier.h"

#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <QString>

#include <memory>
#include <thread>

#include "common/MessageBox.h"
#include "common/MessageLog.h"

namespace {

// The box also writes the text to standard error with the time.
void showBox(const std::string& caption, const std::string& text) {
    showMessageBox(nullptr, QString::fromStdString(caption), QString::fromStdString(text));
}

// The calling thread stays here until the process ends; it holds no lock.
[[noreturn]] void holdForGood() {
    for (;;) ::pause();
}

// One box asked for by another thread; shared, so that neither side outlives what it touches.
struct BoxRequest {
    bool closed = false;
};

}  // namespace

void MessageBoxNotifier::attach() {
    std::lock_guard lock(mutex_);
    state_ = State::showing;
    userInterfaceThread_ = std::this_thread::get_id();
}

void MessageBoxNotifier::detach() {
    std::lock_guard lock(mutex_);
    state_ = State::ended;
    changed_.notify_all();
}

void MessageBoxNotifier::showMessage(const std::string& caption, const std::string& text) {
    std::unique_lock lock(mutex_);
    const bool userInterfaceThread = std::this_thread::get_id() == userInterfaceThread_;
    if (state_ == State::notStarted || (state_ == State::ended && userInterfaceThread)) {
        lock.unlock();
        logMessage(caption, text);
        return;
    }
    if (state_ == State::ended) {
        lock.unlock();
        holdForGood();
    }
    if (userInterfaceThread) {
        lock.unlock();
        showBox(caption, text);
        return;
    }
    // Another thread (the telemetry receiver): wait here until the box is closed, so that a retry
    // loop behind the message cannot raise a flood of boxes. While the state is `showing` the
    // QApplication exists: detach, which comes before its end, waits for this lock.
    auto request = std::make_shared<BoxRequest>();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, request, caption, text] {
            {
                // Ended while the request was on its way: the caller is held, nothing is shown.
                std::lock_guard ending(mutex_);
                if (state_ == State::ended) return;
            }
            showBox(caption, text);
            std::lock_guard closing(mutex_);
            request->closed = true;
            changed_.notify_all();
        },
        Qt::QueuedConnection);
    changed_.wait(lock, [&] { return request->closed || state_ == State::ended; });
    if (!request->closed) {
        lock.unlock();
        holdForGood();
    }
}
