#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <netinet/in.h>

#include <cstddef>
#include <memory>
#include <optional>

#include "app/COrvaneDoc.h"
#include "app/MessageBoxAsker.h"
#include "app/MessageBoxNotifier.h"
#include "app/RecentFileList.h"
#include "common/ProgramOptions.h"
#include "net/SenderAddress.h"
#include "net/TelemetryDecoder.h"
#include "net/TelemetryReceiver.h"
#include "net/TelemetryState.h"
#include "net/UploadGate.h"

class CMainFrame;
class COrvaneView;
class TerrainControl;
class FlightRecorder;
class NetSocket;
class QWidget;
class ReplayBar;
class ReplayController;

// What the command line asks for: a document file, and optionally a picture of the view taken a
// while after start-up (for headless checks), after which the program ends.
struct CommandLine {
    QString documentFile;  // empty: a new, untitled document
    QString screenshotFile;
    double screenshotAfterSeconds = 1.0;
    bool reportStartup = false;               // print the start-up figures at the first frame, then end
    bool reportFrames = false;                // print the count of painted frames once a second
    bool userFolder = false;                  // work in the operator's own folder, as started from the menu
    bool noRecord = false;                    // record no flight in this run, whatever the profile says
    QString replayFile;                       // a recording to replay from the start
    QString mapFile, mapCrs;                  // a map to open at start, and its coordinate system
    std::vector<std::string> elevationPaths;  // elevation files and folders (--elevation, repeatable)
    QString error;                            // not empty when the arguments could not be understood
    // Where telemetry is taken from and received: the pinned aircraft (--aircraft, nothing: any
    // sender, or the profile's), the local address (--listen, network byte order; all by default)
    // and the port (--port).
    std::optional<AircraftAddress> aircraft;
    QString aircraftText;
    in_addr_t listenAddress = htonl(INADDR_ANY);
    int telemetryPort = TelemetryReceiver::kTelemetryPort;
};
// `arguments` as the toolkit leaves them (its own options taken off), program name first; names in
// the network options are resolved with `resolve`.
CommandLine parseCommandLine(const QStringList& arguments, const NameResolver& resolve = resolveIpv4Name);
// The program's options, usage and files, for --help and the parsing.
const ProgramDescription& orvaneProgram();

// The one application object, a static object of the program. Its constructor touches no Qt
// object: Qt starts later, in main, before initApplication.
//
// `telemetry` is written by the receiver thread only; everything else belongs to the
// user-interface thread.
class COrvaneApp {
public:
    COrvaneApp();
    // The receiver thread, `telemetrySocket` and its buffer live until the process ends.
    virtual ~COrvaneApp();
    COrvaneApp(const COrvaneApp&) = delete;
    COrvaneApp& operator=(const COrvaneApp&) = delete;

    // Takes the telemetry options of the command line (and the profile's aircraft address), starts
    // the flight recorder (see onRecordFlights), then the telemetry receiver, before anything else.
    // Needs the QApplication. False, with the usage printed, when the command line cannot be
    // understood: the program then ends with status 2.
    bool initApplication();
    // Checks the socket layer, loads the profile, creates the document, frame and view, processes
    // the command line and shows the main window maximised. False ends the program.
    bool initInstance(const QStringList& arguments);
    // Destroys the main window (and with it the view) while Qt still runs; returns `exitCode`.
    int exitInstance(int exitCode);

    // Makes the recorder of `telemetrySocket` (once) and switches it on when `allowed` (no
    // --no-record) and the profile's Record Flights choice is on.
    void startFlightRecorder(bool allowed);
    // Starts telemetryReceiverThread as a detached thread and returns at once.
    virtual void startTelemetryReceiver();
    // Decodes one telemetry line into `telemetry`. Receiver thread (or tests).
    virtual void parseTelemetryLine(const char* text, std::size_t length);
    // The receiver thread: binds UDP port 9001 on `telemetrySocket` and decodes every datagram.
    // Never returns.
    void telemetryReceiverThread();

    // Creates the empty document and the main frame around `centralWidget` (the view's window
    // container, or a plain widget in tests); the frame is not shown.
    CMainFrame* createDocumentAndFrame(QWidget* centralWidget);
    // Reads the recent-file list from the settings profile.
    void loadStdProfileSettings();
    // A new document, or the document file of the command line; false when that cannot be opened.
    bool processShellCommand(const CommandLine& commandLine);
    // Gives the main window its caption and shows it maximised.
    void showMainFrame();

