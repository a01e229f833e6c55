#include "app/ReplayController.h"

#include <algorithm>
#include <utility>

#include "view/FrameTick.h"

namespace {

// The file is looked at for new records once a second, as often as the recorder flushes.
constexpr int kTicksPerFollow = 10;

}  // namespace

ReplayController::ReplayController(ReplayClock::MicrosecondClock clock, QObject* parent)
    : QObject(parent), wallClock_(std::move(clock)) {
    timer_.setInterval(kFrameIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &ReplayController::tick);
}

ReplayController::~ReplayController() = default;

bool ReplayController::open(const QString& path, QString& error) {
    auto replay = std::make_unique<FlightReplay>(telemetryPort_);
    std::string problem;
    if (!replay->open(path.toStdString(), problem)) {
        error = QString::fromStdString(problem);
        return false;
    }
    replay_ = std::move(replay);
    clock_ = std::make_unique<ReplayClock>(replay_->startMicros(), replay_->endMicros(), wallClock_);
    path_ = path;
    shown_ = {};
    scene_.route = {};
    // Every replay starts with the cockpit display on the live aircraft.
    scene_.toCockpit = false;
    scene_.track.clear();
    scene_.trackLines = 0;
    extendReplayTrack(*replay_, scene_);
    clock_->play();
    ticksSinceFollow_ = 0;
    timer_.start();
    apply(true);
    return true;
}

void ReplayController::close() {
    timer_.stop();
    clock_.reset();
    replay_.reset();
    shown_ = {};
    path_.clear();
}

void ReplayController::setToCockpit(bool on) {
    if (!replay_ || scene_.toCockpit == on) return;
    scene_.toCockpit = on;
    apply(true);
}

void ReplayController::togglePlay() {
    if (!clock_) return;
    clock_->togglePlay();
    apply(true);
}

void ReplayController::faster() {
    if (clock_ && clock_->faster()) apply(true);
}

void ReplayController::slower() {
    if (clock_ && clock_->slower()) apply(true);
}

void ReplayController::setSpeedStep(int step) {
    if (!clock_) return;
    clock_->setSpeedStep(step);
    apply(true);
}

void ReplayController::stepSeconds(int seconds) {
    if (clock_) seek(clock_->position() + seconds * std::int64_t{1000000});
}

void ReplayController::stepLine(int lines) {
    if (!clock_) return;
    const auto& all = replay_->lines();
    const ReplayState now = replay_->stateAt(clock_->position());
    // Before the first line, one line on is the first.
    const std::int64_t from = now.line != nullptr ? static_cast<std::int64_t>(now.lineIndex) : -1;
    const std::int64_t to =
        std::clamp<std::int64_t>(from + lines, 0, static_cast<std::int64_t>(all.size()) - 1);
    // A step is a look at one line: the replay holds still on it.
    if (clock_->playing()) clock_->pause();
    seek(all[static_cast<std::size_t>(to)].timeMicros);
}

void ReplayController::toStart() {
    if (clock_) seek(clock_->startMicros());
}

void ReplayController::toEnd() {
    if (clock_) seek(clock_->endMicros());
}

void ReplayController::seek(std::int64_t micros) {
    if (!clock_) return;
    clock_->seek(micros);
    apply(true);
}

void ReplayController::tick() {
    if (!replay_) return;
    if (++ticksSinceFollow_ >= kTicksPerFollow) {
        ticksSinceFollow_ = 0;
        if (replay_->follow()) {
            // The index may have moved: the shown line is taken afresh.
            extendReplayTrack(*replay_, scene_);
            clock_->setEnd(replay_->endMicros());
            apply(true);
            return;
        }
    }
    apply(false);
}

void ReplayController::apply(bool force) {
    const std::int64_t at = clock_->position();
    // The time since the last position heard counts on the replay's clock, line or no line.
    scene_.atMicros = at;
    const ReplayState state = replay_->stateAt(at);
    const QString mark = clock_->playing() ? QStringLiteral("REPLAY ") +
                                                 QString::fromStdString(replaySpeedText(clock_->speed()))
                                           : QStringLiteral("PAUSED");
    const bool same = state.line == shown_.line && state.linkUp == shown_.linkUp &&
                      state.route == shown_.route && state.severalSenders == shown_.severalSenders &&
                      state.refusals.count == shown_.refusals.count && mark == shownMark_;
    shownMicros_ = at;
    if (same && !force) {
        // The bar's time still moves.
        emit changed();
        return;
    }
    shown_ = state;
    shownMark_ = mark;
    showReplayState(state, at, mark.toStdString(), geometry_, scene_);
    emit changed();
}
