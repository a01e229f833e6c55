#include "view/COrvaneView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>

#include <cstdint>

#include "map/Waypoints.h"
#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "view/Scene.h"
#include "view/SurfaceFormat.h"

namespace {

// GL set-up failures that Qt lets the view detect.
constexpr int kFailureNoContext = 4;
constexpr int kFailureMakeCurrent = 5;

}  // namespace

COrvaneView::COrvaneView(TelemetryState& telemetry, NetSocket& telemetrySocket, const int& cockpitFeedOn,
                         Notifier& notifier, QWidget* parent)
    : QOpenGLWidget(parent),
      telemetrySocket_(telemetrySocket),
      cockpitFeedOn_(cockpitFeedOn),
      scene_(std::make_unique<Scene>(telemetry, notifier)),
      feedSocket_(std::make_unique<NetSocket>(notifier)) {
    setFormat(pixelFormat());
    // The frame paints every pixel itself; nothing needs erasing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    frameTimer_.setTimerType(Qt::CoarseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &COrvaneView::onFrameTimer);
}

COrvaneView::~COrvaneView() {
    // GL objects of the scene can only be released with the context current.
    makeCurrent();
    frameTimer_.stop();
    feedSocket_->close();
    feedSocket_.reset();
    scene_.reset();
    doneCurrent();
}

QSurfaceFormat COrvaneView::pixelFormat() {
    return viewSurfaceFormat();
}

void COrvaneView::applyPixelFormat() {
    QSurfaceFormat::setDefaultFormat(pixelFormat());
}

void COrvaneView::reportGlFailure(int /*code*/) {}

void COrvaneView::applyViewport(int width, int height) {
    scene_->applyViewport(width, height);
}
void COrvaneView::applyProjection(double aspect) {
    scene_->applyProjection(aspect);
}
void COrvaneView::applyEyeTransform() {
    scene_->applyEyeTransform();
}
void COrvaneView::buildFonts() {
    scene_->buildFonts();
}
void COrvaneView::drawStatusPanel() {
    scene_->drawStatusPanel();
}
void COrvaneView::drawWaypointMarks() {
    scene_->drawWaypointMarks();
}
void COrvaneView::drawWaypointPanel() {
    scene_->drawWaypointPanel();
}
void COrvaneView::drawAircraftSymbol() {
    scene_->drawAircraftSymbol();
}
void COrvaneView::drawMap() {
    scene_->drawMap();
}
void COrvaneView::drawText(float x, float y, int colorIndex, float size, const char* text) const {
    scene_->drawText(x, y, colorIndex, size, text);
}

void COrvaneView::fillCockpitFeed() {
    ::fillCockpitFeed(scene_->telemetry(), cockpitFeedPacket_);
}

void COrvaneView::showReplay(ReplayScene* replay) {
    scene_->showReplay(replay);
    update();
}

void COrvaneView::initializeGL() {
    QOpenGLContext* glContext = context();
    if (glContext == nullptr || !glContext->isValid()) {
        reportGlFailure(kFailureNoContext);
    } else if (QOpenGLContext::currentContext() != glContext) {
        reportGlFailure(kFailureMakeCurrent);
    } else {
        // The map loader may show a message box here, whose event loop can ask for a frame.
        initialising_ = true;
        scene_->initGl();
        initialising_ = false;
        glReady_ = true;
    }

    // A view without GL still runs its timer and the cockpit feed.
    frameTimer_.start(kFrameIntervalMs);
    feedSocket_->startup();
    feedSocket_->create("UDP");
    feedSocket_->connectTo(kCockpitFeedHost, feedPort_);
    created_ = true;
}

void COrvaneView::resizeGL(int width, int height) {
    if (width <= 0 || height <= 0) return;
    windowRect_ = QRect(mapToGlobal(QPoint(0, 0)), QSize(width, height));
    const qreal ratio = devicePixelRatioF();
    scene_->resize(qRound(width * ratio), qRound(height * ratio));
}

void COrvaneView::paintGL() {
    ++framesPainted_;
    if (initialising_) {
        // Fonts and map are not ready yet: show black rather than a half-built scene.
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    scene_->drawFrame();
}

void COrvaneView::wheelEvent(QWheelEvent* event) {
    scene_->wheelStep(event->angleDelta().y());
    update();
    event->accept();
}

bool COrvaneView::tickNeedsRepaint(TelemetryState& telemetry, bool panelShowsLink, std::int32_t nowMs) {
    return frameTickNeedsRepaint(telemetry, panelShowsLink, nowMs);
}

void COrvaneView::onFrameTimer() {
    if (tickNeedsRepaint(scene_->telemetry(), scene_->lastDrawingShowedLink(), programClockMs())) update();

    if (cockpitFeedOn_ == 1) {
        fillCockpitFeed();
        feedSocket_->sendData(cockpitFeedPacket_.bytes.data(), kCockpitFeedSize);
    }
}

void COrvaneView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QOpenGLWidget::mouseDoubleClickEvent(event);
        return;
    }
    const QPointF position = event->position();
    const auto at = toReferenceFrame(position.x(), position.y(), windowRect_.width(), windowRect_.height(),
                                     referenceWidth, referenceHeight);
    if (!at) return;
    dispatchDoubleClick(
        scene_->waypoints(), scene_->mapGeometry(), *at,
        {[this] { uploadWaypoints(); }, [this] { openMapDialog(); }, [] { QApplication::beep(); }});
    event->accept();
}

void COrvaneView::uploadWaypoints() {
    ::uploadWaypoints(scene_->waypoints(), telemetrySocket_, scene_->notifier());
}

void COrvaneView::openMapDialog() {
    auto* dialog = new CMapLoadDlg(*this, this);
    dialog->show();
}

MapGeometry& COrvaneView::mapGeometry() {
    return scene_->mapGeometry();
}

void COrvaneView::loadMapForIndex(int index) {
    // The texture belongs to the view's context; without one there is nothing to load into.
    if (!glReady_ || context() == nullptr) return;
    makeCurrent();
    scene_->loadMapForIndex(index);
    doneCurrent();
}

void COrvaneView::requestRepaint() {
    update();
}
