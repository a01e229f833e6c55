#include "app/CMainFrame.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "app/COrvaneApp.h"
#include "app/SenderStatusFields.h"
#include "tuning/CGainDlg.h"

CMainFrame::CMainFrame(COrvaneApp& app, QWidget* centralWidget, QWidget* parent)
    : QMainWindow(parent), app_(app) {
    setWindowTitle(QString::fromLatin1(kProfileName));
    setCentralWidget(centralWidget);
    buildMenus();
    buildInertAccelerators();
    showRecentFiles({});
    // Whose telemetry is shown, at the right of the status bar; the rest of the bar is free.
    senderFields_ = new SenderStatusFields(app_.telemetry.senders, *statusBar());
}

void CMainFrame::buildMenus() {
    QMenuBar* bar = menuBar();

    // The text after the tab is the shortcut column the menu shows; the key itself is set apart.
    fileMenu_ = bar->addMenu(QStringLiteral("&File"));
    QAction* newAction = fileMenu_->addAction(QStringLiteral("&New\tCtrl+N"));
    newAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(newAction, &QAction::triggered, this, [this] { app_.onFileNew(); });
    QAction* openAction = fileMenu_->addAction(QStringLiteral("&Open...\tCtrl+O"));
    openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(openAction, &QAction::triggered, this, [this] { app_.onFileOpen(); });
    QAction* saveAction = fileMenu_->addAction(QStringLiteral("&Save\tCtrl+S"));
    saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(saveAction, &QAction::triggered, this, [this] { app_.onFileSave(); });
    QAction* saveAsAction = fileMenu_->addAction(QStringLiteral("Save &As..."));
    connect(saveAsAction, &QAction::triggered, this, [this] { app_.onFileSaveAs(); });
    fileMenu_->addSeparator();
    recentFilesEnd_ = fileMenu_->addSeparator();
    QAction* exitAction = fileMenu_->addAction(QStringLiteral("E&xit"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    QMenu* guiMenu = bar->addMenu(QStringLiteral("&GUI"));
    QAction* cockpitAction = guiMenu->addAction(QStringLiteral("&Cockpit Display"));
    connect(cockpitAction, &QAction::triggered, this, [this] { app_.onCockpitDisplay(); });

    QMenu* tuningMenu = bar->addMenu(QStringLiteral("&Tuning"));
    QAction* gainAction = tuningMenu->addAction(QStringLiteral("Control &Gain"));
    connect(gainAction, &QAction::triggered, this, &CMainFrame::onControlGain);

    QMenu* flightMenu = bar->addMenu(QStringLiteral("F&light"));
    recordFlightsAction_ = flightMenu->addAction(QStringLiteral("&Record Flights"));
    recordFlightsAction_->setCheckable(true);
    connect(recordFlightsAction_, &QAction::toggled, this, [this](bool on) { app_.onRecordFlights(on); });
    QAction* replayAction = flightMenu->addAction(QStringLiteral("Re&play Recording...\tCtrl+R"));
    replayAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(replayAction, &QAction::triggered, this, [this] { app_.onReplayRecording(); });
    stopReplayAction_ = flightMenu->addAction(QStringLiteral("S&top Replay"));
    stopReplayAction_->setEnabled(false);
    connect(stopReplayAction_, &QAction::triggered, this, [this] { app_.onStopReplay(); });
    QAction* aircraftAction = flightMenu->addAction(QStringLiteral("&Aircraft Address..."));
    connect(aircraftAction, &QAction::triggered, this, [this] { app_.onAircraftAddress(); });

    QMenu* helpMenu = bar->addMenu(QStringLiteral("&Help"));
    QAction* aboutAction = helpMenu->addAction(QStringLiteral("&About Orvane..."));
    connect(aboutAction, &QAction::triggered, this, [this] { app_.onAppAbout(); });
}

void CMainFrame::buildInertAccelerators() {
    const QList<QList<QKeySequence>> keys = {
        {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)},  // undo
        {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)},   // cut
        {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)},    // copy
        {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)},   // paste
        {QKeySequence(Qt::Key_F6)},                                                       // next pane
        {QKeySequence(Qt::SHIFT | Qt::Key_F6)},                                           // previous pane
    };
    for (const QList<QKeySequence>& sequences : keys) {
        auto* action = new QAction(this);
        action->setShortcuts(sequences);
        addAction(action);
        inertAccelerators_.append(action);
    }
}

void CMainFrame::showRecentFiles(const QStringList& menuTexts) {
    for (QAction* action : recentFileActions_) {
        fileMenu_->removeAction(action);
        action->deleteLater();
    }
    recentFileActions_.clear();

    if (menuTexts.isEmpty()) {
        auto* placeholder = new QAction(QStringLiteral("Recent File"), fileMenu_);
        placeholder->setEnabled(false);
        fileMenu_->insertAction(recentFilesEnd_, placeholder);
        recentFileActions_.append(placeholder);
        return;
    }
    for (int i = 0; i < menuTexts.size(); ++i) {
        auto* action = new QAction(menuTexts[i], fileMenu_);
        connect(action, &QAction::triggered, this, [this, i] { app_.onFileMruFile(i); });
        fileMenu_->insertAction(recentFilesEnd_, action);
        recentFileActions_.append(action);
    }
}

void CMainFrame::onControlGain() {
    // Each command opens another dialog; the frame keeps none of them, each deletes itself on close.
    auto* dialog = new CGainDlg(app_.uploadGate, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}
