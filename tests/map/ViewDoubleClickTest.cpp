#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "map/CMapLoadDlg.h"
#include "map/MapGeometry.h"
#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "net/UplinkFrame.h"
#include "net/UploadGate.h"
#include "tests/support/ScriptedAsker.h"
#include "view/COrvaneView.h"
#include "view/Scene.h"
#include "view/SceneCamera.h"

// The view's double-click in a real window (needs a display): positions scaled by the window's
// size, the left button only, the buttons wired to the upload and the map dialog.
namespace {

class RecordingNotifier : public Notifier {
public:
    void showMessage(const std::string& /*caption*/, const std::string& text) override {
        messages.push_back(text);
    }
    std::vector<std::string> messages;
};

QList<CMapLoadDlg*> openDialogs() {
    QList<CMapLoadDlg*> dialogs;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<CMapLoadDlg*>(window); dialog && dialog->isVisible())
            dialogs.append(dialog);
    return dialogs;
}

}  // namespace

class ViewDoubleClickTest : public QObject {
    Q_OBJECT

private slots:
    void doubleClicksPlaceWaypointsAndPressButtons() {
        RecordingNotifier notifier;
        TelemetryState telemetry;
        NetSocket telemetrySocket{notifier};
        QVERIFY(telemetrySocket.create("UDP") && telemetrySocket.bindPort(0));
        ScriptedAsker asker;
        UploadGate uploadGate{telemetrySocket, telemetry.senders, asker, notifier, programClockMs};
        const int cockpitFeedOn = 0;
        COrvaneView view{telemetry, uploadGate, cockpitFeedOn, notifier};
        view.resize(512, 336);
        view.show();
        QTRY_VERIFY(view.isCreated());
        QTRY_COMPARE(view.windowRect().size(), QSize(512, 336));
        Waypoints& waypoints = view.scene().waypoints();

        // Client (300, 270) lies on the map; the waypoint's coordinates are drawn on that pixel.
        QTest::mouseDClick(&view, Qt::RightButton, {}, QPoint(300, 270));
        QCOMPARE(waypoints.waypointCount, 0);
        QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(300, 270));
        QCOMPARE(waypoints.waypointCount, 1);
        const auto drawnAt =
            geoToScene(view.scene().mapGeometry(), waypoints.waypointLat[0], waypoints.waypointLon[0]);
        QVERIFY(drawnAt.has_value());
        QVERIFY(qAbs((drawnAt->x / sceneHalfWidth() + 1) / 2 * 512 - 300.5) <= 1.0);
        QVERIFY(qAbs((1 - drawnAt->y / sceneHalfHeight()) / 2 * 336 - 270.5) <= 1.0);

        // UPLOAD before any telemetry: nothing to send to, and the operator is told.
        QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(350, 270));
        QCOMPARE(waypoints.uploadPressed, 1);
        QCOMPARE(waypoints.routeShown, 0);
        QCOMPARE(notifier.messages.back(), std::string(kNoAircraftHeardMessage));

        // LOAD Map opens a new dialog each time.
        QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(350, 300));
        QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(350, 300));
        QCOMPARE(waypoints.loadMapPressed, 1);
        const QList<CMapLoadDlg*> dialogs = openDialogs();
        QCOMPARE(dialogs.size(), 2);

        // Its OK reaches the view, which asks for the picture. The working directory holds no
        // "site2.bmp": one message, and neither the corners nor the picture change.
        CMapLoadDlg* dialog = dialogs.front();
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("1016"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        const std::size_t shown = notifier.messages.size();
        const double upperLeftLat = view.scene().mapGeometry().upperLeftLat;
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("1")), Qt::LeftButton);
        QCOMPARE(view.scene().mapGeometry().upperLeftLat, upperLeftLat);
        QCOMPARE(notifier.messages.size(), shown + 1);
        QVERIFY(notifier.messages.back().starts_with(kMapLoadFailedText));
        QVERIFY(notifier.messages.back().find("/site2.bmp") != std::string::npos);
        QCOMPARE(openDialogs().size(), 2);
    }
};

QTEST_MAIN(ViewDoubleClickTest)
#include "ViewDoubleClickTest.moc"
