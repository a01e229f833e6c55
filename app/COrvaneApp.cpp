#include "app/COrvaneApp.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "app/AppIcon.h"
#include "app/CAboutDlg.h"
#include "app/CAircraftAddressDlg.h"
#include "app/CMainFrame.h"
#include "app/CursorReadout.h"
#include "app/OpenedMaps.h"
#include "app/ReplayBar.h"
#include "app/ReplayController.h"
#include "app/StartupReport.h"
#include "app/TerrainControl.h"
#include "app/UserFolder.h"
#include "common/ProcessStat.h"
#include "net/CockpitFeed.h"
#include "net/NetSocket.h"
#include "net/TelemetryReceiver.h"
#include "record/FlightRecorder.h"
#include "view/COrvaneView.h"
#include "view/FlightDeck.h"

namespace {

constexpr const char* kSocketsFailedText = "Windows sockets initialization failed.";
constexpr const char* kOpenFailedText = "Failed to open document.";
constexpr const char* kSaveFailedText = "Failed to save document.";
constexpr const char* kFileHasContentText =
    "%1 already holds data. The document is empty, so nothing was written over it.";
constexpr const char* kFileFilter = "All Files (*)";
// How often the screenshot option looks again while a box is open or the view is not created yet.
constexpr int kScreenshotRetryMs = 100;
constexpr int kSettleAfterFirstFrameMs = 2000;
constexpr int kFrameReportIntervalMs = 1000;
// Writes `picture` as a PNG file in place of `file`; why it could not, or nothing. The file is
// flushed and checked before it replaces what was there, so a full disk leaves no empty picture.
QString writePicture(const QImage& picture, const QString& file) {
    if (picture.isNull()) return QStringLiteral("the view gave no picture");
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return out.errorString();
    if (!picture.save(&out, "PNG") || !out.flush() || out.error() != QFileDevice::NoError) {
        const QString reason = out.error() != QFileDevice::NoError
                                   ? out.errorString()
                                   : QStringLiteral("the PNG could not be made");
        out.cancelWriting();
        return reason;
    }
    if (!out.commit()) return out.errorString();
    return {};
}

// Where the profile keeps the pinned aircraft address.
constexpr const char* kAircraftAddressKey = "Flight/Aircraft Address";

// An alarm's start or end on standard error, with the time, so that it can be read back from the
// journal.
void writeAlarmJournal(const std::string& line) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char stamp[32] = "";
    if (gmtime_r(&now, &utc) != nullptr) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::fprintf(stderr, "%s %s\n", stamp, line.c_str());
}

}  // namespace

COrvaneApp::COrvaneApp()
    : telemetrySocket(new NetSocket(notifier)),
      uploadGate(*telemetrySocket, telemetry.senders, asker, notifier, programClockMs),
      telemetryDecoder_(new TelemetryDecoder(telemetry)) {
    telemetry.newData = 0;
    telemetry.linkAlive = 0;
    cockpitFeedOn = 0;
}

COrvaneApp::~COrvaneApp() = default;

std::optional<int> COrvaneApp::initApplication() {
    // The receiver binds as soon as it starts, so where it listens and whom it believes must be
    // known first.
    commandLine_ = parseCommandLine(QCoreApplication::arguments());
    if (!commandLine_.error.isEmpty())
        return refuseCommandLine(orvaneProgram(), commandLine_.error.toStdString());
    anchorCommandLinePaths(commandLine_, QDir::currentPath());
    const CommandLine& commandLine = commandLine_;
    // Armed before anything can raise a box (the user folder, the profile's address, a document
    // that cannot be opened, the map): each box runs its own event loop, in which the screenshot
    // option must still be able to close it.
    if (!commandLine.screenshotFile.isEmpty()) {
        armScreenshot(commandLine.screenshotFile, commandLine.screenshotAfterSeconds);
    }
    // Before the recorder is made, so that flights are recorded in the folder the program works in.
    if (commandLine.userFolder && !enterUserFolder(notifier)) return 1;

    telemetrySocket->setBindAddress(commandLine.listenAddress);
    telemetryPort_ = commandLine.telemetryPort;
    if (commandLine.aircraft) {
        telemetry.senders.pin(commandLine.aircraft);
        aircraftText_ = commandLine.aircraftText;
    } else {
        pinProfileAircraftAddress();
    }

    // Before the receiver starts, so that the first datagram is recorded too.
    startFlightRecorder(!commandLine.noRecord);
    startTelemetryReceiver();
    // Message boxes can appear before the main window exists (the receiver's, the map loader's);
    // closing one of them must not end the program. The main window's end quits instead.
    QApplication::setQuitOnLastWindowClosed(false);
    return std::nullopt;
}

