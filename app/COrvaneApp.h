#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <netinet/in.h>

#include <cstddef>
#include <memory>
#include <optional>

#include "app/COrvaneDoc.h"
#include "app/CommandLine.h"
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
class FlightRecorder;
class NetSocket;
class QWidget;
class ReplayBar;
class ReplayController;

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

    // Takes the command line (its paths from the folder it was typed in) and moves into the user
    // folder when asked; takes the telemetry options (and the profile's aircraft address), starts
    // the flight recorder (see onRecordFlights), then the telemetry receiver, before anything else.
    // Needs the QApplication. The status to end the program with at once: 2, with the usage
    // printed, when the command line cannot be understood; 1 when the user folder cannot be used.
    std::optional<int> initApplication();
    // Checks the socket layer, loads the profile, creates the document, frame and view, processes
    // the command line and shows the main window maximised. False ends the program.
    bool initInstance();
    // The status a headless run (--screenshot, --report-startup) ended with; asked while a box's
    // own event loop ran, the end must not wait for the program's event loop, which then follows.
    std::optional<int> requestedExit() const { return requestedExit_; }
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
    // Ends the program's run with `status`, from whichever event loop runs now.
    void endRun(int status);
    void armScreenshot(const QString& file, double afterSeconds);
    void armStartupReport();
    void armFrameReport();
    // The aircraft address kept in the profile, pinned unless the command line gave one; a stored
    // address that can no longer be used is told to the operator and not pinned.
    void pinProfileAircraftAddress();

    // As taken by initApplication, paths made absolute.
    CommandLine commandLine_;
    std::optional<int> requestedExit_;
    std::unique_ptr<COrvaneDoc> document_;
    QPointer<CMainFrame> mainFrame_;
    COrvaneView* view_ = nullptr;
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

// Where the flights are recorded, under the working directory (the user folder with --user-folder).
inline constexpr const char* kFlightsFolder = "flights";

inline constexpr const char* kMainWindowCaption = "Orvane V1.1 - Kestrix Technology Inc.";
