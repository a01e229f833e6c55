// orvane-bench-floor: what the platform alone costs. A maximised main window with a menu bar, like
// the program's, whose OpenGL area only clears and is repainted every 100 ms, like the program's
// view under telemetry. "widget" puts a QOpenGLWidget in it (the toolkit composes the widget's
// framebuffer into the window on every frame); "window" puts a QOpenGLWindow in a window container,
// which draws straight into its own native window. It prints the time from its start to its first
// frame, as the program does; orvane-bench measures the rest from outside.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QOpenGLWindow>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "common/ProcessStat.h"
#include "view/SurfaceFormat.h"

namespace {

constexpr int kRepaintIntervalMs = 100;

// Prints the start-up figure at the first frame `view` shows (QOpenGLWidget or QOpenGLWindow).
template <typename View>
void reportFirstFrame(View* view) {
    auto* connection = new QMetaObject::Connection;
    *connection = QObject::connect(view, &View::frameSwapped, view, [connection] {
        QObject::disconnect(*connection);
        delete connection;
        std::printf("first frame: %.0f ms after the process started\n", millisecondsSinceProcessStart());
        std::fflush(stdout);
    });
}

class ClearingWidget : public QOpenGLWidget {
protected:
    void paintGL() override {
        QOpenGLFunctions* gl = context()->functions();
        gl->glClearColor(0, 0, 0, 0);
        gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
};

class ClearingWindow : public QOpenGLWindow {
protected:
    void paintGL() override {
        QOpenGLFunctions* gl = context()->functions();
        gl->glClearColor(0, 0, 0, 0);
        gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const bool widget = argc == 2 && std::strcmp(argv[1], "widget") == 0;
    const bool window = argc == 2 && std::strcmp(argv[1], "window") == 0;
    if (!widget && !window) {
        std::fprintf(stderr, "usage: orvane-bench-floor widget|window\n");
        return 2;
    }
    QSurfaceFormat::setDefaultFormat(viewSurfaceFormat());
    QApplication application(argc, argv);

    QMainWindow frame;
    frame.menuBar()->addMenu(QStringLiteral("&File"));
    QTimer repaint;
    if (widget) {
        auto* view = new ClearingWidget;
        view->setAttribute(Qt::WA_OpaquePaintEvent);
        frame.setCentralWidget(view);
        reportFirstFrame(view);
        QObject::connect(&repaint, &QTimer::timeout, view, [view] { view->update(); });
    } else {
        auto* view = new ClearingWindow;
        frame.setCentralWidget(QWidget::createWindowContainer(view));
        reportFirstFrame(view);
        QObject::connect(&repaint, &QTimer::timeout, view, [view] { view->update(); });
    }
    repaint.setTimerType(Qt::CoarseTimer);
    repaint.start(kRepaintIntervalMs);
    // Placed like the program's main window: without a window manager a maximise request changes
    // nothing, so it starts at the full work area.
    if (const QScreen* screen = frame.screen()) frame.setGeometry(screen->availableGeometry());
    frame.showMaximized();
    return QApplication::exec();
}