void COrvaneApp::startTelemetryReceiver() {
    std::thread(&COrvaneApp::telemetryReceiverThread, this).detach();
}

void COrvaneApp::telemetryReceiverThread() {
    TelemetryReceiver receiver(
        *telemetrySocket,
        [this](const char* bytes, std::size_t length) { parseTelemetryLine(bytes, length); }, telemetryPort_);
    receiver.screenSenders(telemetry.senders, programClockMs);
    receiver.run();
}

void COrvaneApp::parseTelemetryLine(const char* text, std::size_t length) {
    telemetryDecoder_->decode(text, length);
}

bool COrvaneApp::initInstance() {
    NetSocket socketLayer(notifier);
    if (socketLayer.startup() == 0) {
        notifier.showMessage(kApplicationTitle, kSocketsFailedText);
        return false;
    }

    loadStdProfileSettings();
    QApplication::setWindowIcon(makeApplicationIcon());

    const CommandLine& commandLine = commandLine_;
    view_ = new COrvaneView(telemetry, uploadGate, cockpitFeedOn, notifier);
    CMainFrame* frame = createDocumentAndFrame(view_->windowContainer());
    frame->setFlightTarget(&view_->flightDeck());
    connectOpenedMaps(*view_, frame);
    if (!commandLine.mapFile.isEmpty())
        view_->openMap({commandLine.mapFile.toStdString(), commandLine.mapCrs.toStdString()});
    view_->flightDeck().setReadoutListener(
        [frame](const MapReadout& readout) { frame->cursorReadout()->showReadout(readout); });
    view_->flightDeck().setAlarmJournal(writeAlarmJournal);
    std::vector<std::string> elevationPaths;
    for (const QString& path : commandLine.elevationPaths) elevationPaths.push_back(path.toStdString());
    terrain_ = std::make_unique<TerrainControl>(elevationPaths, view_->flightDeck(), notifier);
    frame->setTerrainControl(terrain_.get());
    QObject::connect(frame, &QObject::destroyed, qApp, [this] {
        view_ = nullptr;
        terrain_.reset();
        QCoreApplication::quit();
    });

    if (commandLine.reportStartup) armStartupReport();
    if (commandLine.reportFrames) armFrameReport();

    if (!processShellCommand(commandLine)) return false;
    showMainFrame();
    if (!commandLine.replayFile.isEmpty()) startReplay(commandLine.replayFile);
    return true;
}

bool COrvaneApp::processShellCommand(const CommandLine& commandLine) {
    if (commandLine.documentFile.isEmpty()) {
        onFileNew();
        return true;
    }
    return openDocumentFile(commandLine.documentFile);
}

void COrvaneApp::showMainFrame() {
    CMainFrame* frame = mainFrame();
    if (frame == nullptr) return;
    frame->setWindowTitle(QString::fromLatin1(kMainWindowCaption));
    // Without a window manager a maximise request changes nothing, so start at the full work area.
    if (const QScreen* screen = frame->screen()) frame->setGeometry(screen->availableGeometry());
    frame->showMaximized();
    frame->update();
}

int COrvaneApp::exitInstance(int exitCode) {
    delete mainFrame_.data();
    // The last note and a closed file: a clean exit leaves a complete recording.
    if (flightRecorder_ != nullptr) flightRecorder_->stop();
    return exitCode;
}

CMainFrame* COrvaneApp::createDocumentAndFrame(QWidget* centralWidget) {
    document_ = std::make_unique<COrvaneDoc>();
    auto* frame = new CMainFrame(*this, centralWidget);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    mainFrame_ = frame;
    QStringList texts;
    for (int i = 0; i < recentFiles_.entries().size(); ++i) texts.append(recentFiles_.menuText(i));
    frame->showRecentFiles(texts);
    {
        const QSignalBlocker quiet(frame->recordFlightsAction());
        frame->recordFlightsAction()->setChecked(flightRecorder_ != nullptr && flightRecorder_->enabled());
    }
    replay_ = new ReplayController(ReplayClock::steadyMicros, frame);
    replayBar_ = new ReplayBar(*replay_, frame);
    frame->addToolBar(Qt::BottomToolBarArea, replayBar_);
    replayBar_->hide();
    QObject::connect(replayBar_, &ReplayBar::closeRequested, frame, [this] { onStopReplay(); });
    QObject::connect(replay_, &ReplayController::changed, frame, [this] {
        // A command shows its moment at once, not at the view's next tick.
        if (view_ != nullptr && replay_->scene().telemetry.newData.exchange(0) == 1) view_->update();
    });
    return frame;
}

