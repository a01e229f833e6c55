#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "tools/log/Logbook.h"

struct sqlite3;

// The figures of a folder's recordings in an SQLite file, keyed by each file's name, size, time
// of change and the telemetry port. It is a cache: a file that is missing, locked by another
// program for longer than a moment, unreadable, damaged or of another version is made anew (or,
// where that is impossible, the index lives in memory for this run), and `note()` says why. The
// recordings themselves are only ever read. One thread at a time.
class LogbookIndex {
public:
    explicit LogbookIndex(const std::filesystem::path& file);
    ~LogbookIndex();
    LogbookIndex(const LogbookIndex&) = delete;
    LogbookIndex& operator=(const LogbookIndex&) = delete;

    // The row kept for `name` if it still describes the file; nothing when the file is new or
    // changed (or was read for another port).
    std::optional<LogbookRow> find(const std::string& name, std::int64_t size, std::int64_t modifiedNanos,
                                   std::uint16_t port) const;
    void store(const LogbookRow& row);
    // Drops the rows of every file not in `names` (the files that are gone).
    void keepOnly(const std::set<std::string>& names);

    // Why the file was made anew or is not used; empty when all went well. Grows as faults turn up.
    const std::string& note() const { return note_; }
    // True while the index is kept in the file (false: in memory only).
    bool onDisk() const { return onDisk_; }

    // Raised whenever the table or the way a figure is computed changes, so that older files are
    // made anew instead of giving figures of another kind.
    static constexpr int kVersion = 1;

private:
    bool openFile(std::string& why);
    bool loadRows();
    void useMemory(const std::string& why);
    void addNote(const std::string& text);
    bool execute(const char* sql);

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    bool onDisk_ = false;
    std::string note_;
    std::map<std::string, LogbookRow> rows_;
};
