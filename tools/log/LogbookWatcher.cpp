#include "tools/log/LogbookWatcher.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

struct LogbookWatcher::Shared {
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable wake;
    Update pending;  // under `mutex`
    bool hasNews = false;
};

LogbookWatcher::LogbookWatcher(std::vector<std::filesystem::path> sources, std::uint16_t port,
                               std::chrono::milliseconds pause)
    : shared_(std::make_shared<Shared>()) {
    // The thread keeps the shared part alive for as long as it runs.
    std::thread([shared = shared_, sources = std::move(sources), port, pause] {
        watch(shared, sources, port, pause);
    }).detach();
}

LogbookWatcher::~LogbookWatcher() {
    shared_->cancel.store(true, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->wake.notify_all();
}

std::optional<LogbookWatcher::Update> LogbookWatcher::take() {
    std::unique_lock<std::mutex> lock(shared_->mutex, std::try_to_lock);
    if (!lock.owns_lock() || !shared_->hasNews) return std::nullopt;
    Update update = std::move(shared_->pending);
    shared_->pending = Update{};
    shared_->hasNews = false;
    return update;
}

void LogbookWatcher::watch(const std::shared_ptr<Shared>& shared,
                           const std::vector<std::filesystem::path>& sources, std::uint16_t port,
                           std::chrono::milliseconds pause) {
    // What the window was last given of each path, so that an unchanged row is not handed over
    // again every pass.
    std::map<std::string, LogbookRow> given;
    while (!shared->cancel.load(std::memory_order_relaxed)) {
        const auto passStart = std::chrono::steady_clock::now();
        std::set<std::string> seen;
        std::vector<std::string> messages;
        LogbookScan scan;
        std::error_code ignored;
        for (const std::filesystem::path& source : sources) {
            if (std::filesystem::exists(source, ignored)) scan.sources.push_back(source);
        }
        scan.port = port;
        scan.cancel = &shared->cancel;
        scan.row = [&](const LogbookRow& row) {
            seen.insert(row.path);
            auto& last = given[row.path];
            if (last == row) return;
            last = row;
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->pending.rows.push_back(row);
            shared->hasNews = true;
        };
        scan.message = [&](const std::string& text) { messages.push_back(text); };
        scanLogbook(scan);
        if (shared->cancel.load(std::memory_order_relaxed)) return;
        for (auto it = given.begin(); it != given.end();) {
            it = seen.count(it->first) != 0 ? std::next(it) : given.erase(it);
        }
        std::unique_lock<std::mutex> lock(shared->mutex);
        shared->pending.messages = std::move(messages);
        shared->pending.passEnded = true;
        shared->pending.seen = std::move(seen);
        shared->hasNews = true;
        const auto took = std::chrono::steady_clock::now() - passStart;
        const auto rest = std::max<std::chrono::steady_clock::duration>(pause, took * 10);
        shared->wake.wait_for(lock, rest, [&] { return shared->cancel.load(std::memory_order_relaxed); });
    }
}
