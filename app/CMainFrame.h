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
class TerrainControl;

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
    // Flight > Elevation Data... and Route Profile... act on `terrain` (not owned; may be null).
    void setTerrainControl(TerrainControl* terrain) { terrainControl_ = terrain; }
    void onSaveWaypoints();
    void onLoadWaypoints();
    // The last position heard: to the clipboard as "39.986120, -75.212350", or to a GPX file.
    void onCopyLastPosition();
    void onSaveLastPosition();
    // Enables both while there is a last position (done whenever the Flight menu opens).
    void updateLastPositionActions();
    QAction* copyLastPositionAction() const { return copyLastPositionAction_; }
    QAction* saveLastPositionAction() const { return saveLastPositionAction_; }
    // Flight > Open Map...: a georeferenced picture, MBTiles file, or any tile of a tile folder
    // (which opens the folder).
    void onOpenMap();
    // Flight > Follow Aircraft, checkable.
    QAction* followAircraftAction() const { return followAction_; }

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
    // The last position's file chooser, offering `suggested`; empty when the operator cancels.
    virtual QString promptLastPositionFileName(const QString& suggested);
    // The map chooser; empty when the operator cancels.
    virtual QString promptMapFileName();

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
    TerrainControl* terrainControl_ = nullptr;
    FlightSettings flightSettings_;
    QList<QAction*> trackActions_;  // in the order of TrackMode
    QAction* statusBarAction_ = nullptr;
    QAction* muteAction_ = nullptr;
    QAction* copyLastPositionAction_ = nullptr;
    QAction* saveLastPositionAction_ = nullptr;
    QAction* followAction_ = nullptr;
    SenderStatusFields* senderFields_ = nullptr;
};
