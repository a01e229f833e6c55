#pragma once

#include <QOpenGLWidget>
#include <QRect>
#include <QSurfaceFormat>
#include <QTimer>

#include <cstdint>
#include <memory>

#include "map/CMapLoadDlg.h"
#include "net/CockpitFeed.h"
#include "view/FrameTick.h"

class NetSocket;
class Notifier;
class QMouseEvent;
class QWheelEvent;
class Scene;
struct ReplayScene;
struct TelemetryState;

// The one view: owns the OpenGL context (through Qt), the 100 ms frame timer, the cockpit-feed
// socket and packet, and the input events; all drawing is the Scene's. User-interface thread only.
class COrvaneView : public QOpenGLWidget, public MapDialogTarget {
    Q_OBJECT
public:
    // `cockpitFeedOn` is the application's flag, read on every timer tick. `telemetrySocket` is the
    // receiver's socket, on which the uploads answer the aircraft.
    COrvaneView(TelemetryState& telemetry, NetSocket& telemetrySocket, const int& cockpitFeedOn,
                Notifier& notifier, QWidget* parent = nullptr);
    // Stops the timer and closes the feed socket with the context current.
    ~COrvaneView() override;

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
    // the symbol, the route and the cockpit feed all follow it.
    void showReplay(ReplayScene* replay);

    // Writes the shown telemetry into the cockpit-feed packet.
    void fillCockpitFeed();

    // The timer's repaint decision, frameTickNeedsRepaint.
    static bool tickNeedsRepaint(TelemetryState& telemetry, bool panelShowsLink, std::int32_t nowMs);

    // True once initializeGL has finished (whether or not GL could be set up).
    bool isCreated() const { return created_; }
    // Frames painted so far (every paint, the screenshot's included); a measurement for the
    // frame report, which shows from outside that the view keeps repainting.
    std::uint64_t framesPainted() const { return framesPainted_; }
    // The view's rectangle in screen coordinates (logical pixels) at the last resize with a positive
    // size; double-click positions are scaled by its size into the reference frame.
    const QRect& windowRect() const { return windowRect_; }
    Scene& scene() { return *scene_; }
    const CockpitFeedPacket& cockpitFeedPacket() const { return cockpitFeedPacket_; }
    NetSocket& telemetrySocket() { return telemetrySocket_; }

    // Sends the first eight waypoints to the aircraft (the operator is told when nothing can be sent).
    void uploadWaypoints();
    // Opens a new, independent map dialog on every call.
    void openMapDialog();
    // What the map dialog changes: the map geometry, the texture's picture, and a repaint.
    MapGeometry& mapGeometry() override;
    void loadMapForIndex(int index) override;
    void requestRepaint() override;

    // The scene stretches with the window, so clicks are scaled into one fixed reference frame.
    static constexpr int referenceWidth = 1024;
    static constexpr int referenceHeight = 672;

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void wheelEvent(QWheelEvent* event) override;
    // Waypoints and the buttons under the map. Requests no repaint: the next telemetry-driven
    // frame shows the change.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void onFrameTimer();

    NetSocket& telemetrySocket_;
    const int& cockpitFeedOn_;
    std::unique_ptr<Scene> scene_;
    std::unique_ptr<NetSocket> feedSocket_;
    CockpitFeedPacket cockpitFeedPacket_{};
    QTimer frameTimer_;
    QRect windowRect_;
    int feedPort_ = kCockpitFeedPort;
    bool created_ = false;
    bool glReady_ = false;
    bool initialising_ = false;
    std::uint64_t framesPainted_ = 0;
};
