#include "record/ReplayClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

std::int64_t ReplayClock::steadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ReplayClock::ReplayClock(std::int64_t startMicros, std::int64_t endMicros, MicrosecondClock clock)
    : clock_(std::move(clock)),
      start_(startMicros),
      end_(std::max(startMicros, endMicros)),
      anchorPosition_(startMicros),
      anchorWall_(clock_()) {}

std::int64_t ReplayClock::position() {
    if (!playing_) return anchorPosition_;
    const std::int64_t now = clock_();
    const double advanced = std::round(static_cast<double>(now - anchorWall_) * speed());
    const double at = static_cast<double>(anchorPosition_) + advanced;
    const bool forward = speed() > 0;
    if (forward ? at >= static_cast<double>(end_) : at <= static_cast<double>(start_)) {
        anchorPosition_ = forward ? end_ : start_;
        anchorWall_ = now;
        playing_ = false;
        return anchorPosition_;
    }
    return static_cast<std::int64_t>(at);
}

bool ReplayClock::playing() {
    position();  // an end reached since the last look pauses the replay
    return playing_;
}

void ReplayClock::reanchor() {
    anchorPosition_ = position();
    anchorWall_ = clock_();
}

void ReplayClock::play() {
    reanchor();
    // Playing on from an end the replay cannot move away from starts it over from the other end.
    if (speed() > 0 && anchorPosition_ >= end_) anchorPosition_ = start_;
    if (speed() < 0 && anchorPosition_ <= start_) anchorPosition_ = end_;
    playing_ = true;
}

void ReplayClock::pause() {
    reanchor();
    playing_ = false;
}

void ReplayClock::togglePlay() {
    if (playing()) {
        pause();
    } else {
        play();
    }
}

void ReplayClock::seek(std::int64_t micros) {
    reanchor();
    anchorPosition_ = std::clamp(micros, start_, end_);
}

void ReplayClock::setSpeedStep(int step) {
    reanchor();
    speedStep_ = std::clamp(step, 0, static_cast<int>(kSpeeds.size()) - 1);
}

bool ReplayClock::faster() {
    if (speedStep_ + 1 >= static_cast<int>(kSpeeds.size())) return false;
    setSpeedStep(speedStep_ + 1);
    return true;
}

bool ReplayClock::slower() {
    if (speedStep_ <= 0) return false;
    setSpeedStep(speedStep_ - 1);
    return true;
}

void ReplayClock::setEnd(std::int64_t endMicros) {
    reanchor();
    end_ = std::max(endMicros, start_);
    anchorPosition_ = std::min(anchorPosition_, end_);
}

std::string replaySpeedText(double speed) {
    char text[16];
    std::snprintf(text, sizeof text, "%gx", speed);
    return text;
}

std::string replayDurationText(std::int64_t micros) {
    const std::int64_t tenths = std::max<std::int64_t>(micros, 0) / 100000;
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%lld", static_cast<long long>(tenths / 36000),
                  static_cast<long long>(tenths / 600 % 60), static_cast<long long>(tenths / 10 % 60),
                  static_cast<long long>(tenths % 10));
    return text;
}
