#include "app/CLogbookDlg.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

#include "tools/log/LogbookReport.h"
#include "tools/log/LogbookWatcher.h"

namespace {

constexpr int kPollMilliseconds = 100;
constexpr int kTotalRowsShown = 6;
// What sorts: numbers by value, texts as texts.
constexpr int kSortRole = Qt::UserRole;
// Whether the row's file could be read as a capture.
constexpr int kFiguresRole = Qt::UserRole + 1;

const char* const kHeaders[] = {"File",      "Aircraft", "Start (UTC)", "Duration", "Link Up",
                                "Lines",     "Gaps",     "Uploads",     "km",       "Max Alt",
                                "Max Speed", "Damaged",  "Problem"};

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

}  // namespace

// The rows as the watcher gave them, in the order they came.
class CLogbookDlg::Rows : public QAbstractTableModel {
public:
    explicit Rows(QObject* parent) : QAbstractTableModel(parent) {}

    const LogbookRow& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
    const std::vector<LogbookRow>& all() const { return rows_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : columnCount_; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= columnCount_) {
            return {};
        }
        return QString::fromLatin1(kHeaders[section]);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
        const LogbookRow& r = row(index.row());
        const int column = index.column();
        if (role == Qt::TextAlignmentRole) {
            return column >= duration && column <= damaged ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                           : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (role == Qt::ToolTipRole) {
            return column == file ? text(r.path) : column == problem ? problemText(r) : QVariant();
        }
        if (role == kSortRole) return sortKey(r, column);
        if (role == kFiguresRole) return r.figures;
        if (role != Qt::DisplayRole) return {};
        if (column == file) return text(r.name);
        if (column == problem) return problemText(r);
        if (!r.figures) return QStringLiteral("-");
        switch (column) {
            case aircraft:
                return text(logbookAircraft(r.aircraft));
            case start:
                return text(logbookStart(r.startMicros));
            case duration:
                return text(logbookDuration(r.durationMicros));
            case linkUp:
                return text(logbookDuration(r.linkUpMicros));
            case lines:
                return QString::number(r.lines);
            case gaps:
                return QString::number(r.linkGaps);
            case uploads:
                return QString::number(r.uploads);
            case kilometres:
                return text(logbookKilometres(r.distanceMetres));
            case altitude:
                return text(logbookFigure(r.highestAltitude));
            case airspeed:
                return text(logbookFigure(r.highestAirspeed));
            case damaged:
                return QString::number(r.damagedRecords);
        }
        return {};
    }

    void upsert(const LogbookRow& r) {
        const auto found = where_.find(r.path);
        if (found != where_.end()) {
            rows_[found->second] = r;
            const int at = static_cast<int>(found->second);
            emit dataChanged(index(at, 0), index(at, columnCount_ - 1));
            return;
        }
        const int at = static_cast<int>(rows_.size());
        beginInsertRows({}, at, at);
        where_[r.path] = rows_.size();
        rows_.push_back(r);
        endInsertRows();
    }

    // Drops the rows of files that are gone.
    void keepOnly(const std::set<std::string>& paths) {
        for (int at = static_cast<int>(rows_.size()) - 1; at >= 0; --at) {
            if (paths.count(row(at).path) != 0) continue;
            beginRemoveRows({}, at, at);
            rows_.erase(rows_.begin() + at);
            endRemoveRows();
        }
        where_.clear();
        for (std::size_t i = 0; i < rows_.size(); ++i) where_[rows_[i].path] = i;
    }

    // The file being recorded: its cut tail is no fault.
    void setRecording(const std::string& path) {
        if (path == recording_) return;
        std::string before = std::exchange(recording_, path);
        for (const std::string* changed : {&before, &recording_}) {
            const auto found = where_.find(*changed);
            if (found == where_.end()) continue;
            const int at = static_cast<int>(found->second);
            emit dataChanged(index(at, problem), index(at, problem));
        }
    }

private:
    QString problemText(const LogbookRow& r) const {
        return r.path == recording_ ? QStringLiteral("being recorded") : text(r.problem);
    }

