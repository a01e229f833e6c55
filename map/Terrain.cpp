#include "map/Terrain.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <tuple>

TerrainLookup::TerrainLookup(Missing missing, std::size_t cachedBlocks)
    : missing_(std::move(missing)), cachedBlocks_(std::max<std::size_t>(cachedBlocks, 1)) {}

void TerrainLookup::setGrids(std::vector<ElevationGrid> grids) {
    grids_ = std::move(grids);
    leftOut_.assign(grids_.size(), false);
    finestFirst_.resize(grids_.size());
    std::iota(finestFirst_.begin(), finestFirst_.end(), 0);
    std::stable_sort(finestFirst_.begin(), finestFirst_.end(),
                     [&](int a, int b) { return grids_[a].postMetres < grids_[b].postMetres; });
    blocks_.clear();
    lastKey_ = ~std::uint64_t{0};
    lastBlock_ = nullptr;
}

void TerrainLookup::addBlock(int file, int blockX, int blockY, std::shared_ptr<const ElevationBlock> block) {
    if (file < 0 || static_cast<std::size_t>(file) >= grids_.size() || !block) return;
    if (blocks_.size() >= cachedBlocks_) {
        const auto oldest = std::min_element(
            blocks_.begin(), blocks_.end(),
            [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
        blocks_.erase(oldest);
        lastKey_ = ~std::uint64_t{0};
        lastBlock_ = nullptr;
    }
    blocks_[keyOf(file, blockX, blockY)] = Entry{std::move(block), ++uses_};
}

void TerrainLookup::leaveOut(int file) {
    if (file < 0 || static_cast<std::size_t>(file) >= grids_.size()) return;
    leftOut_[file] = true;
}

const ElevationBlock* TerrainLookup::cached(int file, int blockX, int blockY) {
    const std::uint64_t key = keyOf(file, blockX, blockY);
    if (key == lastKey_) return lastBlock_;
    const auto found = blocks_.find(key);
    if (found == blocks_.end()) return nullptr;
    found->second.lastUse = ++uses_;
    lastKey_ = key;
    lastBlock_ = found->second.block.get();
    return lastBlock_;
}

GroundHeight TerrainLookup::heightAt(GeoPoint point) {
    bool loading = false;
    for (const int file : finestFirst_) {
        if (leftOut_[file]) continue;
        GridPosition position;
        if (!gridPosition(grids_[file], point, position)) continue;
        const ElevationBlock* block = cached(file, position.blockX, position.blockY);
        if (block == nullptr) {
            missing_(file, position.blockX, position.blockY);
            block = cached(file, position.blockX, position.blockY);
        }
        if (block == nullptr) {
            // A coarser file may answer meanwhile, but the finer one's answer is what will stand.
            loading = true;
            continue;
        }
        const double metres = bilinearHeight(*block, position);
        if (std::isnan(metres)) continue;
        if (loading) return {GroundHeight::State::Loading, 0};
        return {GroundHeight::State::Known, metres};
    }
    return {loading ? GroundHeight::State::Loading : GroundHeight::State::NoTerrain, 0};
}

namespace {

// Every file the paths name, each once, with the files that cannot be opened reported.
std::vector<std::unique_ptr<ElevationFile>> openAll(const std::vector<std::string>& paths,
                                                    const std::function<void(const std::string&)>& report) {
    std::vector<std::unique_ptr<ElevationFile>> files;
    std::set<std::string> seen;
    for (const std::string& path : paths) {
        for (const std::string& name : elevationFilesAt(path)) {
            if (!seen.insert(name).second) continue;
            std::string reason;
            std::unique_ptr<ElevationFile> file = openElevationFile(name, reason);
            if (file) {
                files.push_back(std::move(file));
            } else {
                report(elevationFileLeftOut(name, reason));
            }
        }
    }
    return files;
}

std::vector<ElevationGrid> gridsOf(const std::vector<std::unique_ptr<ElevationFile>>& files) {
    std::vector<ElevationGrid> grids;
    for (const auto& file : files) grids.push_back(file->grid());
    return grids;
}

}  // namespace

ElevationSet::ElevationSet(const std::vector<std::string>& paths, Report report)
    : report_(std::move(report)),
      lookup_(
          [this](int file, int blockX, int blockY) {
              std::string reason;
              std::shared_ptr<const ElevationBlock> block = files_[file]->readBlock(blockX, blockY, reason);
              if (block) {
                  lookup_.addBlock(file, blockX, blockY, std::move(block));
              } else {
                  if (report_) report_(elevationFileLeftOut(files_[file]->grid().path, reason));
                  lookup_.leaveOut(file);
              }
          },
          kTerrainCachedBlocks) {
    files_ = openAll(paths, [this](const std::string& message) {
        if (report_) report_(message);
    });
    lookup_.setGrids(gridsOf(files_));
}

ElevationSet::~ElevationSet() = default;

TerrainLoader::TerrainLoader(std::vector<std::string> paths, std::function<void()> wake)
    : wake_(std::move(wake)),
      paths_(std::move(paths)),
      lookup_(
          [this](int file, int blockX, int blockY) {
              if (!requested_.insert({file, blockX, blockY}).second) return;
              {
                  std::lock_guard lock(mutex_);
                  reads_.push_back({generation_, file, blockX, blockY});
              }
              changed_.notify_one();
          },
          kTerrainCachedBlocks),
      thread_([this] { run(); }) {}

TerrainLoader::~TerrainLoader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_one();
    thread_.join();
}

void TerrainLoader::setPaths(std::vector<std::string> paths) {
    paths_ = std::move(paths);
    openAsked_ = false;
    opened_ = false;
    ++generation_;
    requested_.clear();
    lookup_.setGrids({});
}

GroundHeight TerrainLoader::heightAt(GeoPoint point) {
    if (!openAsked_) {
        openAsked_ = true;
        {
            std::lock_guard lock(mutex_);
            wantedGeneration_ = generation_;
            pathsToOpen_ = paths_;
            openPending_ = true;
            reads_.clear();
        }
        changed_.notify_one();
    }
    if (!opened_) return {GroundHeight::State::Loading, 0};
    return lookup_.heightAt(point);
}

bool TerrainLoader::poll() {
    std::deque<Result> results;
    {
        std::lock_guard lock(mutex_);
        results.swap(results_);
    }
    bool changed = false;
    for (Result& result : results) {
        if (result.generation != generation_) continue;
        changed = true;
        if (result.opened) {
            lookup_.setGrids(std::move(result.grids));
            opened_ = true;
            continue;
        }
        requested_.erase({result.file, result.blockX, result.blockY});
        if (result.block) {
            lookup_.addBlock(result.file, result.blockX, result.blockY, std::move(result.block));
        } else {
            lookup_.leaveOut(result.file);
        }
    }
    return changed;
}

std::vector<std::string> TerrainLoader::takeMessages() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> messages;
    messages.swap(messages_);
    return messages;
}

