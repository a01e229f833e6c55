#pragma once

#include <string>

#include "common/SendAsker.h"

// The application's asker: a modal question box titled with the application's title, with Send and
// Cancel; Cancel is the default, so that Enter or Escape alone never sends. User-interface thread
// only (the uploads run there). Holds no Qt object, so the static application object can own one.
class MessageBoxAsker : public SendAsker {
public:
    bool askToSend(const std::string& question) override;
};

// The texts of the two buttons.
inline constexpr const char* kSendButtonText = "&Send";
inline constexpr const char* kCancelButtonText = "Cancel";
