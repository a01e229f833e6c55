#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "map/ImagerySource.h"

// Opens imagery and reads its tiles on a thread of its own, so that the user-interface thread
// never waits for the disk or for GDAL: it hands over what it wants and takes what is ready, and
// the lock between the two is held only to move a request or a result. The source lives and dies
// on the loader's thread (a GDAL dataset belongs to the thread that opened it).
class TileLoader {
public:
    using Opener = std::function<ImageryOpening(const MapOpenRequest&)>;

    // `opener` runs on the loader thread. `wake` is called from the loader thread whenever a
    // result is ready; it must not block (the program posts a repaint request).
    TileLoader(Opener opener, std::function<void()> wake);
    // Ends the thread after the read in hand.
    ~TileLoader();
    TileLoader(const TileLoader&) = delete;
    TileLoader& operator=(const TileLoader&) = delete;

    // Opens `request`; the map open now stays readable until the new one has opened, and stays
    // the loader's map when the new one fails.
    void open(const MapOpenRequest& request);
    // Forgets the open map (a catalogue map is shown again).
    void close();
    // The tiles of map `generation` wanted now, the most wanted first; replaces the earlier list.
    // Tiles of any other generation are not read.
    void want(int generation, std::vector<TileKey> tiles);

    struct Result {
        enum class Kind { Opened, OpenFailed, Tile, TileFailed };
        Kind kind = Kind::Tile;
        // The map the result belongs to: a new number for every map opened.
        int generation = 0;
        MapOpenRequest request;
        ImageryInfo info;  // Opened
        TilePixels tile;   // Opened (the coarsest level's tile) and Tile
        TileKey key;       // Tile and TileFailed
        std::string error;
        bool needsCrs = false;  // OpenFailed: the operator can give the coordinate system
    };
    // Everything ready since the last call, in the order it became ready. Never waits for a read.
    std::vector<Result> take();

    // Tiles read so far (all maps); for tests and the benchmark.
    int tilesRead() const;

private:
    void run();

    Opener opener_;
    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::optional<MapOpenRequest> pendingOpen_;
    bool pendingClose_ = false;
    int generation_ = 0;
    std::vector<TileKey> wanted_;
    std::deque<Result> results_;
    int tilesRead_ = 0;
    std::thread thread_;
};
