#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/log/Logbook.h"

// Scans folders of recordings again and again on a thread of its own, so that a window can show
// the logbook without waiting for it: the rows come out as they are read, then again whenever a
// recording changes (the one being recorded grows), new ones appear or old ones go. A folder that
// does not exist yet has no rows.
class LogbookWatcher {
public:
    struct Update {
        // Rows read or found changed since the last take(), oldest news first.
        std::vector<LogbookRow> rows;
        // What could not be read in the latest pass (a folder, the index).
        std::vector<std::string> messages;
        // Set when a pass over every source ended since the last take(): `seen` then holds the
        // path of every row it found, so that rows of files that are gone can be dropped.
        bool passEnded = false;
        std::set<std::string> seen;
    };

    // Between two passes the thread rests `pause`, or ten times as long as the pass took when that
    // is longer, so that a large folder costs a tenth of a core at most.
    LogbookWatcher(std::vector<std::filesystem::path> sources, std::uint16_t port,
                   std::chrono::milliseconds pause = std::chrono::seconds(2));
    // Tells the thread to stop and leaves it to end after the file it reads; never waits for it.
    ~LogbookWatcher();
    LogbookWatcher(const LogbookWatcher&) = delete;
    LogbookWatcher& operator=(const LogbookWatcher&) = delete;

    // What came since the last call. Never waits: nothing when the thread is handing over news
    // at this very moment (ask again later) or when there is none.
    std::optional<Update> take();

private:
    struct Shared;
    // The thread: passes until told to stop.
    static void watch(const std::shared_ptr<Shared>& shared,
                      const std::vector<std::filesystem::path>& sources, std::uint16_t port,
                      std::chrono::milliseconds pause);

    std::shared_ptr<Shared> shared_;
};
