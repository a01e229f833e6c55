#pragma once

#include <string>

// How code without a window asks the operator whether to send something. The application shows a
// modal message box with Send and Cancel on the user-interface thread; tests answer themselves.
class SendAsker {
public:
    virtual ~SendAsker() = default;
    // Shows `question` and returns true when the operator chose Send (Cancel, or closing the box,
    // is false).
    virtual bool askToSend(const std::string& question) = 0;
};
