#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/COrvaneApp.h"
#include "app/CursorReadout.h"
#include "app/RecentFileList.h"
#include "map/MapGeometry.h"
#include "map/WaypointFile.h"
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
    std::optional<LastFix> lastPosition() override { return lastFix; }
    void openMap(const MapOpenRequest& request) override { opened.push_back(request.path); }
    void setFollowAircraft(bool follow) override { following = follow; }

    std::vector<std::string> opened;
    std::optional<bool> following;
    std::optional<TrackMode> trackMode;
    std::optional<bool> alarmsMuted;
    int clears = 0, resets = 0, replacements = 0;
    Waypoints waypoints;
    MapGeometry geometry;
    std::optional<LastFix> lastFix;
};

// The file chooser answers from the test.
class TestFrame : public CMainFrame {
public:
    explicit TestFrame() : CMainFrame(app(), new QWidget) {}
    QString nextFile;

protected:
    QString promptWaypointFileName(bool) override { return nextFile; }
    QString promptLastPositionFileName(const QString&) override { return nextFile; }
    QString promptMapFileName() override { return nextFile; }
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

    void theLastPositionGoesToTheClipboardAndToAGpxWaypoint() {
        RecordingTarget target;
        TestFrame frame;
        frame.setFlightTarget(&target);
        QAction* copy = flightAction(frame, "Copy Last Posit&ion");
        QAction* save = flightAction(frame, "Save Last Positio&n...");
        QVERIFY(copy && save);
        // Nothing heard with the GPS acquired: nothing to copy or save.
        emit frame.flightMenu()->aboutToShow();
        QVERIFY(!copy->isEnabled() && !save->isEnabled());

        // 2026-12-09 05:41:40.250 UTC.
        target.lastFix = LastFix{39.98612, -75.21235, 130.0f, 4.73f, 21.0f, 0, 1796794900250000};
        emit frame.flightMenu()->aboutToShow();
        QVERIFY(copy->isEnabled() && save->isEnabled());
        QGuiApplication::clipboard()->clear();
        copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("39.986120, -75.212350"));

        frame.nextFile = filesDir_.filePath("last.gpx");
        QCOMPARE(answeringBoxes([&] { save->trigger(); }), QString());
        const WaypointFileRead read = readWaypointFile(frame.nextFile.toStdString(), 8);
        QVERIFY2(read.ok, read.message.c_str());
        QCOMPARE(read.points.size(), std::size_t{1});
        QVERIFY(std::abs(read.points[0].lat - 39.98612) < 1e-9 &&
                std::abs(read.points[0].lon + 75.21235) < 1e-9);
        QFile file(frame.nextFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QMap<QString, QString> texts;
        QString version;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (xml.name() == QLatin1String("gpx")) version = xml.attributes().value("version").toString();
            if (xml.name() == QLatin1String("ele") || xml.name() == QLatin1String("time") ||
                xml.name() == QLatin1String("name")) {
                const QString name = xml.name().toString();
                texts[name] = xml.readElementText();
            }
        }
        QVERIFY(!xml.hasError());
        QCOMPARE(version, QString("1.1"));
        QCOMPARE(texts["ele"], QString("130.0"));
        QCOMPARE(texts["time"], QString("2026-12-09T05:41:40Z"));
        QCOMPARE(texts["name"], QString("2026-12-09 05:41:40 UTC"));

        // A folder that does not exist: the operator is told, naming the file.
        frame.nextFile = filesDir_.filePath("no-such-folder/last.gpx");
        const QString refused = answeringBoxes([&] { save->trigger(); });
        QVERIFY2(refused.startsWith("The last position was not saved to \"" + frame.nextFile + "\""),
                 qPrintable(refused));
    }

    void openMapAndFollowAircraftReachTheViewAndFollowIsKept() {
        RecordingTarget target;
        {
            TestFrame frame;
            frame.setFlightTarget(&target);
            QCOMPARE(target.following, std::optional(false));
            QAction* follow = flightAction(frame, "&Follow Aircraft\tF");
            QVERIFY(follow != nullptr);
            QCOMPARE(follow->shortcut(), QKeySequence(Qt::Key_F));
            follow->trigger();
            QCOMPARE(target.following, std::optional(true));

            // A picture opens as itself; a tile of a z/x/y folder opens its folder.
            const QString tile = filesDir_.filePath("tiles/15/9000/12000.png");
            QVERIFY(QDir().mkpath(QFileInfo(tile).path()));
            QFile(tile).open(QIODevice::WriteOnly);
            const QString picture = filesDir_.filePath("photo.png");
            QFile(picture).open(QIODevice::WriteOnly);
            QFile(filesDir_.filePath("photo.pgw")).open(QIODevice::WriteOnly);
            for (const QString& chosen : {picture, tile, QString()}) {
                frame.nextFile = chosen;
                flightAction(frame, "&Open Map...")->trigger();
            }
            QCOMPARE(target.opened, (std::vector<std::string>{picture.toStdString(),
                                                              filesDir_.filePath("tiles").toStdString()}));
        }
        RecordingTarget next;
        TestFrame frame;
        QVERIFY(flightAction(frame, "&Follow Aircraft\tF")->isChecked());
        frame.setFlightTarget(&next);
        QCOMPARE(next.following, std::optional(true));
        QSettings(kRegistryKey, kProfileName).clear();
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
        QCOMPARE(frame.cursorReadout()->lastHeardText(), QString());
        readout.lastHeard = LastHeard{{39.98612, -75.21235, 130.0f, 271 / 57.3f, 21.0f, 0, 0}, 72999};
        frame.cursorReadout()->showReadout(readout);
        QCOMPARE(frame.cursorReadout()->lastHeardText(),
                 QString("Last heard 1 min 12 s ago at 39.986120 -75.212350, alt 130.0, heading 271, 21.0"));
    }

private:
    QTemporaryDir settingsDir_;
    QTemporaryDir filesDir_;
};

QTEST_MAIN(FlightMenuTest)
#include "FlightMenuTest.moc"
