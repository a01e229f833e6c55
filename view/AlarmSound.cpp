#include "view/AlarmSound.h"

#include <canberra.h>

namespace {
constexpr const char* kWarningEvent = "dialog-warning";
}  // namespace

AlarmSound::AlarmSound() {
    if (ca_context_create(&context_) != CA_SUCCESS) context_ = nullptr;
}

AlarmSound::~AlarmSound() {
    if (context_) ca_context_destroy(context_);
}

void AlarmSound::play() {
    if (!context_) return;
    const int result = ca_context_play(context_, 0, CA_PROP_EVENT_ID, kWarningEvent,
                                       CA_PROP_EVENT_DESCRIPTION, "Orvane alarm: link or GPS lost", nullptr);
    // Without a device (or the theme's sound) this machine cannot play the alarm, and asking again
    // every ten seconds would only repeat the sound system's complaints on the terminal.
    if (result != CA_SUCCESS) {
        ca_context_destroy(context_);
        context_ = nullptr;
    }
}
