#include "view/COrvaneView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPalette>
#include <QPlatformSurfaceEvent>
#include <QWheelEvent>
#include <QWidget>

#include <malloc.h>

#include <chrono>
#include <cstdint>

#include "common/Notifier.h"
#include "map/Waypoints.h"
#include "net/NetSocket.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryState.h"
#include "view/BackBuffer.h"
#include "view/FlightDeck.h"
#include "view/ReplayScene.h"
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
                         Notifier& notifier)
    : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate),
      telemetry_(telemetry),
      uploadGate_(uploadGate),
      cockpitFeedOn_(cockpitFeedOn),
      scene_(std::make_unique<Scene>(telemetry, notifier)),
      feedSocket_(std::make_unique<NetSocket>(notifier)) {
    flightDeck_ = std::make_unique<FlightDeck>(
        *scene_, telemetry, [this] { update(); }, steadyMilliseconds);
    // Tiles are read on the loader thread; the view takes them on its own thread.
    scene_->setImageryAccess(
        openImagery, [this] { QMetaObject::invokeMethod(this, "takeMapResults", Qt::QueuedConnection); });
    setFormat(pixelFormat());
    // A native child window takes the keyboard focus when clicked; the keys belong to the frame.
    setFlag(Qt::WindowDoesNotAcceptFocus);
    frameTimer_.setTimerType(Qt::CoarseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &COrvaneView::onFrameTimer);
}

COrvaneView::~COrvaneView() {
    // Ends the native window while this class can still see the surface's end (onDestroy).
    destroy();
    onDestroy();
}

QWidget* COrvaneView::windowContainer() {
    if (container_ != nullptr) return container_;
    QWidget* container = QWidget::createWindowContainer(this);
    container->setFocusPolicy(Qt::NoFocus);
    // What shows where the view will be before its first frame: its own clear colour.
    QPalette palette = container->palette();
    palette.setColor(QPalette::Window, Qt::black);
    container->setPalette(palette);
    container->setAutoFillBackground(true);
    container_ = container;
    return container;
}

bool COrvaneView::event(QEvent* event) {
    if (event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
        onDestroy();
    }
    if (event->type() == QEvent::Leave && flightDeck_) flightDeck_->setCursor(std::nullopt);
    return QOpenGLWindow::event(event);
}

void COrvaneView::onDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    // The context goes with the window; whatever is released now is released with it current.
    const bool current = isValid();
    if (current) makeCurrent();
    frameTimer_.stop();
    // A map dialog changes this view's texture and geometry: it cannot outlive it.
    for (const QPointer<CMapLoadDlg>& dialog : mapDialogs_) delete dialog.data();
    mapDialogs_.clear();
    feedSocket_->close();
    // The loader ends before the view: nothing wakes a view that is gone.
    scene_->closeImagery(current);
    if (current) doneCurrent();
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
    cockpitFeed_.fill(cockpitTelemetry());
}

const TelemetryState& COrvaneView::cockpitTelemetry() const {
    // A pilot glancing at the cockpit display takes it for the aircraft flying now: a replay goes
    // there only when the operator sends it.
    const ReplayScene* replay = scene_->replay();
    return replay != nullptr && replay->toCockpit ? replay->telemetry : telemetry_;
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
    applyCameraForDeviceSize();
    // The scene stretches with the window: every size needs a new frame, and a window that only
    // shrinks gets no exposure that would ask for one.
    update();
}

void COrvaneView::applyCameraForDeviceSize() {
    const qreal ratio = devicePixelRatio();
    const QSize deviceSize(qRound(width() * ratio), qRound(height() * ratio));
    if (deviceSize == cameraDeviceSize_ || deviceSize.isEmpty() || !isValid()) return;
    makeCurrent();
    scene_->resize(deviceSize.width(), deviceSize.height());
    cameraDeviceSize_ = deviceSize;
}

void COrvaneView::paintGL() {
    ++framesPainted_;
    if (initialising_) {
        // Fonts and map are not ready yet: show black rather than a half-built scene.
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene_->invalidateFrame();
        return;
    }
    // Moving to a screen of another pixel ratio changes the device size without a resize.
    applyCameraForDeviceSize();
    // Only what changed is drawn where the back buffer still holds the frame before: the software
    // renderer's frames then cost a fraction of a whole one. A framebuffer object of the view's
    // own would keep it everywhere, but the software renderer copies it to the window by drawing
    // it whole, which costs as much as the map itself.
    if (!backBufferKeepsLastFrame()) scene_->invalidateFrame();
    scene_->drawFrame();
    const FrameDamage::Changes& drawn = scene_->lastFrameChanges();
    if (drawn.whole) ++wholeFramesPainted_;
    for (const PixelRect& r : drawn.rects) drawnPixelsPainted_ += static_cast<double>(r.area());
    viewPixelsPainted_ += static_cast<double>(cameraDeviceSize_.width()) * cameraDeviceSize_.height();
}

