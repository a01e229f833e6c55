#pragma once

#include <QList>
#include <QMainWindow>

#include "app/FlightSettings.h"

class COrvaneApp;
class CursorReadout;
class FlightTarget;
class QAction;
class QMenu;
class SenderStatusFields;

// The main window: the menu bar and accelerators around one central widget (the view's window
// container; tests give a plain widget, since the off-screen platform cannot show an OpenGL window)
// and a status bar: the map readout on its left, whose telemetry is shown in its permanent fields.
// No toolbar. The commands of the application are routed to `app`; Control Gain and the Flight
// menu's own commands are the frame's.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(COrvaneApp& app, QWidget* centralWidget, QWidget* parent = nullptr);

    // Shows `menuTexts` as the recent files of the File menu, or the disabled "Recent File"
    // placeholder when the list is empty.
    void showRecentFiles(const QStringList& menuTexts);

    // Opens a new, independent modeless Control Gain dialog.
    void onControlGain();
    // Flight > Logbook: a new modeless Logbook dialog over the flights folder; a double-clicked
    // row is replayed.
    void onLogbook();

    // The Flight menu acts on `target` (not owned; may be null), which gets the profile's choices
    // at once.
    void setFlightTarget(FlightTarget* target);
    void onSaveWaypoints();
    void onLoadWaypoints();

    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* flightMenu() const { return flightMenu_; }
    CursorReadout* cursorReadout() const { return cursorReadout_; }
    const FlightSettings& flightSettings() const { return flightSettings_; }
    SenderStatusFields* senderFields() const { return senderFields_; }
    // Flight > Record Flights, checkable.
    QAction* recordFlightsAction() const { return recordFlightsAction_; }
    // Flight > Stop Replay, enabled while a recording is replayed.
    QAction* stopReplayAction() const { return stopReplayAction_; }
    // The accelerators with no command behind them (undo, cut, copy, paste, next and previous
    // pane): they take their keys so that nothing else reacts to them.
    const QList<QAction*>& inertAccelerators() const { return inertAccelerators_; }

protected:
    // The waypoint file chooser; empty when the operator cancels.
    virtual QString promptWaypointFileName(bool forSaving);

private:
    void buildMenus();
    void buildFlightMenu(QMenu* menu);
    void applyFlightSettings();
    void buildInertAccelerators();

    COrvaneApp& app_;
    QMenu* fileMenu_ = nullptr;
    QAction* recentFilesEnd_ = nullptr;  // the separator after the recent files
    QAction* recordFlightsAction_ = nullptr;
    QAction* stopReplayAction_ = nullptr;
    QList<QAction*> recentFileActions_;
    QList<QAction*> inertAccelerators_;
    QMenu* flightMenu_ = nullptr;
    CursorReadout* cursorReadout_ = nullptr;
    FlightTarget* flightTarget_ = nullptr;
    FlightSettings flightSettings_;
    QList<QAction*> trackActions_;  // in the order of TrackMode
    QAction* statusBarAction_ = nullptr;
    QAction* muteAction_ = nullptr;
    SenderStatusFields* senderFields_ = nullptr;
};