    QVariant sortKey(const LogbookRow& r, int column) const {
        if (column == file) return text(r.name);
        if (column == problem) return problemText(r);
        // Rows without figures sort below every flight.
        if (!r.figures)
            return column == aircraft ? QVariant(QString()) : QVariant(std::numeric_limits<qlonglong>::min());
        switch (column) {
            case aircraft:
                return static_cast<qlonglong>(r.aircraft);
            case start:
                return static_cast<qlonglong>(r.startMicros);
            case duration:
                return static_cast<qlonglong>(r.durationMicros);
            case linkUp:
                return static_cast<qlonglong>(r.linkUpMicros);
            case lines:
                return static_cast<qlonglong>(r.lines);
            case gaps:
                return static_cast<qlonglong>(r.linkGaps);
            case uploads:
                return static_cast<qlonglong>(r.uploads);
            case kilometres:
                return r.distanceMetres;
            case altitude:
                return r.highestAltitude.value_or(-std::numeric_limits<double>::infinity());
            case airspeed:
                return r.highestAirspeed.value_or(-std::numeric_limits<double>::infinity());
            case damaged:
                return static_cast<qlonglong>(r.damagedRecords);
        }
        return {};
    }

    static constexpr int columnCount_ = CLogbookDlg::columnCount;
    std::vector<LogbookRow> rows_;
    std::unordered_map<std::string, std::size_t> where_;
    std::string recording_;
};

namespace {

// Every word of the filter box must be found in the row's aircraft or its start ("2026-12-08
// 20:32:47"), so "10.0.0.2 2026-12" narrows to that aircraft in that month. Rows without figures
// have neither and show only while the box is empty.
class ShownRows : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setWords(const QString& filter) {
        words_ = filter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        invalidateFilter();
    }

protected:
    // Files that could not be read stay below the flights whichever way the table is sorted.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        const bool leftFigures = sourceModel()->data(left, kFiguresRole).toBool();
        if (leftFigures != sourceModel()->data(right, kFiguresRole).toBool()) {
            return sortOrder() == Qt::AscendingOrder ? leftFigures : !leftFigures;
        }
        return QSortFilterProxyModel::lessThan(left, right);
    }

    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override {
        if (words_.isEmpty()) return true;
        const QModelIndex aircraftCell = sourceModel()->index(sourceRow, CLogbookDlg::aircraft, sourceParent);
        const QModelIndex startCell = sourceModel()->index(sourceRow, CLogbookDlg::start, sourceParent);
        if (!sourceModel()->data(aircraftCell, kFiguresRole).toBool()) return false;
        const QString where = sourceModel()->data(aircraftCell).toString() + QLatin1Char(' ') +
                              sourceModel()->data(startCell).toString();
        for (const QString& word : words_) {
            if (!where.contains(word, Qt::CaseInsensitive)) return false;
        }
        return true;
    }

private:
    QStringList words_;
};

}  // namespace

