#pragma once

#include <QImage>
#include <QList>
#include <QOpenGLWindow>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QSurfaceFormat>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "map/CMapLoadDlg.h"
#include "map/ImagerySource.h"
#include "map/Waypoints.h"
#include "net/CockpitFeed.h"
#include "view/FrameTick.h"

class Notifier;
class NetSocket;
class UploadGate;
class QMouseEvent;
class QWheelEvent;
class QWidget;
class Scene;
struct ReplayScene;
struct TelemetryState;

// The one view: owns the OpenGL context (through Qt), the 100 ms frame timer, the cockpit-feed
// socket and packet, and the input events; all drawing is the Scene's. User-interface thread only.
class FlightDeck;

//
// A native window of its own with its own context: drawing straight into it costs the software
// renderer only the frame itself, where a widget's framebuffer would be composed into the main
// window on every repaint. The frame holds it through windowContainer(). It never takes the
// keyboard focus, so the frame's menus and accelerators keep working after a click into the map.
class COrvaneView : public QOpenGLWindow, public MapDialogTarget {
    Q_OBJECT
public:
    // `cockpitFeedOn` is the application's flag, read on every timer tick. The waypoint upload goes
    // out through `uploadGate`.
    COrvaneView(TelemetryState& telemetry, UploadGate& uploadGate, const int& cockpitFeedOn,
                Notifier& notifier);
    // Tears the view down (onDestroy) if its window still exists.
    ~COrvaneView() override;

    // The widget that places the view in the frame, made on the first call; it owns the view from
    // then on (deleting it deletes the view). Black until the first frame, never focused.
    QWidget* windowContainer();

    // The surface the view needs: RGBA 8-8-8, depth of at least 16 bits, double buffered,
    // compatibility profile (the drawing is immediate mode). applyPixelFormat makes it the default
    // for every context, so it must run before the QApplication is constructed.
    static QSurfaceFormat pixelFormat();
    static void applyPixelFormat();

    // Called with the code of a GL set-up failure: 4 no valid context, 5 the context could not be
    // made current. Nothing is shown or logged.
    virtual void reportGlFailure(int code);

    // The camera and the frame's layers, drawn by the Scene with the view's context current.
    void applyViewport(int width, int height);
    void applyProjection(double aspect);
    void applyEyeTransform();
    bool beforeScene() { return true; }
    void buildFonts();
    void drawStatusPanel();
    void drawWaypointMarks();
    void drawWaypointPanel();
    void drawAircraftSymbol();
    void drawMap();
    void drawText(float x, float y, int colorIndex, float size, const char* text) const;

    // Where the cockpit feed goes on the local host: port 5800 unless set otherwise before the view
    // is first shown (tests use a free port).
    void setFeedPort(int port) { feedPort_ = port; }

    // Shows a replayed flight instead of the live link (nullptr: the live link again); the panel,
    // the symbol and the route follow it. The cockpit feed keeps carrying the live aircraft unless
    // the replay is sent to the cockpit (ReplayScene::toCockpit).
    void showReplay(ReplayScene* replay);

    // Writes the cockpit's telemetry into the cockpit-feed packet.
    void fillCockpitFeed();

    // The timer's repaint decision, frameTickNeedsRepaint.
    static bool tickNeedsRepaint(TelemetryState& telemetry, bool panelShowsLink, std::int32_t nowMs);

    // True once initializeGL has finished (whether or not GL could be set up).
    bool isCreated() const { return created_; }
    // Draws one frame into the back buffer and reads it back, without showing it (the screenshot
    // option). A null image when the view has no GL.
    QImage grabFrame();
    // Frames painted so far (every paint, the screenshot's included); a measurement for the
    // frame report, which shows from outside that the view keeps repainting.
    std::uint64_t framesPainted() const { return framesPainted_; }
    // Of those, the frames drawn whole, and the share of the view's pixels drawn over all of them.
    std::uint64_t wholeFramesPainted() const { return wholeFramesPainted_; }
    double drawnShare() const {
        return viewPixelsPainted_ > 0 ? drawnPixelsPainted_ / viewPixelsPainted_ : 0;
    }
    // The view's rectangle in screen coordinates (logical pixels) at the last resize with a positive
    // size; double-click positions are scaled by its size into the reference frame.
    const QRect& windowRect() const { return windowRect_; }
    Scene& scene() { return *scene_; }
    // The track, alarms, readout and Flight menu commands.
    FlightDeck& flightDeck() { return *flightDeck_; }
    const CockpitFeedPacket& cockpitFeedPacket() const { return cockpitFeed_.packet(); }

