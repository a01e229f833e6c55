#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// The time of a replay: where in the recording it stands, whether it plays and how fast, forward or
// backward. The position is computed from the moment of the last change and the wall clock, never
// summed up tick by tick, so it keeps the asked speed exactly however often it is read.
//
// Times are microseconds: recording times since 1970 (UTC), wall times from `clock`, a monotonic
// clock (injectable for tests). Reaching either end of the recording pauses the replay there.
class ReplayClock {
public:
    using MicrosecondClock = std::function<std::int64_t()>;
    static std::int64_t steadyMicros();

    // The speeds an operator steps through with + and -: backward from the fastest to the slowest,
    // then forward from the slowest to the fastest.
    static constexpr std::array<double, 20> kSpeeds{-64, -32,  -16, -8, -4, -2, -1, -0.5, -0.25, -0.1,
                                                    0.1, 0.25, 0.5, 1,  2,  4,  8,  16,   32,    64};
    static constexpr int kNormalSpeedStep = 13;  // 1x forward

    ReplayClock(std::int64_t startMicros, std::int64_t endMicros, MicrosecondClock clock = steadyMicros);

    // The replay time now, within [start, end].
    std::int64_t position();
    bool playing();

    void play();
    void pause();
    void togglePlay();
    // Jumps to `micros` (clamped to the recording); keeps playing or pausing.
    void seek(std::int64_t micros);
    // One step along kSpeeds; false at its end.
    bool faster();
    bool slower();
    void setSpeedStep(int step);
    int speedStep() const { return speedStep_; }
    double speed() const { return kSpeeds[static_cast<std::size_t>(speedStep_)]; }

    // The recording grew (a file still being written).
    void setEnd(std::int64_t endMicros);
    std::int64_t startMicros() const { return start_; }
    std::int64_t endMicros() const { return end_; }

private:
    // Takes the position now as the new anchor, so that a change applies from now on.
    void reanchor();

    MicrosecondClock clock_;
    std::int64_t start_, end_;
    std::int64_t anchorPosition_;
    std::int64_t anchorWall_;
    int speedStep_ = kNormalSpeedStep;
    bool playing_ = false;
};

// "8x", "0.25x", "-2x": a speed as the replay bar and the view's mark show it.
std::string replaySpeedText(double speed);
// "1:02:03.4": hours, minutes, seconds and tenths of a span of time (negative spans read 0).
std::string replayDurationText(std::int64_t micros);