CLogbookDlg::CLogbookDlg(const QString& folder, std::uint16_t port, Replay replay, RecordingNow recordingNow,
                         QWidget* parent)
    : QDialog(parent),
      replay_(std::move(replay)),
      recordingNow_(std::move(recordingNow)),
      watcher_(
          std::make_unique<LogbookWatcher>(std::vector<std::filesystem::path>{folder.toStdString()}, port)),
      rows_(new Rows(this)),
      shown_(new ShownRows(this)),
      table_(new QTableView(this)),
      filterBox_(new QLineEdit(this)),
      totals_(new QTableWidget(this)),
      status_(new QLabel(QStringLiteral("Reading the recordings..."), this)) {
    setWindowTitle(QStringLiteral("Logbook"));
    shown_->setSourceModel(rows_);
    shown_->setSortRole(kSortRole);
    table_->setObjectName(QStringLiteral("rows"));
    table_->setModel(shown_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(start, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(problem, QHeaderView::Stretch);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const QModelIndex source = shown_->mapToSource(index);
        if (source.isValid() && replay_) replay_(text(rows_->row(source.row()).path));
    });

    auto* filterLabel = new QLabel(QStringLiteral("&Show:"), this);
    filterLabel->setBuddy(filterBox_);
    filterBox_->setObjectName(QStringLiteral("filter"));
    filterBox_->setPlaceholderText(QStringLiteral("aircraft and date, e.g. 10.0.0.2 2026-12"));
    filterBox_->setClearButtonEnabled(true);
    connect(filterBox_, &QLineEdit::textChanged, this, [this](const QString& filter) {
        static_cast<ShownRows*>(shown_)->setWords(filter);
        showTotals();
    });

    totals_->setObjectName(QStringLiteral("totals"));
    totals_->setColumnCount(5);
    totals_->setHorizontalHeaderLabels({QStringLiteral("Aircraft"), QStringLiteral("Flights"),
                                        QStringLiteral("Hours"), QStringLiteral("With the Link Up"),
                                        QStringLiteral("km")});
    totals_->verticalHeader()->hide();
    totals_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    totals_->setSelectionMode(QAbstractItemView::NoSelection);
    totals_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    totals_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    totals_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    totals_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filterBox_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(table_, 1);
    auto* totalsLabel = new QLabel(QStringLiteral("Totals of the flights shown:"), this);
    layout->addWidget(totalsLabel);
    auto* totalsRow = new QHBoxLayout;
    totalsRow->addWidget(totals_);
    totalsRow->addStretch(1);
    layout->addLayout(totalsRow);
    layout->addWidget(status_);
    resize(1220, 640);
    showTotals();

    connect(&poll_, &QTimer::timeout, this, &CLogbookDlg::poll);
    poll_.start(kPollMilliseconds);
}

CLogbookDlg::~CLogbookDlg() = default;

void CLogbookDlg::poll() {
    std::optional<LogbookWatcher::Update> update = watcher_->take();
    if (!update) return;
    if (recordingNow_) rows_->setRecording(recordingNow_().toStdString());
    for (const LogbookRow& row : update->rows) rows_->upsert(row);
    if (update->passEnded) {
        rows_->keepOnly(update->seen);
        firstPassEnded_ = true;
        QString state = rows_->all().empty() ? QStringLiteral("No recordings yet.")
                                             : QStringLiteral("%1 recordings.").arg(rows_->all().size());
        for (const std::string& message : update->messages)
            state += QLatin1Char(' ') + text(message) + QLatin1Char('.');
        status_->setText(state);
    } else if (!firstPassEnded_) {
        status_->setText(QStringLiteral("Reading the recordings... %1 so far.").arg(rows_->all().size()));
    }
    showTotals();
}

void CLogbookDlg::showTotals() {
    std::vector<LogbookRow> shownRows;
    for (int i = 0; i < shown_->rowCount(); ++i) {
        shownRows.push_back(rows_->row(shown_->mapToSource(shown_->index(i, 0)).row()));
    }
    const std::vector<LogbookTotal> totals = logbookTotals(shownRows);
    totals_->setRowCount(static_cast<int>(totals.size()));
    for (std::size_t i = 0; i < totals.size(); ++i) {
        const LogbookTotal& total = totals[i];
        const QString cells[] = {
            total.aircraft != 0 ? text(logbookAircraft(total.aircraft)) : QStringLiteral("All"),
            QString::number(total.flights), text(logbookDuration(total.durationMicros)),
            text(logbookDuration(total.linkUpMicros)), text(logbookKilometres(total.distanceMetres))};
        for (int column = 0; column < 5; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            totals_->setItem(static_cast<int>(i), column, item);
        }
    }
    // As many rows as there are, up to a few aircraft; more scroll.
    const int rowsShown = std::min(static_cast<int>(totals.size()), kTotalRowsShown);
    int height = totals_->horizontalHeader()->sizeHint().height() + 2 * totals_->frameWidth();
    for (int i = 0; i < rowsShown; ++i) height += totals_->rowHeight(i);
    totals_->setFixedHeight(height);
}
