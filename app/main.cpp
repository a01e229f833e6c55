#include <QApplication>

#include "app/COrvaneApp.h"
#include "view/COrvaneView.h"

// The one application object. Its constructor runs before main and touches no Qt object.
static COrvaneApp orvaneApp;

int main(int argc, char** argv) {
    // Every context is created with the view's format, so it has to be the default before Qt starts.
    COrvaneView::applyPixelFormat();
    QApplication application(argc, argv);

    if (!orvaneApp.initApplication()) return orvaneApp.exitInstance(1);
    if (!orvaneApp.initInstance(QApplication::arguments())) return orvaneApp.exitInstance(1);
    return orvaneApp.exitInstance(QApplication::exec());
}