    // Sends the first eight waypoints to the aircraft (the operator is told when nothing can be sent).
    void uploadWaypoints();
    // Opens a new, independent map dialog on every call.
    void openMapDialog();
    // What the map dialog changes: the map geometry, the texture's picture, and a repaint.
    MapGeometry& mapGeometry() override;
    bool loadMapForIndex(int index, const MapCorners& corners) override;
    void requestRepaint() override;
    std::vector<MapOpenRequest> openedMaps() override;
    void openMap(const MapOpenRequest& request) override;

    // Asks the operator for the coordinate system of a picture whose world file comes without one
    // ("EPSG:N"); nothing when the operator cancels.
    using CrsQuestion = std::function<std::optional<std::string>(const std::string& path)>;
    void setCrsQuestion(CrsQuestion question) { crsQuestion_ = std::move(question); }
    // Told of every map that opened, to remember it among the maps opened before.
    void setMapOpenedListener(std::function<void(const MapOpenRequest&)> listener) {
        mapOpenedListener_ = std::move(listener);
    }
    // The maps opened before, as the catalogue dialog lists them below its entries.
    void setOpenedMaps(std::function<std::vector<MapOpenRequest>()> list) { openedMaps_ = std::move(list); }

public slots:
    // Takes the loader's results: new tiles show, a map that opened replaces the one shown, and
    // the operator hears of what failed. Queued from the loader thread.
    void takeMapResults();

public:
    // The scene stretches with the window, so clicks are scaled into one fixed reference frame.
    static constexpr int referenceWidth = kReferenceWidth;
    static constexpr int referenceHeight = kReferenceHeight;

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void wheelEvent(QWheelEvent* event) override;
    // A click into the view activates the frame, as a click on any of its widgets would: the keys
    // then go to the frame's menus and accelerators. The left button's press may start a pan.
    void mousePressEvent(QMouseEvent* event) override;
    // Waypoints and the buttons under the map; repaints at once to show the change.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Dragging with the left button pans the zoomed map; every move updates the cursor readout.
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Catches the end of the native window, while its context can still be made current, and the
    // cursor leaving it (the readout then shows no cursor).
    bool event(QEvent* event) override;

private:
    void onFrameTimer();
    // What the cockpit feed carries: the live aircraft, or the replay sent to the cockpit.
    const TelemetryState& cockpitTelemetry() const;
    // The end of the view's window: stops the timer, closes the feed socket and closes the map
    // dialogs, with the context current. Runs once.
    void onDestroy();
    void showCursorAt(const QPointF& position);
    // The camera over the window's size in device pixels, when that differs from the last one
    // applied (a resize, or a move to a screen of another pixel ratio).
    void applyCameraForDeviceSize();

    TelemetryState& telemetry_;
    UploadGate& uploadGate_;
    const int& cockpitFeedOn_;
    std::unique_ptr<Scene> scene_;
    std::unique_ptr<FlightDeck> flightDeck_;
    std::unique_ptr<NetSocket> feedSocket_;
    CockpitFeed cockpitFeed_;
    QTimer frameTimer_;
    int ticksSinceHeapTrim_ = 0;
    QRect windowRect_;
    QSize cameraDeviceSize_;
    QPointer<QWidget> container_;
    QList<QPointer<CMapLoadDlg>> mapDialogs_;
    int feedPort_ = kCockpitFeedPort;
    bool created_ = false;
    bool glReady_ = false;
    bool initialising_ = false;
    bool destroyed_ = false;
    std::uint64_t framesPainted_ = 0;
    std::uint64_t wholeFramesPainted_ = 0;
    double drawnPixelsPainted_ = 0, viewPixelsPainted_ = 0;
    CrsQuestion crsQuestion_;
    std::function<void(const MapOpenRequest&)> mapOpenedListener_;
    std::function<std::vector<MapOpenRequest>()> openedMaps_;
    // The left button's press, until a release; a drag starts once it has moved far enough that
    // it cannot be a click (double-clicks keep their meaning).
    std::optional<QPointF> pressedAt_;
    QPointF lastDragAt_;
    bool dragging_ = false;
};
