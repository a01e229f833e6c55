#include <QApplication>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>

#include "app/CMainFrame.h"
#include "app/COrvaneApp.h"
#include "map/MapCatalog.h"
#include "tests/support/SceneProbe.h"
#include "tuning/CGainDlg.h"
#include "view/COrvaneView.h"
#include "view/Scene.h"

// The view in the main frame as the operator meets it, under a display without a window manager:
// what reaches the screen where the view stands, and the keyboard after clicks into the map. The
// clicks and keys go through the display server (xdotool), so the native windows' focus is real.
namespace {

constexpr Rgb8 kMapColor{40, 120, 200};

// The file choosers answer at once and are counted: Ctrl+O shows that the accelerator arrived.
class CountingApp : public COrvaneApp {
public:
    int openPrompts = 0;

protected:
    QString promptOpenFileName() override { return ++openPrompts, QString(); }
};

CountingApp& app() {
    static CountingApp instance;
    return instance;
}

bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

int visibleGainDialogs() {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<CGainDlg*>(window) != nullptr && window->isVisible()) ++count;
    return count;
}

void closeGainDialogs() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<CGainDlg*>(window) != nullptr) window->close();
}

bool near(QRgb pixel, Rgb8 color, int tolerance) {
    return std::abs(qRed(pixel) - color.r) <= tolerance && std::abs(qGreen(pixel) - color.g) <= tolerance &&
           std::abs(qBlue(pixel) - color.b) <= tolerance;
}

}  // namespace

class FrameWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        writeUniformBitmap(mapBitmapFile(0), kShippedMapWidth, kShippedMapHeight, kMapColor);
        view_ = new COrvaneView(app().telemetry, app().uploadGate, app().cockpitFeedOn, app().notifier);
        frame_ = new CMainFrame(app(), view_->windowContainer());
        QSignalSpy firstFrame(view_, &COrvaneView::frameSwapped);
        frame_->setGeometry(0, 0, 1024, 720);
        frame_->show();
        QTRY_VERIFY_WITH_TIMEOUT(firstFrame.count() >= 1, 10000);
        // Time for the display server to show the swapped frame.
        QTest::qWait(300);
    }

    void cleanup() {
        delete frame_;  // and with it the container and the view
        closeGainDialogs();
    }

    void screenShowsTheViewWhereItStands() {
        QWidget* container = view_->windowContainer();
        const QPoint origin = container->mapToGlobal(QPoint(0, 0));
        const QImage screen =
            frame_->screen()
                ->grabWindow(0, origin.x(), origin.y(), container->width(), container->height())
                .toImage();
        const QImage frame = view_->grabFrame();
        QCOMPARE(screen.size(), frame.size());

        // The view's own frame has the map and the panel's frame line where they belong...
        const PixelPoint mapCentre =
            sceneToPixel(-5.3 + kShippedMapWidth * 0.007 / 2, -3.3 + kShippedMapHeight * 0.007 / 2,
                         frame.width(), frame.height());
        QVERIFY(near(frame.pixel(int(mapCentre.x), int(mapCentre.y)), kMapColor, 4));
        const PixelPoint panelEdge = sceneToPixel(1.712, 0, frame.width(), frame.height());
        bool panelLine = false;
        for (int dx = -2; dx <= 2; ++dx)
            panelLine =
                panelLine || near(frame.pixel(int(panelEdge.x) + dx, int(panelEdge.y)), {51, 255, 229}, 60);
        QVERIFY(panelLine);

        // ...and the screen shows that frame there (the clock may have turned a second since).
        qint64 same = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                const QRgb shown = screen.pixel(x, y);
                same += near(
                    frame.pixel(x, y),
                    {std::uint8_t(qRed(shown)), std::uint8_t(qGreen(shown)), std::uint8_t(qBlue(shown))}, 8);
            }
        const double share = double(same) / (double(frame.width()) * frame.height());
        QVERIFY2(share > 0.97, qPrintable(QStringLiteral("%1 of the pixels on the screen match").arg(share)));
    }

    void menuKeysWorkAfterClicksIntoTheView() {
        QWidget* container = view_->windowContainer();
        // A point of the map box, where a double-click places a waypoint.
        const QPoint onMap =
            container->mapToGlobal(QPoint(container->width() * 300 / COrvaneView::referenceWidth,
                                          container->height() * 400 / COrvaneView::referenceHeight));
        const Waypoints& waypoints = view_->scene().waypoints();
        // Another window has the focus before each click, as after the program's start without a
        // window manager or after working in a dialog.
        QWidget elsewhere;
        elsewhere.setGeometry(1100, 900, 100, 60);
        elsewhere.show();
        for (const int clicks : {1, 2}) {
            elsewhere.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
            const int placed = waypoints.waypointCount;
            QVERIFY(xdotool({"mousemove", QString::number(onMap.x()), QString::number(onMap.y()), "click",
                             "--repeat", QString::number(clicks), "--delay", "60", "1"}));
            // The clicks reached the view: a double-click places a waypoint, a click does not.
            QTRY_COMPARE(waypoints.waypointCount, placed + (clicks == 2 ? 1 : 0));
            // The click activates the frame, and the view's native window never takes the focus from
            // it (some window managers and toolkit versions then hand it the keys; here Qt would
            // still match the frame's shortcuts, so the keys below alone would not show it).
            QTRY_COMPARE(QGuiApplication::focusWindow(), frame_->windowHandle());
            QTest::qWait(100);
            QCOMPARE(QGuiApplication::focusWindow(), frame_->windowHandle());

            const int prompts = app().openPrompts;
            QVERIFY(xdotool({"key", "ctrl+o"}));
            QTRY_COMPARE(app().openPrompts, prompts + 1);

            QVERIFY(xdotool({"key", "alt+t"}));
            QTest::qWait(200);
            QVERIFY(xdotool({"key", "g"}));
            QTRY_COMPARE(visibleGainDialogs(), 1);
            closeGainDialogs();
            QTRY_COMPARE(visibleGainDialogs(), 0);
        }
    }

private:
    COrvaneView* view_ = nullptr;
    CMainFrame* frame_ = nullptr;
};

int main(int argc, char** argv) {
    COrvaneView::applyPixelFormat();
    QApplication application(argc, argv);
    ScratchWorkDir scratch;
    FrameWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FrameWindowTest.moc"
