#include "map/TileLoader.h"

#include <memory>
#include <utility>

TileLoader::TileLoader(Opener opener, std::function<void()> wake)
    : opener_(std::move(opener)), wake_(std::move(wake)), thread_([this] { run(); }) {}

TileLoader::~TileLoader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void TileLoader::open(const MapOpenRequest& request) {
    {
        std::lock_guard lock(mutex_);
        pendingOpen_ = request;
        pendingClose_ = false;
    }
    changed_.notify_all();
}

void TileLoader::close() {
    {
        std::lock_guard lock(mutex_);
        pendingOpen_.reset();
        pendingClose_ = true;
        wanted_.clear();
    }
    changed_.notify_all();
}

void TileLoader::want(int generation, std::vector<TileKey> tiles) {
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;
        wanted_ = std::move(tiles);
    }
    changed_.notify_all();
}

std::vector<TileLoader::Result> TileLoader::take() {
    std::deque<Result> ready;
    {
        std::lock_guard lock(mutex_);
        ready.swap(results_);
    }
    return {std::make_move_iterator(ready.begin()), std::make_move_iterator(ready.end())};
}

int TileLoader::tilesRead() const {
    std::lock_guard lock(mutex_);
    return tilesRead_;
}

void TileLoader::run() {
    std::unique_ptr<ImagerySource> source;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this, &source] {
            return stopping_ || pendingOpen_ || pendingClose_ || (source && !wanted_.empty());
        });
        if (stopping_) break;
        if (pendingClose_) {
            pendingClose_ = false;
            ++generation_;
            lock.unlock();
            source.reset();
            lock.lock();
            continue;
        }
        if (pendingOpen_) {
            const MapOpenRequest request = std::move(*pendingOpen_);
            pendingOpen_.reset();
            lock.unlock();
            ImageryOpening opening = opener_(request);
            Result result;
            result.request = request;
            std::unique_ptr<ImagerySource> retired;
            lock.lock();
            if (opening.source) {
                result.kind = Result::Kind::Opened;
                result.generation = ++generation_;
                result.info = opening.source->info();
                result.tile = std::move(opening.coarsestTile);
                wanted_.clear();
                retired = std::move(source);
                source = std::move(opening.source);
            } else {
                result.kind = Result::Kind::OpenFailed;
                result.generation = generation_;
                result.error = std::move(opening.error);
                result.needsCrs = opening.needsCrs;
            }
            results_.push_back(std::move(result));
            lock.unlock();
            retired.reset();
            wake_();
            lock.lock();
            continue;
        }
        const TileKey key = wanted_.front();
        wanted_.erase(wanted_.begin());
        const int generation = generation_;
        lock.unlock();
        Result result;
        result.generation = generation;
        result.key = key;
        result.kind =
            source->readTile(key, result.tile, result.error) ? Result::Kind::Tile : Result::Kind::TileFailed;
        lock.lock();
        ++tilesRead_;
        // A map opened or closed meanwhile makes the tile worthless.
        if (generation != generation_) continue;
        results_.push_back(std::move(result));
        lock.unlock();
        wake_();
        lock.lock();
    }
    lock.unlock();
    source.reset();
}
