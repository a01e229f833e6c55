#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "map/ElevationFile.h"

// The ground's height at a point: known, not known because no file covers it or a post around it
// is void, or not known yet because its posts are still being read.
struct GroundHeight {
    enum class State { Known, NoTerrain, Loading };
    State state = State::NoTerrain;
    double metres = 0;
    bool known() const { return state == State::Known; }
};

// Heights from a set of grids and the blocks read of them so far. Where grids overlap the one with
// the finer posts is asked first; where its posts are void a coarser one may still answer. One
// thread only.
class TerrainLookup {
public:
    // Called for a block not in the cache; it may add it at once (`addBlock`) or later.
    using Missing = std::function<void(int file, int blockX, int blockY)>;
    explicit TerrainLookup(Missing missing, std::size_t cachedBlocks);

    // Replaces the grids (and forgets their blocks); `file` numbers are indexes into this list.
    void setGrids(std::vector<ElevationGrid> grids);
    void addBlock(int file, int blockX, int blockY, std::shared_ptr<const ElevationBlock> block);
    // A file that can no longer be read is left out.
    void leaveOut(int file);

    GroundHeight heightAt(GeoPoint point);
    std::size_t gridCount() const { return grids_.size(); }

private:
    static std::uint64_t keyOf(int file, int blockX, int blockY) {
        return (static_cast<std::uint64_t>(file) << 42) | (static_cast<std::uint64_t>(blockX) << 21) |
               static_cast<std::uint64_t>(blockY);
    }
    const ElevationBlock* cached(int file, int blockX, int blockY);

    Missing missing_;
    std::size_t cachedBlocks_;
    std::vector<ElevationGrid> grids_;
    std::vector<int> finestFirst_;
    std::vector<bool> leftOut_;
    struct Entry {
        std::shared_ptr<const ElevationBlock> block;
        std::uint64_t lastUse = 0;
    };
    std::unordered_map<std::uint64_t, Entry> blocks_;
    std::uint64_t uses_ = 0;
    // The block of the last lookup: successive lookups mostly fall in it.
    std::uint64_t lastKey_ = ~std::uint64_t{0};
    const ElevationBlock* lastBlock_ = nullptr;
};

// Blocks kept: 48 of 257 x 257 posts are about 12 MiB.
inline constexpr std::size_t kTerrainCachedBlocks = 48;

// Elevation files read on the calling thread, for programs without a user interface (the log
// tool) and for tests. Each file left out is reported once through `report`.
class ElevationSet {
public:
    using Report = std::function<void(const std::string&)>;
    ElevationSet(const std::vector<std::string>& paths, Report report);
    ~ElevationSet();
    ElevationSet(const ElevationSet&) = delete;
    ElevationSet& operator=(const ElevationSet&) = delete;

    GroundHeight heightAt(GeoPoint point) { return lookup_.heightAt(point); }
    std::size_t fileCount() const { return files_.size(); }

private:
    std::vector<std::unique_ptr<ElevationFile>> files_;
    Report report_;
    TerrainLookup lookup_;
};

// Elevation files opened and read on a thread of their own, so that the user-interface thread
// never waits for the disk or GDAL: a lookup answers from the blocks already read and asks for the
// others ("Loading"). Nothing is opened before the first lookup. User-interface thread only,
// apart from `wake`, which the reading thread calls (it must not block).
class TerrainLoader {
public:
    TerrainLoader(std::vector<std::string> paths, std::function<void()> wake);
    ~TerrainLoader();
    TerrainLoader(const TerrainLoader&) = delete;
    TerrainLoader& operator=(const TerrainLoader&) = delete;

    // Files and folders to use from now on, replacing the earlier list.
    void setPaths(std::vector<std::string> paths);
    const std::vector<std::string>& paths() const { return paths_; }

    GroundHeight heightAt(GeoPoint point);
    // Takes what the thread has read; true when heights may have changed since the last call.
    bool poll();
    // Messages about files left out since the last call.
    std::vector<std::string> takeMessages();
    // Files in use (after they were opened).
    std::size_t fileCount() const { return lookup_.gridCount(); }

private:
    void run();
    struct Read {
        int generation = 0;
        int file = 0, blockX = 0, blockY = 0;
    };
    struct Result {
        int generation = 0;
        bool opened = false;  // grids below, else a block (null where the file failed)
        std::vector<ElevationGrid> grids;
        int file = 0, blockX = 0, blockY = 0;
        std::shared_ptr<const ElevationBlock> block;
    };

    std::function<void()> wake_;
    std::vector<std::string> paths_;
    TerrainLookup lookup_;
    bool openAsked_ = false;
    bool opened_ = false;
    std::set<std::tuple<int, int, int>> requested_;  // blocks asked for and not yet come
    int generation_ = 0;                             // user-interface thread's copy

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    int wantedGeneration_ = 0;
    std::vector<std::string> pathsToOpen_;
    bool openPending_ = false;
    std::deque<Read> reads_;
    std::deque<Result> results_;
    std::vector<std::string> messages_;
    std::thread thread_;
};
