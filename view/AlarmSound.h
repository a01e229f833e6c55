#pragma once

struct ca_context;

// The desktop's warning sound through the freedesktop sound theme. Where there is no sound system
// (no audio device, no sound server, a headless machine) the sound is skipped without a word: the
// alarm is an addition to what the view shows, never a reason to fail. After one failed play the
// sound is not tried again. User-interface thread only.
class AlarmSound {
public:
    AlarmSound();
    ~AlarmSound();
    AlarmSound(const AlarmSound&) = delete;
    AlarmSound& operator=(const AlarmSound&) = delete;

    // Starts the theme's "dialog-warning" event and returns at once.
    void play();

private:
    ca_context* context_ = nullptr;
};
