#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "map/Waypoints.h"
#include "net/CockpitFeed.h"
#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "net/UploadGate.h"
#include "tests/support/ScriptedAsker.h"
#include "view/COrvaneView.h"
#include "view/FlightDeck.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"
#include "view/SceneCamera.h"

// The view in a real window (needs a display): its timer, the cockpit feed, the wheel and resizes.
namespace {

class RecordingNotifier : public Notifier {
public:
    void showMessage(const std::string& caption, const std::string& text) override {
        messages.push_back(caption + ": " + text);
    }
    std::vector<std::string> messages;
};

class CountingView : public COrvaneView {
public:
    using COrvaneView::COrvaneView;
    int paints = 0;

protected:
    void paintGL() override {
        ++paints;
        COrvaneView::paintGL();
    }
};

// A loopback datagram socket on a free port that collects what arrives.
class FeedListener {
public:
    FeedListener() {
        handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(handle_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~FeedListener() { ::close(handle_); }
    FeedListener(const FeedListener&) = delete;
    FeedListener& operator=(const FeedListener&) = delete;

    int port() const { return port_; }

    // Takes every datagram waiting now.
    std::vector<std::vector<std::uint8_t>> drain() {
        std::vector<std::vector<std::uint8_t>> datagrams;
        std::array<std::uint8_t, 2048> buffer{};
        for (;;) {
            const ssize_t received = ::recv(handle_, buffer.data(), buffer.size(), 0);
            if (received < 0) break;
            datagrams.emplace_back(buffer.begin(), buffer.begin() + received);
        }
        return datagrams;
    }

private:
    int handle_ = -1;
    int port_ = 0;
};

struct Fixture {
    RecordingNotifier notifier;
    TelemetryState telemetry;
    NetSocket telemetrySocket{notifier};
    ScriptedAsker asker;
    UploadGate uploadGate{telemetrySocket, telemetry.senders, asker, notifier, programClockMs};
    int cockpitFeedOn = 0;
    CountingView view{telemetry, uploadGate, cockpitFeedOn, notifier};

    explicit Fixture(int feedPort = kCockpitFeedPort) {
        view.setFeedPort(feedPort);
        view.resize(640, 420);
        view.show();
    }
};

void sendWheel(QWindow& window, int angleDeltaY, int angleDeltaX = 0) {
    const QPointF centre(window.width() / 2.0, window.height() / 2.0);
    QWheelEvent event(centre, window.mapToGlobal(centre), QPoint(), QPoint(angleDeltaX, angleDeltaY),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&window, &event);
}

}  // namespace

class ViewWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void repaintsOncePerTickWithNewTelemetryOnly() {
        Fixture fixture;
        QTRY_VERIFY(fixture.view.isCreated());
        QTest::qWait(400);  // let the first exposures settle

        fixture.view.paints = 0;
        QTest::qWait(350);
        QCOMPARE(fixture.view.paints, 0);

        // However many lines arrive between two ticks, they give one frame.
        for (int line = 0; line < 50; ++line) fixture.telemetry.newData = 1;
        QTRY_COMPARE_WITH_TIMEOUT(fixture.telemetry.newData.load(), 0, 2000);
        QTest::qWait(80);
        QCOMPARE(fixture.view.paints, 1);
    }

    void repaintsOnceWhenTheLinkFallsSilent() {
        Fixture fixture;
        QTRY_VERIFY(fixture.view.isCreated());
        QTest::qWait(400);

        fixture.telemetry.lastLineClock = programClockMs();
        fixture.telemetry.lineHeard = true;
        fixture.telemetry.linkAlive = 1;
        fixture.telemetry.newData = 1;
        QTRY_VERIFY_WITH_TIMEOUT(fixture.view.scene().lastDrawingShowedLink(), 2000);
        fixture.view.paints = 0;

        // A second later the panel is drawn again, now without the link, and then left alone.
        QTRY_VERIFY_WITH_TIMEOUT(!fixture.view.scene().lastDrawingShowedLink(), 3000);
        const int paintsForSilence = fixture.view.paints;
        QVERIFY(paintsForSilence >= 1);
        QTest::qWait(500);
        QCOMPARE(fixture.view.paints, paintsForSilence);
    }