    // Commands.
    void onFileNew();
    void onFileOpen();
    void onFileSave();
    void onFileSaveAs();
    void onFileMruFile(int index);
    void onAppAbout();
    void onCockpitDisplay();
    // Opens the Aircraft Address dialog.
    void onAircraftAddress();

    // Takes telemetry only from the aircraft at `text` ("ADDRESS" or "ADDRESS:PORT"; empty: from
    // any sender) and keeps it in the profile. Returns why the text was refused (nothing changed
    // then), or an empty text.
    QString setAircraftAddress(const QString& text, const NameResolver& resolve = resolveIpv4Name);
    // The pinned aircraft address as the operator gave it; empty when telemetry is taken from any
    // sender.
    const QString& aircraftAddressText() const { return aircraftText_; }

    // Records flights into "flights/" from now on, or stops; kept in the profile for the next runs.
    void onRecordFlights(bool on);

    // Flight > Replay Recording: a recording chosen in "flights/" is replayed in the view.
    void onReplayRecording();
    // Replays `path` in place of the live link; a file that cannot be replayed is told in a box and
    // the view goes on as it was. False then.
    bool startReplay(const QString& path);
    // Flight > Stop Replay, or the replay bar closed: the live link again.
    void onStopReplay();
    ReplayController* replayController() const;

    // Tells the operator, without blocking anything, that recording stopped, and takes the check
    // mark off Record Flights (the profile keeps the operator's choice). User-interface thread.
    void showRecordingFailure(const QString& message);

    // The profile's "Record Flights" choice (on unless switched off).
    static bool recordFlightsSetting();
    static void saveRecordFlightsSetting(bool on);

    // Opens `path` as the document; a file that cannot be opened gives a message and false.
    bool openDocumentFile(const QString& path);
    // Saves the document as `path` (a new or empty file only) and lists it as recent.
    bool saveDocumentAs(const QString& path);

    COrvaneDoc* document() const { return document_.get(); }
    CMainFrame* mainFrame() const;
    const RecentFileList& recentFiles() const { return recentFiles_; }
    FlightRecorder* flightRecorder() const { return flightRecorder_; }

    TelemetryState telemetry;
    MessageBoxNotifier notifier;
    NetSocket* telemetrySocket;  // created by the constructor, never deleted
    int cockpitFeedOn = 0;       // 1 once the cockpit display was started; never cleared
    MessageBoxAsker asker;
    // Every upload to the aircraft goes out through it.
    UploadGate uploadGate;

protected:
    // The file choosers of Open and Save As; empty when the operator cancels.
    virtual QString promptOpenFileName();
    virtual QString promptSaveFileName();

private:
    // Saves the document to `path`; a refusal or failure is told to the operator.
    bool saveDocument(const QString& path);
    void addToRecentFileList(const QString& path);
    void armScreenshot(const QString& file, double afterSeconds);
    void armStartupReport();
    void armFrameReport();
    // The aircraft address kept in the profile, pinned unless the command line gave one; a stored
    // address that can no longer be used is told to the operator and not pinned.
    void pinProfileAircraftAddress();

    std::unique_ptr<COrvaneDoc> document_;
    QPointer<CMainFrame> mainFrame_;
    COrvaneView* view_ = nullptr;
    std::unique_ptr<TerrainControl> terrain_;  // lives while the frame does
    RecentFileList recentFiles_;
    QString aircraftText_;
    // Set by initApplication before the receiver thread starts, and only read by it afterwards.
    int telemetryPort_ = TelemetryReceiver::kTelemetryPort;
    // Keeps the line-rate count between lines; used by the receiver thread only. Never freed, like
    // the socket: the receiver thread may still decode while the program's static objects go away.
    TelemetryDecoder* telemetryDecoder_;
    // Records what `telemetrySocket` receives and sends. Never freed, as the receiver thread may
    // still hand it a datagram while the program ends; stopped (file closed) by exitInstance.
    FlightRecorder* flightRecorder_ = nullptr;
    // Made with the frame; the bar shows only while a recording is replayed.
    QPointer<ReplayController> replay_;
    QPointer<ReplayBar> replayBar_;
};

// Where the flights are recorded, under the working directory.
inline constexpr const char* kFlightsFolder = "flights";

inline constexpr const char* kMainWindowCaption = "Orvane V1.1 - Kestrix Technology Inc.";
