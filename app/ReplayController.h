#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

#include "net/TelemetryReceiver.h"
#include "record/FlightReplay.h"
#include "record/ReplayClock.h"
#include "view/ReplayScene.h"

struct MapGeometry;

// Plays a recorded flight into a ReplayScene that the view shows in place of the live link: the
// replay clock, the commands of the replay bar and its keys, and a 100 ms tick that moves the
// shown moment, follows a recording that is still being written and asks for a repaint only when
// what the view shows has changed. User-interface thread only; the live receiver is never touched.
class ReplayController : public QObject {
    Q_OBJECT
public:
    explicit ReplayController(ReplayClock::MicrosecondClock clock = ReplayClock::steadyMicros,
                              QObject* parent = nullptr);
    ~ReplayController() override;

    // Opens and indexes `path` and plays it at 1x from its start. False with `error` (naming the
    // file) when it cannot be replayed; a replay already running then goes on.
    bool open(const QString& path, QString& error);
    void close();
    bool active() const { return replay_ != nullptr; }

    // The waypoints of the uploads are placed with this map (nullptr: at the scene's origin).
    void setMapGeometry(const MapGeometry* geometry) { geometry_ = geometry; }
    // The telemetry port of recordings that do not name theirs (9001 unless set).
    void setTelemetryPort(std::uint16_t port) { telemetryPort_ = port; }

    // The operator's commands.
    // The replay goes to the cockpit display instead of the live aircraft (off at every open).
    void setToCockpit(bool on);
    bool toCockpit() const { return scene_.toCockpit; }
    void togglePlay();
    void faster();
    void slower();
    void setSpeedStep(int step);
    void stepSeconds(int seconds);  // 10 or -10 from the keys
    void stepLine(int lines);       // 1 or -1
    void toStart();
    void toEnd();
    void seek(std::int64_t micros);

    // The moving part, run by the controller's own 100 ms timer while a replay is open; tests call
    // it after moving their clock.
    void tick();

    ReplayScene& scene() { return scene_; }
    const FlightReplay* replay() const { return replay_.get(); }
    ReplayClock* clock() { return clock_.get(); }
    // The moment shown now, and the line shown (none before the first).
    std::int64_t shownMicros() const { return shownMicros_; }
    const ReplayState& shownState() const { return shown_; }
    QString path() const { return path_; }

    static constexpr std::int64_t kStepMicros = 10000000;

signals:
    // The shown moment or the replay's speed, play state or length changed.
    void changed();

private:
    // Shows the clock's moment; forced after a command even when the line stays the same.
    void apply(bool force);

    ReplayClock::MicrosecondClock wallClock_;
    std::unique_ptr<FlightReplay> replay_;
    std::unique_ptr<ReplayClock> clock_;
    ReplayScene scene_;
    ReplayState shown_;
    std::int64_t shownMicros_ = 0;
    QString path_;
    QString shownMark_;
    const MapGeometry* geometry_ = nullptr;
    std::uint16_t telemetryPort_ = static_cast<std::uint16_t>(TelemetryReceiver::kTelemetryPort);
    QTimer timer_;
    int ticksSinceFollow_ = 0;
};
