#include "app/COrvaneApp.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
#include "common/MessageLog.h"
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
// Where the profile keeps the pinned aircraft address.
constexpr const char* kAircraftAddressKey = "Flight/Aircraft Address";

// The command-line error for a network option that was refused, with the reason.
QString networkOptionError(const QString& option, const std::string& reason) {
    return option + QLatin1String(": ") + QString::fromStdString(reason);
}

// One row per option: adding an option is a row here and a line in parseCommandLine.
constexpr ProgramOption kOptions[] = {
    {"--user-folder", "",
     "work in $XDG_DATA_HOME/orvane (default ~/.local/share/orvane), laid out on"
     " first start; the desktop menu starts the program so"},
    {"--screenshot", "PNG", "write a picture of the view to PNG and end"},
    {"--after", "SECONDS", "take the screenshot this long after start-up (default 1)"},
    {"--report-startup", "", "print the time to the first frame and the memory used, then end"},
    {"--report-frames", "", "print the count of painted frames once a second"},
    {"--aircraft", "ADDRESS[:PORT]",
     "take telemetry only from this address (and port), and send uploads there; default: any"
     " sender, the last one answered"},
    {"--listen", "ADDRESS", "receive telemetry on this local address only (default: all)"},
    {"--port", "N", "receive telemetry on UDP port N (default 9001)"},
    {"--no-record", "", "record no flight in this run, whatever Flight > Record Flights says"},
    {"--replay", "RECORDING", "show this recorded flight instead of the live link at start"},
    {"--map", "FILE", "open this georeferenced map (GeoTIFF, picture with world file, MBTiles, tile folder)"},
    {"--map-crs", "EPSG:N", "the coordinate system of --map when its world file comes without one"},
    {"--elevation", "PATH",
     "use this elevation file or folder of them (SRTM .hgt, GeoTIFF); may be repeated"},
};

constexpr ProgramDescription kProgram = {
    "orvane",
    "[OPTION]... [FILE]",
    "Ground-control display for a small unmanned aircraft: receives its telemetry on UDP port 9001,\n"
    "shows it over a map, uploads gains and waypoints, and feeds a cockpit display on UDP port 5800.\n"
    "FILE is opened as the (empty) document.",
    kOptions,
    "  Read and written in the working directory: the maps site1.bmp, site2.bmp, site3.bmp and\n"
    "  user.bmp, the gain file gainsetting.txt, the cockpit display program OpenGC.exe. Started\n"
    "  from the desktop menu (--user-folder) that is $XDG_DATA_HOME/orvane, where the installed\n"
    "  maps are copied and OpenGC.exe is linked to orvane-cockpit on first start, never replacing\n"
    "  a file that is there. Flights are recorded into flights/ there. The recent-file list is kept in "
    "~/.config/Local AppWizard-Generated\n"
    "  Applications/Orvane.conf.",
    true,
};
constexpr double kLongestScreenshotDelaySeconds = 86400;
constexpr const char* kRecordFlightsKey = "Settings/RecordFlights";

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

const ProgramDescription& orvaneProgram() {
    return kProgram;
}

CommandLine parseCommandLine(const QStringList& arguments, const NameResolver& resolve) {
    std::vector<std::string> words;
    for (qsizetype i = 1; i < arguments.size(); ++i) words.push_back(arguments[i].toStdString());
    const ParsedOptions parsed = parseProgramOptions(kProgram, words);

    CommandLine result;
    result.error = QString::fromStdString(parsed.error);
    if (!parsed.error.empty()) return result;
    if (parsed.positional.size() > 1) {
        result.error = QLatin1String("only one document file can be opened");
        return result;
    }
    if (!parsed.positional.empty()) result.documentFile = QString::fromStdString(parsed.positional.front());
    if (const std::string* file = parsed.value("--screenshot"))
        result.screenshotFile = QString::fromStdString(*file);
    if (const std::string* after = parsed.value("--after")) {
        bool ok = false;
        const double seconds = QString::fromStdString(*after).toDouble(&ok);
        if (!ok || !(seconds >= 0) || seconds > kLongestScreenshotDelaySeconds) {
            result.error =
                QLatin1String("--after needs a number of seconds, not ") + QString::fromStdString(*after);
            return result;
        }
        result.screenshotAfterSeconds = seconds;
        if (!parsed.has("--screenshot")) {
            result.error = QLatin1String("--after goes with --screenshot");
            return result;
        }
    }
    for (const char* option : {"--aircraft", "--listen", "--port"}) {
        const std::string* value = parsed.value(option);
        if (value == nullptr) continue;
        std::string refused;
        if (option == std::string_view("--aircraft")) {
            AircraftAddress aircraft;
            refused = parseAircraftAddress(*value, aircraft, resolve);
            if (refused.empty()) {
                result.aircraft = aircraft;
                result.aircraftText = QString::fromStdString(*value);
            }
        } else if (option == std::string_view("--listen")) {
            refused = parseHostAddress(*value, result.listenAddress, resolve);
            if (refused.empty()) refused = checkLocalAddress(result.listenAddress);
        } else {
            in_port_t port = 0;
            refused = parsePortNumber(*value, port);
            result.telemetryPort = ntohs(port);
        }
        if (!refused.empty()) {
            result.error = networkOptionError(QLatin1String(option), refused);
            return result;
        }
    }
    result.reportStartup = parsed.has("--report-startup");
    result.reportFrames = parsed.has("--report-frames");
    result.userFolder = parsed.has("--user-folder");
    result.noRecord = parsed.has("--no-record");
    if (const std::string* recording = parsed.value("--replay"))
        result.replayFile = QString::fromStdString(*recording);
    if (const std::string* map = parsed.value("--map")) result.mapFile = QString::fromStdString(*map);
    if (const std::string* crs = parsed.value("--map-crs")) result.mapCrs = QString::fromStdString(*crs);
    for (const std::string& path : parsed.values("--elevation"))
        result.elevationPaths.push_back(std::filesystem::absolute(path).string());
    return result;
}

