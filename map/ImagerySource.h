#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Georeferenced imagery opened by the operator (a GeoTIFF, a picture with a world file, an
// MBTiles file, a folder of z/x/y tiles), seen through a raster warped into the view's linear
// latitude/longitude frame: its pixels are equal steps of longitude and latitude, north up.

// What to open: a file or tile folder, and the coordinate system ("EPSG:4326") for a picture
// whose world file comes without one; empty to take the file's own.
struct MapOpenRequest {
    std::string path;
    std::string crs;
    bool operator==(const MapOpenRequest&) const = default;
};

// The warped raster: `width` x `height` pixels whose upper-left corner lies at (`west`, `north`)
// and whose pixels span `lonPerPixel` degrees east and `latPerPixel` degrees south.
struct ImageryInfo {
    std::string path;
    int width = 0, height = 0;
    double west = 0, north = 0;
    double lonPerPixel = 0, latPerPixel = 0;
    double east() const { return west + width * lonPerPixel; }
    double south() const { return north - height * latPerPixel; }
};

// One tile of the pyramid: level 0 is the warped raster's full resolution, each level above it
// halves it; tiles are kTileSize pixels of their level on a side, counted from the upper left.
inline constexpr int kTileSize = 256;
struct TileKey {
    int level = 0, column = 0, row = 0;
    auto operator<=>(const TileKey&) const = default;
};

// A tile's pixels: red, green and blue bytes, rows from the top, `width` x `height` (smaller than
// kTileSize at the raster's right and bottom edges). Where the imagery has no data the pixels hold
// the margin's grey.
struct TilePixels {
    TileKey key;
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

// The grey (0.15, 0.15, 0.15) around and between the imagery.
inline constexpr float kImageryMarginGrey = 0.15f;
inline constexpr std::uint8_t kImageryMarginByte = 38;

// An opened raster. Used by one thread only: the one that opened it.
class ImagerySource {
public:
    virtual ~ImagerySource() = default;
    virtual const ImageryInfo& info() const = 0;
    // Reads one tile; false with the reason when it cannot be read.
    virtual bool readTile(const TileKey& key, TilePixels& tile, std::string& error) = 0;
};

// The outcome of opening: a source, or why there is none. `needsCrs` says that the file has a
// world file but no coordinate system: the operator is to be asked for one.
struct ImageryOpening {
    std::unique_ptr<ImagerySource> source;
    std::string error;
    bool needsCrs = false;
    // The single tile of the coarsest level, read while opening to show the file can be read.
    TilePixels coarsestTile;
};

// Opens `request` through GDAL, reprojected to WGS84 latitude/longitude. On failure the error
// names the file with its folder and the reason.
ImageryOpening openImagery(const MapOpenRequest& request);

// The tile of `key` lies in the level's picture: its size in level pixels, and the window of the
// full-resolution raster it covers (x, y, width, height).
struct TileWindow {
    int width = 0, height = 0;
    int x = 0, y = 0, fullWidth = 0, fullHeight = 0;
};
TileWindow tileWindow(const ImageryInfo& info, const TileKey& key);
// Levels of the pyramid: the last one is a single tile.
int imageryLevelCount(const ImageryInfo& info);
