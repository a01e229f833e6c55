#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "common/Notifier.h"

// The application's notifier: a modal message box with the given caption and an OK button, always
// shown on the user-interface thread. A caller on another thread waits until the operator has
// closed the box; a caller on the user-interface thread shows it directly (a blocking hand-over to
// its own thread would deadlock). The text also goes to standard error with the time.
//
// Boxes are shown only between attach and detach, while the QApplication lives; before that the
// text goes to standard error only. After detach a caller on another thread (the telemetry receiver, which is
// never stopped) is held for good, so that it never reaches the application, or anything else that
// is being destroyed, while the program ends.
//
// Holds no Qt object, so the static application object can own one before Qt starts.
class MessageBoxNotifier : public Notifier {
public:
    void showMessage(const std::string& caption, const std::string& text) override;

    // The QApplication exists: boxes can be shown. User-interface thread.
    void attach();
    // The QApplication is about to go: releases a caller that still waits for its box (which will
    // never be shown) and holds it and every later caller from another thread. User-interface
    // thread, after the event loop has ended.
    void detach();

    // Attaches for the life of one scope: made after the QApplication, ended before it.
    class Attachment {
    public:
        explicit Attachment(MessageBoxNotifier& notifier) : notifier_(notifier) { notifier_.attach(); }
        ~Attachment() { notifier_.detach(); }
        Attachment(const Attachment&) = delete;
        Attachment& operator=(const Attachment&) = delete;

    private:
        MessageBoxNotifier& notifier_;
    };

private:
    enum class State { notStarted, showing, ended };

    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::notStarted;
    std::thread::id userInterfaceThread_;
};