COrvaneApp::COrvaneApp()
    : telemetrySocket(new NetSocket(notifier)),
      uploadGate(*telemetrySocket, telemetry.senders, asker, notifier, programClockMs),
      telemetryDecoder_(new TelemetryDecoder(telemetry)) {
    telemetry.newData = 0;
    telemetry.linkAlive = 0;
    cockpitFeedOn = 0;
}

COrvaneApp::~COrvaneApp() = default;

bool COrvaneApp::initApplication() {
    // The receiver binds as soon as it starts, so where it listens and whom it believes must be
    // known first.
    const CommandLine commandLine = parseCommandLine(QCoreApplication::arguments());
    if (!commandLine.error.isEmpty()) {
        refuseCommandLine(kProgram, commandLine.error.toStdString());
        return false;
    }
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
    return true;
}

void COrvaneApp::startFlightRecorder(bool allowed) {
    if (flightRecorder_ == nullptr) {
        flightRecorder_ = new FlightRecorder(
            std::filesystem::current_path() / kFlightsFolder, TelemetryReceiver::kTelemetryPort,
            [this](const std::string& message) {
                // From the writer thread: the box is shown later on the user-interface thread.
                QMetaObject::invokeMethod(
                    qApp, [this, message] { showRecordingFailure(QString::fromStdString(message)); },
                    Qt::QueuedConnection);
            });
        telemetrySocket->setTap(flightRecorder_);
    }
    flightRecorder_->setEnabled(allowed && recordFlightsSetting());
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

bool COrvaneApp::initInstance(const QStringList& arguments) {
    NetSocket socketLayer(notifier);
    if (socketLayer.startup() == 0) {
        notifier.showMessage(kApplicationTitle, kSocketsFailedText);
        return false;
    }

    loadStdProfileSettings();
    QApplication::setWindowIcon(makeApplicationIcon());

    CommandLine commandLine = parseCommandLine(arguments);
    if (!commandLine.error.isEmpty()) {
        refuseCommandLine(kProgram, commandLine.error.toStdString());
        return false;
    }
    if (commandLine.userFolder) {
        // A document named on the command line stays the one meant before the folder changes.
        if (!commandLine.documentFile.isEmpty())
            commandLine.documentFile = QFileInfo(commandLine.documentFile).absoluteFilePath();
        if (!commandLine.mapFile.isEmpty())
            commandLine.mapFile = QFileInfo(commandLine.mapFile).absoluteFilePath();
        if (!enterUserFolder(notifier)) return false;
    }

    view_ = new COrvaneView(telemetry, uploadGate, cockpitFeedOn, notifier);
    CMainFrame* frame = createDocumentAndFrame(view_->windowContainer());
    frame->setFlightTarget(&view_->flightDeck());
    connectOpenedMaps(*view_, frame);
    if (!commandLine.mapFile.isEmpty())
        view_->openMap({commandLine.mapFile.toStdString(), commandLine.mapCrs.toStdString()});
    view_->flightDeck().setReadoutListener(
        [frame](const MapReadout& readout) { frame->cursorReadout()->showReadout(readout); });
    view_->flightDeck().setAlarmJournal(writeAlarmJournal);
    terrain_ = std::make_unique<TerrainControl>(commandLine.elevationPaths, view_->flightDeck(), notifier);
    frame->setTerrainControl(terrain_.get());
    QObject::connect(frame, &QObject::destroyed, qApp, [this] {
        view_ = nullptr;
        terrain_.reset();
        QCoreApplication::quit();
    });

    // Armed before anything can raise a box (a document that cannot be opened; showing the window
    // creates the view, which loads the map): each box runs its own event loop, in which the
    // screenshot option must still be able to close it.
    if (!commandLine.screenshotFile.isEmpty()) {
        armScreenshot(commandLine.screenshotFile, commandLine.screenshotAfterSeconds);
    }

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

void COrvaneApp::onRecordFlights(bool on) {
    saveRecordFlightsSetting(on);
    if (flightRecorder_ != nullptr) flightRecorder_->setEnabled(on);
}

bool COrvaneApp::recordFlightsSetting() {
    return QSettings(kRegistryKey, kProfileName).value(kRecordFlightsKey, true).toBool();
}

void COrvaneApp::saveRecordFlightsSetting(bool on) {
    QSettings(kRegistryKey, kProfileName).setValue(kRecordFlightsKey, on);
}

ReplayController* COrvaneApp::replayController() const {
    return replay_.data();
}

void COrvaneApp::onReplayRecording() {
    const QString path = QFileDialog::getOpenFileName(
        mainFrame(), QStringLiteral("Replay Recording"), QString::fromLatin1(kFlightsFolder),
        QStringLiteral("Recordings (*.pcap *.cap *.dmp);;All Files (*)"));
    if (!path.isEmpty()) startReplay(path);
}

bool COrvaneApp::startReplay(const QString& path) {
    if (replay_ == nullptr) return false;
    QString error;
    if (!replay_->open(path, error)) {
        notifier.showMessage(kApplicationTitle, error.toStdString());
        return false;
    }
    // Held before anything of the replay shows: from now on nothing reaches the aircraft.
    telemetrySocket->holdReplies(true);
    if (view_ != nullptr) {
        replay_->setMapGeometry(&view_->mapGeometry());
        view_->showReplay(&replay_->scene());
    }
    if (const std::string& problem = replay_->replay()->problem(); !problem.empty()) {
        notifier.showMessage(kApplicationTitle, problem + ". What comes before is replayed.");
    }
    replayBar_->refresh();
    replayBar_->show();
    if (CMainFrame* frame = mainFrame()) frame->stopReplayAction()->setEnabled(true);
    return true;
}

void COrvaneApp::onStopReplay() {
    if (replay_ == nullptr || !replay_->active()) return;
    replay_->close();
    replayBar_->hide();
    if (view_ != nullptr) view_->showReplay(nullptr);
    if (CMainFrame* frame = mainFrame()) frame->stopReplayAction()->setEnabled(false);
    telemetrySocket->holdReplies(false);
}

void COrvaneApp::showRecordingFailure(const QString& message) {
    // The check mark follows what happens; the profile keeps the operator's choice.
    if (CMainFrame* frame = mainFrame()) {
        const QSignalBlocker quiet(frame->recordFlightsAction());
        frame->recordFlightsAction()->setChecked(false);
    }
    logMessage(kApplicationTitle, message.toStdString());
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), message,
                                QMessageBox::Ok, mainFrame());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
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
        if (view_ != nullptr && !view_->isCreated()) return;
        poll->stop();
        poll->deleteLater();
        const QImage picture = view_ != nullptr ? view_->grabFrame() : QImage();
        const bool written = !picture.isNull() && picture.save(file, "PNG");
        if (!written) std::fprintf(stderr, "orvane: could not write the screenshot %s\n", qPrintable(file));
        QCoreApplication::exit(written ? 0 : 1);
    });
    QTimer::singleShot(static_cast<int>(afterSeconds * 1000.0), poll, [poll] { poll->start(); });
}

void COrvaneApp::armStartupReport() {
    // The first frame the view shows ends the start-up; memory is read again once the program has
    // settled, since the GL driver and the font caches grow a little after the first frame.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(view_, &COrvaneView::frameSwapped, qApp, [connection] {
        QObject::disconnect(*connection);
        const ProcessFigures first = readProcessFigures();
        QTimer::singleShot(kSettleAfterFirstFrameMs, qApp, [first] {
            const ProcessFigures settled = readProcessFigures();
            std::printf("first frame: %.0f ms after the process started\n",
                        first.millisecondsSinceProcessStart);
            std::printf("resident memory: %.1f MiB at the first frame, %.1f MiB %d s later\n",
                        first.residentMiB, settled.residentMiB, kSettleAfterFirstFrameMs / 1000);
            std::fflush(stdout);
            QCoreApplication::exit(0);
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
        // With the process's processor time, so that a measurement can tell what a frame costs.
        std::printf("frames %llu processor %.1f ms\n", frames, processCpuMilliseconds());
        std::fflush(stdout);
    });
    report->start();
}
