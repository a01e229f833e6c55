#include "tools/log/LogbookIndex.h"

#include <sqlite3.h>

#include <system_error>

namespace {

// Long enough for another program's write of a row to end, short enough for an operator.
constexpr int kBusyMilliseconds = 1000;

constexpr const char* kCreateTable =
    "CREATE TABLE recordings(name TEXT PRIMARY KEY NOT NULL, size INTEGER NOT NULL, "
    "modified INTEGER NOT NULL, port INTEGER NOT NULL, figures INTEGER NOT NULL, problem TEXT NOT NULL, "
    "aircraft INTEGER NOT NULL, start INTEGER NOT NULL, duration INTEGER NOT NULL, link_up INTEGER NOT NULL, "
    "lines INTEGER NOT NULL, link_gaps INTEGER NOT NULL, uploads INTEGER NOT NULL, "
    "damaged INTEGER NOT NULL, distance REAL NOT NULL, altitude REAL, airspeed REAL)";
constexpr const char* kColumns =
    "name, size, modified, port, figures, problem, aircraft, start, duration, link_up, lines, link_gaps, "
    "uploads, damaged, distance, altitude, airspeed";

// A prepared statement, finalised with the object.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        code_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr);
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return code_ == SQLITE_OK; }
    int code() const { return code_; }
    sqlite3_stmt* get() const { return s_; }

private:
    sqlite3_stmt* s_ = nullptr;
    int code_ = SQLITE_OK;
};

std::optional<double> columnOptional(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_double(s, column);
}

std::string columnText(sqlite3_stmt* s, int column) {
    const unsigned char* text = sqlite3_column_text(s, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                           : std::string();
}

}  // namespace