CMainFrame* COrvaneApp::mainFrame() const {
    return mainFrame_.data();
}

void COrvaneApp::loadStdProfileSettings() {
    recentFiles_.load();
}

void COrvaneApp::onFileNew() {
    // The document is never modified, so there is nothing to ask before replacing it.
    if (document_) document_->onNewDocument();
}

void COrvaneApp::onFileOpen() {
    const QString path = promptOpenFileName();
    if (!path.isEmpty()) openDocumentFile(path);
}

void COrvaneApp::onFileSave() {
    if (!document_) return;
    if (document_->pathName().isEmpty()) {
        onFileSaveAs();
        return;
    }
    saveDocument(document_->pathName());
}

void COrvaneApp::onFileSaveAs() {
    const QString path = promptSaveFileName();
    if (!path.isEmpty()) saveDocumentAs(path);
}

void COrvaneApp::onFileMruFile(int index) {
    if (!document_ || index < 0 || index >= recentFiles_.entries().size()) return;
    const QString path = recentFiles_.entries()[index];
    if (document_->onOpenDocument(path)) {
        addToRecentFileList(document_->pathName());
        return;
    }
    notifier.showMessage(kApplicationTitle, kOpenFailedText);
    // A file that is gone is taken off the list rather than offered again.
    recentFiles_.remove(index);
    addToRecentFileList({});
}

bool COrvaneApp::openDocumentFile(const QString& path) {
    if (!document_ || !document_->onOpenDocument(path)) {
        notifier.showMessage(kApplicationTitle, kOpenFailedText);
        return false;
    }
    addToRecentFileList(document_->pathName());
    return true;
}

bool COrvaneApp::saveDocumentAs(const QString& path) {
    if (!saveDocument(path)) return false;
    addToRecentFileList(document_->pathName());
    return true;
}

bool COrvaneApp::saveDocument(const QString& path) {
    const COrvaneDoc::SaveResult result =
        document_ ? document_->onSaveDocument(path) : COrvaneDoc::SaveResult::failed;
    switch (result) {
        case COrvaneDoc::SaveResult::saved:
            return true;
        case COrvaneDoc::SaveResult::fileHasContent:
            notifier.showMessage(kApplicationTitle,
                                 QString::fromLatin1(kFileHasContentText).arg(path).toStdString());
            return false;
        case COrvaneDoc::SaveResult::failed:
            break;
    }
    notifier.showMessage(kApplicationTitle, kSaveFailedText);
    return false;
}

void COrvaneApp::addToRecentFileList(const QString& path) {
    recentFiles_.add(path);
    recentFiles_.save();
    if (CMainFrame* frame = mainFrame()) {
        QStringList texts;
        for (int i = 0; i < recentFiles_.entries().size(); ++i) texts.append(recentFiles_.menuText(i));
        frame->showRecentFiles(texts);
    }
}

QString COrvaneApp::promptOpenFileName() {
    return QFileDialog::getOpenFileName(mainFrame(), QStringLiteral("Open"), QString(),
                                        QString::fromLatin1(kFileFilter));
}

QString COrvaneApp::promptSaveFileName() {
    const QString suggested =
        document_ && !document_->pathName().isEmpty() ? document_->pathName() : QStringLiteral("Untitled");
    return QFileDialog::getSaveFileName(mainFrame(), QStringLiteral("Save As"), suggested,
                                        QString::fromLatin1(kFileFilter));
}

void COrvaneApp::onAppAbout() {
    CAboutDlg about(mainFrame());
    about.exec();
}

void COrvaneApp::onCockpitDisplay() {
    cockpitFeedOn = 1;
    // Whether the cockpit program could be started is not looked at: the feed runs either way.
    startCockpitDisplay();
}

void COrvaneApp::onAircraftAddress() {
    CAircraftAddressDlg dialog(
        aircraftText_, [this](const QString& text) { return setAircraftAddress(text); }, mainFrame());
    dialog.exec();
}

