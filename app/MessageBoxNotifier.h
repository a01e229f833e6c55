#pragma once

#include <string>

#include "common/Notifier.h"

// The application's notifier: a modal message box with the given caption and an OK button, always
// shown on the user-interface thread. A caller on another thread waits until the operator has
// closed the box; a caller on the user-interface thread shows it directly (a blocking hand-over to
// its own thread would deadlock). The text also goes to standard error with the time; without a
// running application object only there.
//
// Holds no Qt object, so the static application object can own one before Qt starts.
class MessageBoxNotifier : public Notifier {
public:
    void showMessage(const std::string& caption, const std::string& text) override;
};