LogbookIndex::LogbookIndex(const std::filesystem::path& file) : file_(file) {
    std::string why;
    if (openFile(why)) {
        if (loadRows()) return;
        if (db_ == nullptr) return;  // locked or read-only: in memory, with the reason noted
        why = sqlite3_errmsg(db_);
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    // Unreadable or damaged: made anew.
    std::error_code ignored;
    const bool existed = std::filesystem::exists(file_, ignored);
    std::filesystem::remove(file_, ignored);
    std::filesystem::remove(file_.string() + "-journal", ignored);
    rows_.clear();
    if (existed) addNote(file_.string() + " could not be read (" + why + ") and is made anew");
    if (openFile(why)) {
        if (loadRows()) return;
        if (db_ == nullptr) return;
        why = sqlite3_errmsg(db_);
    }
    useMemory(file_.string() + " cannot be used (" + why + ")");
}

LogbookIndex::~LogbookIndex() {
    sqlite3_close_v2(db_);
}

void LogbookIndex::addNote(const std::string& text) {
    note_ += note_.empty() ? text : "; " + text;
}

void LogbookIndex::useMemory(const std::string& why) {
    addNote(why + "; the recordings are read without it");
    // A statement may still be open here; the connection then ends with it.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    onDisk_ = false;
}

bool LogbookIndex::execute(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool LogbookIndex::openFile(std::string& why) {
    if (sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        why = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyMilliseconds);
    sqlite3_extended_result_codes(db_, 0);
    onDisk_ = true;
    return true;
}

// False with the database still open when it is damaged (to be made anew); false with it closed
// when it cannot be used now.
bool LogbookIndex::loadRows() {
    int version = -1;
    {
        Statement query(db_, "PRAGMA user_version");
        int code = query.code();
        if (query.ok()) {
            code = sqlite3_step(query.get());
            if (code == SQLITE_ROW) version = sqlite3_column_int(query.get(), 0);
        }
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
            useMemory(file_.string() + " is in use by another program");
            return false;
        }
        if (code != SQLITE_ROW) return false;
    }
    // A cache: losing the last rows to a power cut costs a re-read, not a damaged logbook.
    execute("PRAGMA synchronous=OFF");
    if (version != kVersion) {
        if (!execute("BEGIN IMMEDIATE")) {
            if (sqlite3_errcode(db_) == SQLITE_BUSY) {
                useMemory(file_.string() + " is in use by another program");
                return false;
            }
            return false;
        }
        const std::string setVersion = "PRAGMA user_version=" + std::to_string(kVersion);
        if (!execute("DROP TABLE IF EXISTS recordings") || !execute(kCreateTable) ||
            !execute(setVersion.c_str()) || !execute("COMMIT")) {
            const int code = sqlite3_errcode(db_);
            execute("ROLLBACK");
            if (code == SQLITE_READONLY || code == SQLITE_CANTOPEN) {
                useMemory(file_.string() + " cannot be written: " + sqlite3_errstr(code));
            }
            return false;
        }
        return true;
    }
    Statement select(db_, std::string("SELECT ") + kColumns + " FROM recordings");
    if (!select.ok()) return false;
    int code = SQLITE_OK;
    while ((code = sqlite3_step(select.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = select.get();
        LogbookRow row;
        row.name = columnText(s, 0);
        row.size = sqlite3_column_int64(s, 1);
        row.modifiedNanos = sqlite3_column_int64(s, 2);
        row.port = static_cast<std::uint16_t>(sqlite3_column_int(s, 3));
        row.figures = sqlite3_column_int(s, 4) != 0;
        row.problem = columnText(s, 5);
        row.aircraft = static_cast<std::uint32_t>(sqlite3_column_int64(s, 6));
        row.startMicros = sqlite3_column_int64(s, 7);
        row.durationMicros = sqlite3_column_int64(s, 8);
        row.linkUpMicros = sqlite3_column_int64(s, 9);
        row.lines = sqlite3_column_int64(s, 10);
        row.linkGaps = sqlite3_column_int64(s, 11);
        row.uploads = sqlite3_column_int64(s, 12);
        row.damagedRecords = sqlite3_column_int64(s, 13);
        row.distanceMetres = sqlite3_column_double(s, 14);
        row.highestAltitude = columnOptional(s, 15);
        row.highestAirspeed = columnOptional(s, 16);
        rows_[row.name] = std::move(row);
    }
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
        rows_.clear();
        useMemory(file_.string() + " is in use by another program");
        return false;
    }
    return code == SQLITE_DONE;
}

std::optional<LogbookRow> LogbookIndex::find(const std::string& name, std::int64_t size,
                                             std::int64_t modifiedNanos, std::uint16_t port) const {
    const auto found = rows_.find(name);
    if (found == rows_.end() || found->second.size != size || found->second.modifiedNanos != modifiedNanos ||
        found->second.port != port) {
        return std::nullopt;
    }
    return found->second;
}

void LogbookIndex::store(const LogbookRow& row) {
    LogbookRow kept = row;
    kept.path.clear();
    rows_[row.name] = kept;
    if (db_ == nullptr) return;
    Statement insert(db_, std::string("INSERT OR REPLACE INTO recordings(") + kColumns +
                              ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    int code = insert.code();
    if (insert.ok()) {
        sqlite3_stmt* s = insert.get();
        sqlite3_bind_text(s, 1, row.name.c_str(), static_cast<int>(row.name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 2, row.size);
        sqlite3_bind_int64(s, 3, row.modifiedNanos);
        sqlite3_bind_int(s, 4, row.port);
        sqlite3_bind_int(s, 5, row.figures ? 1 : 0);
        sqlite3_bind_text(s, 6, row.problem.c_str(), static_cast<int>(row.problem.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(s, 7, row.aircraft);
        sqlite3_bind_int64(s, 8, row.startMicros);
        sqlite3_bind_int64(s, 9, row.durationMicros);
        sqlite3_bind_int64(s, 10, row.linkUpMicros);
        sqlite3_bind_int64(s, 11, row.lines);
        sqlite3_bind_int64(s, 12, row.linkGaps);
        sqlite3_bind_int64(s, 13, row.uploads);
        sqlite3_bind_int64(s, 14, row.damagedRecords);
        sqlite3_bind_double(s, 15, row.distanceMetres);
        if (row.highestAltitude) {
            sqlite3_bind_double(s, 16, *row.highestAltitude);
        } else {
            sqlite3_bind_null(s, 16);
        }
        if (row.highestAirspeed) {
            sqlite3_bind_double(s, 17, *row.highestAirspeed);
        } else {
            sqlite3_bind_null(s, 17);
        }
        code = sqlite3_step(s);
    }
    if (code != SQLITE_DONE) {
        useMemory(file_.string() + " cannot be written: " + sqlite3_errstr(code));
    }
}

void LogbookIndex::keepOnly(const std::set<std::string>& names) {
    std::set<std::string> gone;
    for (const auto& [name, row] : rows_) {
        if (names.count(name) == 0) gone.insert(name);
    }
    if (gone.empty()) return;
    for (const std::string& name : gone) rows_.erase(name);
    if (db_ == nullptr) return;
    Statement remove(db_, "DELETE FROM recordings WHERE name = ?");
    int code = remove.code();
    if (remove.ok() && execute("BEGIN IMMEDIATE")) {
        for (const std::string& name : gone) {
            sqlite3_bind_text(remove.get(), 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            code = sqlite3_step(remove.get());
            sqlite3_reset(remove.get());
            if (code != SQLITE_DONE) break;
        }
        if (code == SQLITE_DONE && !execute("COMMIT")) code = sqlite3_errcode(db_);
        if (code != SQLITE_DONE) execute("ROLLBACK");
    } else if (remove.ok()) {
        code = sqlite3_errcode(db_);
    }
    if (code != SQLITE_DONE && code != SQLITE_OK) {
        useMemory(file_.string() + " cannot be written: " + sqlite3_errstr(code));
    }
}