    void repaintsOnEveryResize() {
        Fixture fixture;
        QTRY_VERIFY(fixture.view.isCreated());
        QTest::qWait(400);
        // Shrinking exposes nothing new, growing does; the stretched scene needs a frame for both.
        for (const QSize size : {QSize(500, 300), QSize(700, 460)}) {
            fixture.view.paints = 0;
            fixture.view.resize(size);
            QTRY_VERIFY(fixture.view.paints >= 1);
            QCOMPARE(fixture.view.windowRect().size(), size);
        }
    }

    void feedSendsEveryTickOnceSwitchedOn() {
        FeedListener listener;
        Fixture fixture(listener.port());
        QTRY_VERIFY(fixture.view.isCreated());

        QTest::qWait(350);
        QVERIFY(listener.drain().empty());

        fixture.telemetry.theta = 0.1f;
        fixture.telemetry.cas = 20.0f;
        fixture.cockpitFeedOn = 1;
        std::vector<std::vector<std::uint8_t>> datagrams;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     for (auto& datagram : listener.drain())
                                         datagrams.push_back(std::move(datagram));
                                     return datagrams.size() >= 3;
                                 }()),
                                 3000);
        for (const auto& datagram : datagrams) {
            QCOMPARE(datagram.size(), std::size_t{696});
            QCOMPARE(loadLittleEndianDouble(datagram.data() + 16), 39.988141);
            QCOMPARE(loadLittleEndianDouble(datagram.data() + 40), static_cast<double>(0.1f) * 57.3);
            QCOMPARE(loadLittleEndianDouble(datagram.data() + 80), 20.0);
        }

        // One packet per 100 ms tick, not more.
        listener.drain();
        QTest::qWait(1000);
        QVERIFY(listener.drain().size() <= 12);

        // A replay shown in the view leaves the cockpit display on the live aircraft until the
        // operator sends the replay there.
        ReplayScene replay;
        replay.telemetry.theta = -0.2f;
        replay.telemetry.cas = 33.0f;
        std::vector<std::uint8_t> latest;
        auto latestAirspeed = [&] {
            for (auto& datagram : listener.drain()) latest = std::move(datagram);
            return latest.size() == 696 ? loadLittleEndianDouble(latest.data() + 80) : -1.0;
        };
        fixture.view.showReplay(&replay);
        QTest::qWait(350);
        QCOMPARE(latestAirspeed(), 20.0);
        replay.toCockpit = true;
        QTRY_COMPARE_WITH_TIMEOUT(latestAirspeed(), 33.0, 3000);
        QCOMPARE(loadLittleEndianDouble(latest.data() + 40), static_cast<double>(-0.2f) * 57.3);
        replay.toCockpit = false;
        QTRY_COMPARE_WITH_TIMEOUT(latestAirspeed(), 20.0, 3000);
        replay.toCockpit = true;
        QTRY_COMPARE_WITH_TIMEOUT(latestAirspeed(), 33.0, 3000);
        fixture.view.showReplay(nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(latestAirspeed(), 20.0, 3000);
    }

    // Planning on the ground: with no telemetry at all, what the operator does is drawn.
    void doubleClicksRepaintWithoutTelemetry() {
        Fixture fixture;
        QTRY_VERIFY(fixture.view.isCreated());
        QTest::qWait(400);
        Waypoints& waypoints = fixture.view.scene().waypoints();
        struct Case {
            const char* what;
            QPoint at;  // client position in the 640 x 420 view
            int paintsAtLeast;
        };
        // The buttons flash red over four drawings, then are drawn dark again.
        const Case cases[] = {{"waypoint", {200, 250}, 1},
                              {"UPLOAD", {450, 337}, 5},
                              {"second waypoint", {250, 200}, 1},
                              {"CLEAR", {550, 337}, 5}};
        for (const Case& c : cases) {
            fixture.view.paints = 0;
            QTest::mouseDClick(&fixture.view, Qt::LeftButton, {}, c.at);
            QTRY_VERIFY2_WITH_TIMEOUT(fixture.view.paints >= c.paintsAtLeast, c.what, 3000);
            QTRY_VERIFY2_WITH_TIMEOUT(!fixture.view.scene().buttonFlashPending(), c.what, 3000);
        }
        QCOMPARE(waypoints.waypointCount, 0);
        QCOMPARE(fixture.telemetry.newData.load(), 0);
        // Once the flash is over, nothing more is drawn until something changes.
        QTest::qWait(300);
        fixture.view.paints = 0;
        QTest::qWait(300);
        QCOMPARE(fixture.view.paints, 0);
    }

    void wheelStepsTheZoomOncePerEvent() {
        Fixture fixture;
        QTRY_VERIFY(fixture.view.isCreated());
        QTest::qWait(200);
        fixture.view.paints = 0;
        for (int step = 0; step < 4; ++step) sendWheel(fixture.view, -120);
        QVERIFY(qAbs(fixture.view.scene().mapZoom() - 0.8f) < 1e-5f);
        QTRY_VERIFY(fixture.view.paints >= 1);
        // A delta of 0 counts as forward, and one event is one step whatever its size.
        sendWheel(fixture.view, 0);
        sendWheel(fixture.view, 960);
        QVERIFY(qAbs(fixture.view.scene().mapZoom() - 0.9f) < 1e-5f);
        // A tilted wheel or a sideways swipe is no zoom step; a diagonal one follows its vertical part.
        const struct {
            int x, y;
            float zoomAfter;
        } tilts[] = {{120, 0, 0.9f}, {-120, 0, 0.9f}, {-960, 0, 0.9f}, {30, -120, 0.85f}, {-30, 120, 0.9f}};
        for (const auto& tilt : tilts) {
            sendWheel(fixture.view, tilt.y, tilt.x);
            QVERIFY2(qAbs(fixture.view.scene().mapZoom() - tilt.zoomAfter) < 1e-5f,
                     qPrintable(QStringLiteral("after (%1, %2)").arg(tilt.x).arg(tilt.y)));
        }
    }

    void aDragPansTheZoomedMapAndTheCursorIsReadOut() {
        Fixture fixture;
        QTRY_VERIFY(fixture.view.isCreated());
        Scene& scene = fixture.view.scene();
        std::optional<MapReadout> last;
        fixture.view.flightDeck().setReadoutListener([&last](const MapReadout& readout) { last = readout; });
        for (int step = 0; step < 10; ++step) sendWheel(fixture.view, -120);  // zoom 0.5
        const int width = fixture.view.width(), height = fixture.view.height();

        // Over the map: the coordinate of the picture as shown under the cursor.
        const QPoint over(200, 250);
        QTest::mouseMove(&fixture.view, over);
        QTRY_VERIFY(last && last->cursor);
        const GeoPoint expected = *scene.geoAtScene(clientToScene(over.x(), over.y(), width, height));
        QCOMPARE(last->cursor->lat, expected.lat);
        QCOMPARE(last->cursor->lon, expected.lon);

        // A drag of 60 pixels to the right moves the window left by 60 pixels' share of the map.
        const MapGeometry& g = scene.mapGeometry();
        const double before = scene.mapWindow().startU;
        QTest::mousePress(&fixture.view, Qt::LeftButton, {}, over);
        for (int x = over.x() + 5; x <= over.x() + 60; x += 5)
            QTest::mouseMove(&fixture.view, QPoint(x, over.y()));
        QTest::mouseRelease(&fixture.view, Qt::LeftButton, {}, QPoint(over.x() + 60, over.y()));
        const double movedScene =
            clientToScene(over.x() + 60, 0, width, height).x - clientToScene(over.x(), 0, width, height).x;
        QVERIFY(std::fabs(scene.mapWindow().startU - (before - movedScene / (g.mapRight - g.mapLeft) * 0.5)) <
                1e-5);

        // A double-click pans nothing and places its waypoint under the cursor.
        const MapWindow panned = scene.mapWindow();
        QTest::mouseClick(&fixture.view, Qt::LeftButton, {}, over);
        QTest::mouseDClick(&fixture.view, Qt::LeftButton, {}, over);
        QCOMPARE(scene.mapWindow().startU, panned.startU);
        QCOMPARE(scene.waypoints().waypointCount, 1);
        const GeoPoint under = *scene.geoAtScene(clientToScene(over.x(), over.y(), width, height));
        QVERIFY(std::fabs(scene.waypoints().waypointLat[0] - under.lat) < 1e-5);
        QVERIFY(std::fabs(scene.waypoints().waypointLon[0] - under.lon) < 1e-5);

        // Off the map (over the state table) the readout shows no cursor but keeps the route.
        QTest::mouseMove(&fixture.view, QPoint(width - 40, 60));
        QTRY_VERIFY(last && !last->cursor);
        QCOMPARE(last->waypointCount, 1);
    }
};

int main(int argc, char** argv) {
    COrvaneView::applyPixelFormat();
    QApplication application(argc, argv);
    ViewWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ViewWidgetTest.moc"