QImage COrvaneView::grabFrame() {
    if (!glReady_ || !isValid()) return {};
    makeCurrent();
    paintGL();
    const qreal ratio = devicePixelRatio();
    const QSize deviceSize(qRound(width() * ratio), qRound(height() * ratio));
    QImage picture(deviceSize, QImage::Format_RGB888);
    // QImage rows are padded to four bytes, as GL packs them by default.
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, deviceSize.width(), deviceSize.height(), GL_RGB, GL_UNSIGNED_BYTE, picture.bits());
    // GL rows start at the bottom. The back buffer keeps the frame for the next one to build on.
    return picture.mirrored();
}

void COrvaneView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    if (Scene::isZoomWheelEvent(delta.x(), delta.y())) {
        const QPointF at = event->position();
        scene_->wheelStep(delta.y(), clientToScene(at.x(), at.y(), width(), height()));
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
    if (tickNeedsRepaint(scene_->telemetry(), scene_->lastDrawingShowedLink(), now)) update();
    // A pressed button flashes over the next drawings, one a tick, with or without telemetry.
    if (scene_->buttonFlashPending()) update();
    if (scene_->followStep()) update();
    // Results that came while the view could not take them (before its GL was ready).
    takeMapResults();
    flightDeck_->tick(now);

    cockpitFeed_.tick(cockpitTelemetry(), cockpitFeedOn_, *feedSocket_);

    // The software renderer's many short-lived allocations of every frame leave freed pages all
    // over the main heap, which the allocator keeps resident and which crept up under a long flood;
    // handed back once a second (under a millisecond for its few tens of MiB) resident memory stays
    // flat.
    if (++ticksSinceHeapTrim_ >= kTicksPerHeapTrim) {
        ticksSinceHeapTrim_ = 0;
        ::malloc_trim(0);
    }
}

void COrvaneView::mousePressEvent(QMouseEvent* event) {
    // The view's own window never takes the focus, so without a window manager nothing else would
    // activate the frame on a click into the map.
    if (container_ != nullptr && !container_->window()->isActiveWindow())
        container_->window()->activateWindow();
    if (event->button() == Qt::LeftButton) {
        pressedAt_ = lastDragAt_ = event->position();
        dragging_ = false;
    }
    QOpenGLWindow::mousePressEvent(event);
}

void COrvaneView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QOpenGLWindow::mouseDoubleClickEvent(event);
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
    // Over the frame when the view is in one; onDestroy closes it with the view in any case.
    auto* dialog = new CMapLoadDlg(*this, container_);
    mapDialogs_.removeAll(nullptr);
    mapDialogs_.append(dialog);
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

std::vector<MapOpenRequest> COrvaneView::openedMaps() {
    return openedMaps_ ? openedMaps_() : std::vector<MapOpenRequest>{};
}

void COrvaneView::openMap(const MapOpenRequest& request) {
    scene_->openMap(request);
}

void COrvaneView::takeMapResults() {
    // Making the context current costs the software renderer a round trip to the display: only
    // an opened map has results to take.
    if (!glReady_ || !isValid() || destroyed_ || !scene_->hasImagery()) return;
    makeCurrent();
    const ImageryLayer::Update update = scene_->takeMapResults();
    doneCurrent();
    if (update.newTiles || update.opened) this->update();
    if (update.opened && mapOpenedListener_) mapOpenedListener_(*update.opened);
    for (const std::string& message : update.messages)
        scene_->notifier().showMessage(kApplicationTitle, message);
    if (update.crsWanted) {
        const std::optional<std::string> crs =
            crsQuestion_ ? crsQuestion_(update.crsWanted->path) : std::nullopt;
        if (crs) scene_->openMap({update.crsWanted->path, *crs});
    }
}

void COrvaneView::showCursorAt(const QPointF& position) {
    const ScenePoint at = clientToScene(position.x(), position.y(), width(), height());
    flightDeck_->setCursor(scene_->geoAtScene(at));
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
            scene_->panMapByOperator(to.x - from.x, to.y - from.y);
            lastDragAt_ = position;
            update();
        }
    }
    showCursorAt(position);
    event->accept();
}

void COrvaneView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QOpenGLWindow::mouseReleaseEvent(event);
        return;
    }
    pressedAt_.reset();
    if (dragging_) unsetCursor();
    dragging_ = false;
    event->accept();
}
