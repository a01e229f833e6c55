#pragma once

#include <string>

// How code without a window tells the operator something. The application connects it to modal
// message boxes shown on the user-interface thread (a caller on another thread waits until the box
// is closed); tests connect it to a recorder.
class Notifier {
public:
    virtual ~Notifier() = default;
    // Shows `text` in a box titled `caption` and returns when the operator has closed it.
    virtual void showMessage(const std::string& caption, const std::string& text) = 0;
};

// The caption of the application's own message boxes.
inline constexpr const char* kApplicationTitle = "Orvane";