QString COrvaneApp::setAircraftAddress(const QString& text, const NameResolver& resolve) {
    std::optional<AircraftAddress> aircraft;
    if (!text.isEmpty()) {
        AircraftAddress parsed;
        const std::string refused = parseAircraftAddress(text.toStdString(), parsed, resolve);
        if (!refused.empty()) return QString::fromStdString(refused);
        aircraft = parsed;
    }
    telemetry.senders.pin(aircraft);
    aircraftText_ = text;
    QSettings settings(kRegistryKey, kProfileName);
    if (text.isEmpty()) {
        settings.remove(kAircraftAddressKey);
    } else {
        settings.setValue(kAircraftAddressKey, text);
    }
    settings.sync();
    return {};
}

void COrvaneApp::pinProfileAircraftAddress() {
    const QString stored = QSettings(kRegistryKey, kProfileName).value(kAircraftAddressKey).toString();
    if (stored.isEmpty()) return;
    AircraftAddress aircraft;
    const std::string refused = parseAircraftAddress(stored.toStdString(), aircraft);
    if (refused.empty()) {
        telemetry.senders.pin(aircraft);
        aircraftText_ = stored;
        return;
    }
    notifier.showMessage(kApplicationTitle, "The aircraft address kept in the settings, \"" +
                                                stored.toStdString() + "\", cannot be used: " + refused +
                                                " Telemetry is taken from any sender until an address is set "
                                                "with Flight > Aircraft Address.");
}

void COrvaneApp::armScreenshot(const QString& file, double afterSeconds) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(kScreenshotRetryMs);
    QObject::connect(poll, &QTimer::timeout, qApp, [this, poll, file] {
        // Boxes (a missing map picture, a busy telemetry port) would otherwise wait for an operator.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
                box->done(QMessageBox::Ok);
            }
        }
        if (QApplication::activeModalWidget() != nullptr) return;
        // Armed before the view exists; the picture is of its first frames.
        if (view_ == nullptr || !view_->isCreated()) return;
        poll->stop();
        poll->deleteLater();
        const QString problem = writePicture(view_->grabFrame(), file);
        if (!problem.isEmpty())
            std::fprintf(stderr, "orvane: could not write the screenshot %s: %s\n", qPrintable(file),
                         qPrintable(problem));
        endRun(problem.isEmpty() ? 0 : 1);
    });
    QTimer::singleShot(static_cast<int>(afterSeconds * 1000.0), poll, [poll] { poll->start(); });
}

void COrvaneApp::endRun(int status) {
    requestedExit_ = status;
    QCoreApplication::exit(status);
}

void COrvaneApp::armStartupReport() {
    // The first frame the view shows ends the start-up; memory is read again once the program has
    // settled, since the GL driver and the font caches grow a little after the first frame.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(view_, &COrvaneView::frameSwapped, qApp, [this, connection] {
        QObject::disconnect(*connection);
        const ProcessFigures first = readProcessFigures();
        QTimer::singleShot(kSettleAfterFirstFrameMs, qApp, [this, first] {
            const ProcessFigures settled = readProcessFigures();
            std::printf("first frame: %.0f ms after the process started\n",
                        first.millisecondsSinceProcessStart);
            std::printf("resident memory: %.1f MiB at the first frame, %.1f MiB %d s later\n",
                        first.residentMiB, settled.residentMiB, kSettleAfterFirstFrameMs / 1000);
            std::fflush(stdout);
            endRun(0);
        });
    });
}

void COrvaneApp::armFrameReport() {
    // Printed by the user-interface thread itself, so a line that comes late shows a stalled event
    // loop as plainly as a count that stands still shows a stalled timer.
    auto* report = new QTimer(qApp);
    report->setInterval(kFrameReportIntervalMs);
    QObject::connect(report, &QTimer::timeout, qApp, [this] {
        const unsigned long long frames = view_ != nullptr ? view_->framesPainted() : 0;
        const unsigned long long whole = view_ != nullptr ? view_->wholeFramesPainted() : 0;
        const double drawn = view_ != nullptr ? view_->drawnShare() : 0;
        // With the process's processor time, so that a measurement can tell what a frame costs, and
        // how much of the view the frames drew again.
        std::printf("frames %llu processor %.1f ms whole %llu drawn %.1f %%\n", frames,
                    processCpuMilliseconds(), whole, 100 * drawn);
        std::fflush(stdout);
    });
    report->start();
}
