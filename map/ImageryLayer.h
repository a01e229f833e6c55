#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "map/MapGeometry.h"
#include "map/TileLoader.h"

// An opened map on the screen: the loader thread's tiles become textures of the current context,
// drawn over the map rectangle at the level the view needs, a coarser level standing in for a tile
// still on its way, the margin in grey. Tile textures are bounded in memory; the least recently
// drawn go first. User-interface thread only, with the context current for everything that
// touches textures.
class ImageryLayer {
public:
    static constexpr std::size_t kDefaultTextureBudget = 64u << 20;

    ImageryLayer(TileLoader::Opener opener, std::function<void()> wake,
                 std::size_t textureBudget = kDefaultTextureBudget);
    // Textures are released by releaseTextures (a context must be current); the loader ends here.
    ~ImageryLayer();
    ImageryLayer(const ImageryLayer&) = delete;
    ImageryLayer& operator=(const ImageryLayer&) = delete;

    // Asks the loader for `request`; what is shown stays until it has opened.
    void open(const MapOpenRequest& request);
    // Stops showing the opened map and releases its textures (context current).
    void close();
    void releaseTextures();

    // What the results taken have changed.
    struct Update {
        // A map opened and is now the one shown.
        std::optional<MapOpenRequest> opened;
        // A map that could not be opened, or a tile that failed (told once per map).
        std::vector<std::string> messages;
        // A map that needs its coordinate system from the operator.
        std::optional<MapOpenRequest> crsWanted;
        bool newTiles = false;
    };
    // Takes the loader's results (context current): textures for new tiles.
    Update takeResults();

    bool shown() const { return generation_ != 0; }
    const ImageryInfo& info() const { return info_; }
    const MapOpenRequest& request() const { return request_; }

    // Draws the imagery over the map rectangle through `window` (context current, modelview of
    // the frame), where the rectangle is `rectScreenPixels` wide on the screen, and asks the
    // loader for the tiles it lacks.
    void draw(const MapGeometry& geometry, const MapWindow& window, double rectScreenPixels);

    // Whether the last drawing lacked tiles of its level that the loader has yet to deliver.
    bool waitingForTiles() const { return waiting_; }
    std::size_t textureBytes() const { return textureBytes_; }
    std::size_t textureCount() const { return tiles_.size(); }
    int lastLevel() const { return lastLevel_; }
    const TileLoader& loader() const { return *loader_; }

private:
    struct Tile {
        GLuint texture = 0;
        int width = 0, height = 0;
        std::uint64_t lastDrawn = 0;
        bool failed = false;
    };
    void upload(TilePixels& pixels);
    void forget(std::map<TileKey, Tile>::iterator at);
    void evictOverBudget();
    // A loaded tile of a coarser level covering `key`, or nothing.
    const std::pair<const TileKey, Tile>* standIn(const TileKey& key) const;

    std::unique_ptr<TileLoader> loader_;
    std::size_t budget_;
    int generation_ = 0;
    ImageryInfo info_;
    MapOpenRequest request_;
    bool failureTold_ = false;
    std::map<TileKey, Tile> tiles_;
    std::size_t textureBytes_ = 0;
    std::uint64_t drawing_ = 0;
    std::vector<TileKey> lastWanted_;
    bool waiting_ = false;
    int lastLevel_ = -1;
};
