#include "app/CMainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <filesystem>

#include "app/CLogbookDlg.h"
#include "app/COrvaneApp.h"
#include "app/CursorReadout.h"
#include "app/OpenedMaps.h"
#include "app/SenderStatusFields.h"
#include "app/TerrainControl.h"
#include "map/LastHeard.h"
#include "map/WaypointFile.h"
#include "record/FlightRecorder.h"
#include "tuning/CGainDlg.h"
#include "view/FlightTarget.h"

namespace {
constexpr const char* kWaypointFileFilter = "GPX files (*.gpx);;All Files (*)";
}  // namespace

CMainFrame::CMainFrame(COrvaneApp& app, QWidget* centralWidget, QWidget* parent)
    : QMainWindow(parent), app_(app) {
    setWindowTitle(QString::fromLatin1(kProfileName));
    setCentralWidget(centralWidget);
    buildMenus();
    buildInertAccelerators();
    showRecentFiles({});
    // Whose telemetry is shown, at the right of the status bar; the map readout on its left.
    senderFields_ = new SenderStatusFields(app_.telemetry.senders, *statusBar());
    cursorReadout_ = new CursorReadout(this);
    statusBar()->addWidget(cursorReadout_, 1);
    flightSettings_ = FlightSettings::load();
    applyFlightSettings();
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

    // Other commands of a flight join this menu; it is made once, after Tuning.
    flightMenu_ = bar->addMenu(QStringLiteral("F&light"));
    recordFlightsAction_ = flightMenu_->addAction(QStringLiteral("&Record Flights"));
    recordFlightsAction_->setCheckable(true);
    connect(recordFlightsAction_, &QAction::toggled, this, [this](bool on) { app_.onRecordFlights(on); });
    QAction* replayAction = flightMenu_->addAction(QStringLiteral("Re&play Recording...\tCtrl+R"));
    replayAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(replayAction, &QAction::triggered, this, [this] { app_.onReplayRecording(); });
    stopReplayAction_ = flightMenu_->addAction(QStringLiteral("S&top Replay"));
    stopReplayAction_->setEnabled(false);
    connect(stopReplayAction_, &QAction::triggered, this, [this] { app_.onStopReplay(); });
    QAction* aircraftAction = flightMenu_->addAction(QStringLiteral("&Aircraft Address..."));
    connect(aircraftAction, &QAction::triggered, this, [this] { app_.onAircraftAddress(); });
    QAction* elevationAction = flightMenu_->addAction(QStringLiteral("&Elevation Data..."));
    connect(elevationAction, &QAction::triggered, this, [this] {
        if (terrainControl_) terrainControl_->showElevationDialog(this);
    });
    QAction* profileAction = flightMenu_->addAction(QStringLiteral("Ro&ute Profile..."));
    connect(profileAction, &QAction::triggered, this, [this] {
        if (terrainControl_) terrainControl_->showRouteProfile(this);
    });
    QAction* logbookAction = flightMenu_->addAction(QStringLiteral("Lo&gbook..."));
    connect(logbookAction, &QAction::triggered, this, &CMainFrame::onLogbook);
    flightMenu_->addSeparator();
    buildFlightMenu(flightMenu_);

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

void CMainFrame::onLogbook() {
    // The recorder writes into this very folder, so its file's path matches a row's.
    const std::filesystem::path folder = std::filesystem::current_path() / kFlightsFolder;
    auto* dialog = new CLogbookDlg(
        // Port 0: each recording is read on the telemetry port it names.
        QString::fromStdString(folder.string()), 0, [this](const QString& path) { app_.startReplay(path); },
        [this] {
            const FlightRecorder* recorder = app_.flightRecorder();
            return recorder != nullptr && recorder->enabled() && !recorder->failed()
                       ? QString::fromStdString(recorder->currentFile().string())
                       : QString();
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void CMainFrame::buildFlightMenu(QMenu* menu) {
    QMenu* trackMenu = menu->addMenu(QStringLiteral("Trac&k"));
    auto* trackGroup = new QActionGroup(this);
    const std::pair<const char*, TrackMode> modes[] = {{"&10 Minutes", TrackMode::LastTenMinutes},
                                                       {"&Whole Flight", TrackMode::WholeFlight},
                                                       {"&Off", TrackMode::Off}};
    for (const auto& [text, mode] : modes) {
        QAction* action = trackMenu->addAction(QString::fromLatin1(text));
        action->setCheckable(true);
        trackGroup->addAction(action);
        trackActions_.append(action);
        connect(action, &QAction::triggered, this, [this, mode = mode] {
            flightSettings_.trackMode = mode;
            flightSettings_.save();
            if (flightTarget_) flightTarget_->setTrackMode(mode);
        });
    }
    QAction* clearTrack = menu->addAction(QStringLiteral("&Clear Track"));
    connect(clearTrack, &QAction::triggered, this, [this] {
        if (flightTarget_) flightTarget_->clearTrack();
    });
    menu->addSeparator();
    QAction* save = menu->addAction(QStringLiteral("&Save Waypoints..."));
    connect(save, &QAction::triggered, this, &CMainFrame::onSaveWaypoints);
    QAction* load = menu->addAction(QStringLiteral("&Load Waypoints..."));
    connect(load, &QAction::triggered, this, &CMainFrame::onLoadWaypoints);
    copyLastPositionAction_ = menu->addAction(QStringLiteral("Copy Last Posit&ion"));
    connect(copyLastPositionAction_, &QAction::triggered, this, &CMainFrame::onCopyLastPosition);
    saveLastPositionAction_ = menu->addAction(QStringLiteral("Save Last Positio&n..."));
    connect(saveLastPositionAction_, &QAction::triggered, this, &CMainFrame::onSaveLastPosition);
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateLastPositionActions);
    updateLastPositionActions();
    menu->addSeparator();
    QAction* openMap = menu->addAction(QStringLiteral("&Open Map..."));
    connect(openMap, &QAction::triggered, this, &CMainFrame::onOpenMap);
    followAction_ = menu->addAction(QStringLiteral("&Follow Aircraft\tF"));
    followAction_->setCheckable(true);
    followAction_->setShortcut(QKeySequence(Qt::Key_F));
    connect(followAction_, &QAction::toggled, this, [this](bool follow) {
        flightSettings_.followAircraft = follow;
        flightSettings_.save();
        if (flightTarget_) flightTarget_->setFollowAircraft(follow);
    });
    QAction* resetView = menu->addAction(QStringLiteral("Reset Map &View\tCtrl+0"));
    resetView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(resetView, &QAction::triggered, this, [this] {
        if (flightTarget_) flightTarget_->resetMapView();
    });
    statusBarAction_ = menu->addAction(QStringLiteral("Status &Bar"));
    statusBarAction_->setCheckable(true);
    connect(statusBarAction_, &QAction::toggled, this, [this](bool shown) {
        flightSettings_.statusBarShown = shown;
        flightSettings_.save();
        statusBar()->setVisible(shown);
    });
    muteAction_ = menu->addAction(QStringLiteral("&Mute Alarms"));
    muteAction_->setCheckable(true);
    connect(muteAction_, &QAction::toggled, this, [this](bool muted) {
        flightSettings_.alarmsMuted = muted;
        flightSettings_.save();
        if (flightTarget_) flightTarget_->setAlarmsMuted(muted);
    });
}

void CMainFrame::applyFlightSettings() {
    const FlightSettings settings = flightSettings_;
    for (int i = 0; i < trackActions_.size(); ++i) {
        trackActions_[i]->setChecked(static_cast<int>(settings.trackMode) == i);
    }
    statusBarAction_->setChecked(settings.statusBarShown);
    statusBar()->setVisible(settings.statusBarShown);
    muteAction_->setChecked(settings.alarmsMuted);
    followAction_->setChecked(settings.followAircraft);
}

void CMainFrame::setFlightTarget(FlightTarget* target) {
    flightTarget_ = target;
    if (!target) return;
    target->setTrackMode(flightSettings_.trackMode);
    target->setAlarmsMuted(flightSettings_.alarmsMuted);
    target->setFollowAircraft(flightSettings_.followAircraft);
}

QString CMainFrame::promptMapFileName() {
    return QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Map"), QString(),
        QStringLiteral("Maps (*.tif *.tiff *.png *.jpg *.jpeg *.bmp *.mbtiles);;All files (*)"));
}

void CMainFrame::onOpenMap() {
    if (!flightTarget_) return;
    const QString path = promptMapFileName();
    if (path.isEmpty()) return;
    flightTarget_->openMap({mapPathOfChoice(path.toStdString()), {}});
}

QString CMainFrame::promptWaypointFileName(bool forSaving) {
    const QString filter = QString::fromLatin1(kWaypointFileFilter);
    return forSaving
               ? QFileDialog::getSaveFileName(this, QStringLiteral("Save Waypoints"),
                                              QStringLiteral("waypoints.gpx"), filter)
               : QFileDialog::getOpenFileName(this, QStringLiteral("Load Waypoints"), QString(), filter);
}

void CMainFrame::onSaveWaypoints() {
    if (!flightTarget_) return;
    const QString path = promptWaypointFileName(true);
    if (path.isEmpty()) return;
    std::string error;
    if (!writeWaypointFile(path.toStdString(), waypointList(flightTarget_->flightWaypoints()), error)) {
        app_.notifier.showMessage(kApplicationTitle, error);
    }
}

void CMainFrame::onLoadWaypoints() {
    if (!flightTarget_) return;
    const QString path = promptWaypointFileName(false);
    if (path.isEmpty()) return;
    const WaypointFileRead read = loadWaypointFile(flightTarget_->flightWaypoints(),
                                                   flightTarget_->flightMapGeometry(), path.toStdString());
    if (read.ok) flightTarget_->waypointsReplaced();
    app_.notifier.showMessage(kApplicationTitle, read.message);
}

void CMainFrame::updateLastPositionActions() {
    const bool known = flightTarget_ != nullptr && flightTarget_->lastPosition().has_value();
    copyLastPositionAction_->setEnabled(known);
    saveLastPositionAction_->setEnabled(known);
}

void CMainFrame::onCopyLastPosition() {
    const std::optional<LastFix> fix = flightTarget_ ? flightTarget_->lastPosition() : std::nullopt;
    if (!fix) return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(formatLastPosition(*fix)));
}

QString CMainFrame::promptLastPositionFileName(const QString& suggested) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Last Position"), suggested,
                                        QString::fromLatin1(kWaypointFileFilter));
}

void CMainFrame::onSaveLastPosition() {
    const std::optional<LastFix> fix = flightTarget_ ? flightTarget_->lastPosition() : std::nullopt;
    if (!fix) return;
    // The fix is taken when the command is given: lines that come while the chooser is open do not
    // change what is saved.
    const QString path = promptLastPositionFileName(QStringLiteral("last-position.gpx"));
    if (path.isEmpty()) return;
    std::string error;
    if (!writeLastPositionFile(path.toStdString(), *fix, error))
        app_.notifier.showMessage(kApplicationTitle, error);
}
