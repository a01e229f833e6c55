#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

#include "app/CMainFrame.h"
#include "app/COrvaneApp.h"
#include "app/CursorReadout.h"
#include "app/RecentFileList.h"
#include "map/MapGeometry.h"
#include "map/Waypoints.h"
#include "view/FlightTarget.h"

namespace {

COrvaneApp& app() {
    static COrvaneApp instance;
    return instance;
}

// Stands for the view: records what the menu asks of it.
class RecordingTarget : public FlightTarget {
public:
    RecordingTarget() { initMapGeometry(geometry, 989, 826); }
    void setTrackMode(TrackMode mode) override { trackMode = mode; }
    void clearTrack() override { ++clears; }
    void setAlarmsMuted(bool muted) override { alarmsMuted = muted; }
    void resetMapView() override { ++resets; }
    Waypoints& flightWaypoints() override { return waypoints; }
    const MapGeometry& flightMapGeometry() override { return geometry; }
    void waypointsReplaced() override { ++replacements; }
    void openMap(const MapOpenRequest&) override {}
    void setFollowAircraft(bool) override {}

    std::optional<TrackMode> trackMode;
    std::optional<bool> alarmsMuted;
    int clears = 0, resets = 0, replacements = 0;
    Waypoints waypoints;
    MapGeometry geometry;
};

// The file chooser answers from the test.
class TestFrame : public CMainFrame {
public:
    explicit TestFrame() : CMainFrame(app(), new QWidget) {}
    QString nextFile;

protected:
    QString promptWaypointFileName(bool) override { return nextFile; }
};

QAction* flightAction(CMainFrame& frame, const QString& text) {
    QList<QAction*> actions = frame.flightMenu()->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->menu()) actions += actions[i]->menu()->actions();
        if (actions[i]->text() == text) return actions[i];
    }
    return nullptr;
}

// Runs `action`, answering every message box with OK; the last box's text.
QString answeringBoxes(const std::function<void()>& action) {
    QString seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->text();
            box->done(QMessageBox::Ok);
        }
    });
    poll.start(10);
    action();
    return seen;
}

}  // namespace

class FlightMenuTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(settingsDir_.isValid() && filesDir_.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        QSettings(kRegistryKey, kProfileName).clear();
        app().notifier.attach();
    }
    void cleanupTestCase() { app().notifier.detach(); }

    void choicesAreKeptInTheProfileAndGivenToTheView() {
        RecordingTarget target;
        {
            TestFrame frame;
            // The defaults: the last ten minutes, the status bar shown, alarms heard.
            QVERIFY(flightAction(frame, "&10 Minutes")->isChecked());
            QVERIFY(flightAction(frame, "Status &Bar")->isChecked());
            QVERIFY(!flightAction(frame, "&Mute Alarms")->isChecked());
            frame.setFlightTarget(&target);
            QCOMPARE(target.trackMode, std::optional(TrackMode::LastTenMinutes));
            QCOMPARE(target.alarmsMuted, std::optional(false));

            flightAction(frame, "&Whole Flight")->trigger();
            QCOMPARE(target.trackMode, std::optional(TrackMode::WholeFlight));
            flightAction(frame, "&Mute Alarms")->trigger();
            QCOMPARE(target.alarmsMuted, std::optional(true));
            flightAction(frame, "Status &Bar")->trigger();
            QVERIFY(!frame.statusBar()->isVisibleTo(&frame));
            flightAction(frame, "&Clear Track")->trigger();
            QCOMPARE(target.clears, 1);
            QAction* reset = flightAction(frame, "Reset Map &View\tCtrl+0");
            QCOMPARE(reset->shortcut(), QKeySequence("Ctrl+0"));
            reset->trigger();
            QCOMPARE(target.resets, 1);
        }
        RecordingTarget next;
        TestFrame frame;
        QVERIFY(flightAction(frame, "&Whole Flight")->isChecked());
        QVERIFY(!flightAction(frame, "&10 Minutes")->isChecked());
        QVERIFY(flightAction(frame, "&Mute Alarms")->isChecked());
        QVERIFY(!flightAction(frame, "Status &Bar")->isChecked());
        QVERIFY(!frame.statusBar()->isVisibleTo(&frame));
        frame.setFlightTarget(&next);
        QCOMPARE(next.trackMode, std::optional(TrackMode::WholeFlight));
        QCOMPARE(next.alarmsMuted, std::optional(true));
        flightAction(frame, "&Off")->trigger();
        QCOMPARE(next.trackMode, std::optional(TrackMode::Off));
        QSettings(kRegistryKey, kProfileName).clear();
    }

    void waypointsAreSavedAndLoadedThroughTheMenuAndARefusedFileChangesNothing() {
        RecordingTarget target;
        TestFrame frame;
        frame.setFlightTarget(&target);
        const GeoPoint planned[] = {{39.9871234, -75.2123456}, {39.9865, -75.21}, {39.98612, -75.2118}};
        target.waypoints.waypointCount = 3;
        for (std::size_t i = 0; i < 3; ++i) {
            target.waypoints.waypointLat[i] = planned[i].lat;
            target.waypoints.waypointLon[i] = planned[i].lon;
        }
        frame.nextFile = filesDir_.filePath("plan.gpx");
        QCOMPARE(answeringBoxes([&] { flightAction(frame, "&Save Waypoints...")->trigger(); }), QString());

        target.waypoints.waypointCount = 0;
        target.waypoints.routeShown = 1;
        const QString loaded = answeringBoxes([&] { flightAction(frame, "&Load Waypoints...")->trigger(); });
        QVERIFY2(
            loaded.startsWith("Loaded 3 waypoints from the 3 route points of \"" + frame.nextFile + "\"."),
            qPrintable(loaded));
        QCOMPARE(target.waypoints.waypointCount, 3);
        QCOMPARE(target.waypoints.routeShown, 0);  // not uploaded
        QCOMPARE(target.replacements, 1);
        for (std::size_t i = 0; i < 3; ++i) {
            QVERIFY(std::abs(target.waypoints.waypointLat[i] - planned[i].lat) < 1e-9);
            QVERIFY(std::abs(target.waypoints.waypointLon[i] - planned[i].lon) < 1e-9);
        }

        QFile broken(filesDir_.filePath("broken.gpx"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"95\" lon=\"1\"/></gpx>");
        broken.close();
        frame.nextFile = broken.fileName();
        const QString refused = answeringBoxes([&] { flightAction(frame, "&Load Waypoints...")->trigger(); });
        QVERIFY2(refused.contains("\"" + broken.fileName() + "\"") && refused.contains("outside -90..90"),
                 qPrintable(refused));
        QCOMPARE(target.waypoints.waypointCount, 3);
        QCOMPARE(target.replacements, 1);

        // A cancelled chooser does nothing.
        frame.nextFile.clear();
        QCOMPARE(answeringBoxes([&] { flightAction(frame, "&Load Waypoints...")->trigger(); }), QString());
        QCOMPARE(target.replacements, 1);
    }

    void theReadoutShowsWhatTheViewReports() {
        TestFrame frame;
        MapReadout readout;
        readout.cursor = GeoPoint{39.987, -75.212};
        readout.waypointCount = 1;
        frame.cursorReadout()->showReadout(readout);
        QCOMPARE(frame.cursorReadout()->cursorText(),
                 QString("Cursor 39.98700, -75.21200   Aircraft position unknown"));
        QCOMPARE(frame.cursorReadout()->routeText(), QString("1 waypoint   Route 0.0 m"));
    }

private:
    QTemporaryDir settingsDir_;
    QTemporaryDir filesDir_;
};

QTEST_MAIN(FlightMenuTest)
#include "FlightMenuTest.moc"