void TerrainLoader::run() {
    std::vector<std::unique_ptr<ElevationFile>> files;
    int generation = -1;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || openPending_ || !reads_.empty(); });
        if (stopping_) return;
        if (openPending_) {
            openPending_ = false;
            generation = wantedGeneration_;
            const std::vector<std::string> paths = pathsToOpen_;
            lock.unlock();
            files.clear();
            std::vector<std::string> messages;
            files = openAll(paths, [&](const std::string& message) { messages.push_back(message); });
            Result opened;
            opened.generation = generation;
            opened.opened = true;
            opened.grids = gridsOf(files);
            lock.lock();
            messages_.insert(messages_.end(), messages.begin(), messages.end());
            results_.push_back(std::move(opened));
            lock.unlock();
            if (wake_) wake_();
            lock.lock();
            continue;
        }
        const Read read = reads_.front();
        reads_.pop_front();
        if (read.generation != generation || read.file < 0 ||
            static_cast<std::size_t>(read.file) >= files.size()) {
            continue;
        }
        lock.unlock();
        std::string reason;
        Result result;
        result.generation = read.generation;
        result.file = read.file;
        result.blockX = read.blockX;
        result.blockY = read.blockY;
        result.block = files[read.file]->readBlock(read.blockX, read.blockY, reason);
        lock.lock();
        if (!result.block) messages_.push_back(elevationFileLeftOut(files[read.file]->grid().path, reason));
        results_.push_back(std::move(result));
        lock.unlock();
        if (wake_) wake_();
        lock.lock();
    }
}
