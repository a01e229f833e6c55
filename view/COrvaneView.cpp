#include "view/COrvaneView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QWheelEvent>

#include <chrono>
#include <cstdint>

#include "map/Waypoints.h"
#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "view/FlightDeck.h"
#include "view/Scene.h"
#include "view/SceneCamera.h"
#include "view/SurfaceFormat.h"

namespace {

std::int64_t steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// GL set-up failures that Qt lets the view detect.
constexpr int kFailureNoContext = 4;
constexpr int kFailureMakeCurrent = 5;

}  // namespace

COrvaneView::COrvaneView(TelemetryState& telemetry, UploadGate& uploadGate, const int& cockpitFeedOn,
                         Notifier& notifier, QWidget* parent)
    : QOpenGLWidget(parent),
      telemetry_(telemetry),
      uploadGate_(uploadGate),
      cockpitFeedOn_(cockpitFeedOn),
      scene_(std::make_unique<Scene>(telemetry, notifier)),
      feedSocket_(std::make_unique<NetSocket>(notifier)) {
    flightDeck_ = std::make_unique<FlightDeck>(
        *scene_, telemetry, [this] { update(); }, steadyMilliseconds);
    setFormat(pixelFormat());
    // The frame paints every pixel itself; nothing needs erasing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Moves without a button pressed feed the cursor readout.
    setMouseTracking(true);
    frameTimer_.setTimerType(Qt::CoarseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &COrvaneView::onFrameTimer);
}

COrvaneView::~COrvaneView() {
    // GL objects of the scene can only be released with the context current.
    makeCurrent();
    frameTimer_.stop();
    feedSocket_->close();
    feedSocket_.reset();
    flightDeck_.reset();
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
    cockpitFeed_.fill(telemetry_);
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
    const QPoint delta = event->angleDelta();
    if (Scene::isZoomWheelEvent(delta.x(), delta.y())) {
        scene_->wheelStep(delta.y());
        // The picture under the cursor changed.
        showCursorAt(event->position());
        update();
    }
    event->accept();
}

bool COrvaneView::tickNeedsRepaint(TelemetryState& telemetry, bool panelShowsLink, std::int32_t nowMs) {
    return frameTickNeedsRepaint(telemetry, panelShowsLink, nowMs);
}

void COrvaneView::onFrameTimer() {
    const std::int32_t now = programClockMs();
    if (tickNeedsRepaint(telemetry_, scene_->lastDrawingShowedLink(), now)) update();
    // A pressed button flashes over the next drawings, one a tick, with or without telemetry.
    if (scene_->buttonFlashPending()) update();
    flightDeck_->tick(now);

    cockpitFeed_.tick(telemetry_, cockpitFeedOn_, *feedSocket_);
}

void COrvaneView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QOpenGLWidget::mouseDoubleClickEvent(event);
        return;
    }
    const QPointF position = event->position();
    scene_->doubleClick(
        position.x(), position.y(), windowRect_.width(), windowRect_.height(),
        {[this] { uploadWaypoints(); }, [this] { openMapDialog(); }, [] { QApplication::beep(); }});
    // Whatever the click changed shows now, not at the next telemetry line.
    update();
    event->accept();
}

void COrvaneView::uploadWaypoints() {
    ::uploadWaypoints(scene_->waypoints(), uploadGate_, scene_->notifier());
}

void COrvaneView::openMapDialog() {
    auto* dialog = new CMapLoadDlg(*this, this);
    dialog->show();
}

MapGeometry& COrvaneView::mapGeometry() {
    return scene_->mapGeometry();
}

bool COrvaneView::loadMapForIndex(int index, const MapCorners& corners) {
    // The texture belongs to the view's context; without one there is nothing to load into.
    if (!glReady_ || context() == nullptr) return false;
    makeCurrent();
    const bool changed = scene_->changeMap(index, corners);
    doneCurrent();
    return changed;
}

void COrvaneView::requestRepaint() {
    update();
}

void COrvaneView::showCursorAt(const QPointF& position) {
    const ScenePoint at = clientToScene(position.x(), position.y(), width(), height());
    flightDeck_->setCursor(scene_->geoAtScene(at));
}

void COrvaneView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QOpenGLWidget::mousePressEvent(event);
        return;
    }
    pressedAt_ = lastDragAt_ = event->position();
    dragging_ = false;
    event->accept();
}

void COrvaneView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF position = event->position();
    if (pressedAt_ && (event->buttons() & Qt::LeftButton)) {
        if (!dragging_ && (position - *pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
            dragging_ = true;
            setCursor(Qt::ClosedHandCursor);
        }
        if (dragging_) {
            const ScenePoint from = clientToScene(lastDragAt_.x(), lastDragAt_.y(), width(), height());
            const ScenePoint to = clientToScene(position.x(), position.y(), width(), height());
            scene_->panMap(to.x - from.x, to.y - from.y);
            lastDragAt_ = position;
            update();
        }
    }
    showCursorAt(position);
    event->accept();
}

void COrvaneView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QOpenGLWidget::mouseReleaseEvent(event);
        return;
    }
    pressedAt_.reset();
    if (dragging_) unsetCursor();
    dragging_ = false;
    event->accept();
}

void COrvaneView::leaveEvent(QEvent* event) {
    flightDeck_->setCursor(std::nullopt);
    QOpenGLWidget::leaveEvent(event);
}
