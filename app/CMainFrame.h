#pragma once

#include <QList>
#include <QMainWindow>

class COrvaneApp;
class QAction;
class QMenu;
class SenderStatusFields;

// The main window: the menu bar and accelerators around one central widget (the view's window
// container; tests give a plain widget, since the off-screen platform cannot show an OpenGL window)
// and a status bar whose permanent fields show whose telemetry is shown. No toolbar. The commands of
// the application are routed to `app`; Control Gain is the frame's own.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(COrvaneApp& app, QWidget* centralWidget, QWidget* parent = nullptr);

    // Shows `menuTexts` as the recent files of the File menu, or the disabled "Recent File"
    // placeholder when the list is empty.
    void showRecentFiles(const QStringList& menuTexts);

    // Opens a new, independent modeless Control Gain dialog.
    void onControlGain();

    QMenu* fileMenu() const { return fileMenu_; }
    SenderStatusFields* senderFields() const { return senderFields_; }
    // Flight > Record Flights, checkable.
    QAction* recordFlightsAction() const { return recordFlightsAction_; }
    // Flight > Stop Replay, enabled while a recording is replayed.
    QAction* stopReplayAction() const { return stopReplayAction_; }
    // The accelerators with no command behind them (undo, cut, copy, paste, next and previous
    // pane): they take their keys so that nothing else reacts to them.
    const QList<QAction*>& inertAccelerators() const { return inertAccelerators_; }

private:
    void buildMenus();
    void buildInertAccelerators();

    COrvaneApp& app_;
    QMenu* fileMenu_ = nullptr;
    QAction* recentFilesEnd_ = nullptr;  // the separator after the recent files
    QAction* recordFlightsAction_ = nullptr;
    QAction* stopReplayAction_ = nullptr;
    QList<QAction*> recentFileActions_;
    QList<QAction*> inertAccelerators_;
    SenderStatusFields* senderFields_ = nullptr;
};
