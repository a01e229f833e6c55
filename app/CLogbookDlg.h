#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class LogbookWatcher;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class QTableWidget;

// "Logbook": one row per recording of the flights folder in a table that sorts by any column,
// the totals per aircraft and over all of the rows shown under it, and a box that narrows the rows
// to an aircraft and a date. The rows come from a watcher on a thread of its own, so that the
// dialog opens at once and fills as the recordings are read; the flight being recorded grows in it.
// Double-clicking a row replays that flight. Modeless; user-interface thread only.
class CLogbookDlg : public QDialog {
    Q_OBJECT
public:
    using Replay = std::function<void(const QString& path)>;
    // The file being recorded now, or an empty text.
    using RecordingNow = std::function<QString()>;

    CLogbookDlg(const QString& folder, std::uint16_t port, Replay replay, RecordingNow recordingNow,
                QWidget* parent);
    ~CLogbookDlg() override;

    QTableView* table() const { return table_; }
    QLineEdit* filterBox() const { return filterBox_; }
    QTableWidget* totals() const { return totals_; }
    QLabel* statusLabel() const { return status_; }
    // Takes what the watcher has read so far; run by a timer, tests call it too.
    void poll();

    // The table's columns.
    enum Column {
        file,
        aircraft,
        start,
        duration,
        linkUp,
        lines,
        gaps,
        uploads,
        kilometres,
        altitude,
        airspeed,
        damaged,
        problem,
        columnCount
    };

private:
    void showTotals();

    Replay replay_;
    RecordingNow recordingNow_;
    std::unique_ptr<LogbookWatcher> watcher_;
    class Rows;
    Rows* rows_;
    QSortFilterProxyModel* shown_;
    QTableView* table_;
    QLineEdit* filterBox_;
    QTableWidget* totals_;
    QLabel* status_;
    QTimer poll_;
    bool firstPassEnded_ = false;
};
