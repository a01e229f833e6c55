#pragma once

#include <memory>
#include <string>
#include <vector>

#include "map/MapGeometry.h"

// One raster of heights in metres read through GDAL: an SRTM tile or a DEM in any coordinate
// system. Its posts are read in blocks; heights between posts are found in the file's own grid.

// Posts a block steps across; each block holds one more column and row than it steps, so that
// the four posts around any point lie in one block.
inline constexpr int kElevationBlockStep = 256;

// Converts WGS84 latitude/longitude into the file's coordinate system. Used by one thread at a
// time (PROJ's transformations keep state).
class FileProjection {
public:
    virtual ~FileProjection() = default;
    virtual bool toFile(double lat, double lon, double& x, double& y) = 0;
};

// What a lookup needs of a file: its size, its grid and where it lies. Plain data apart from the
// projection, so that it can be handed from the thread that opened the file to the one that looks
// heights up.
struct ElevationGrid {
    std::string path;
    int width = 0, height = 0;  // posts
    // The file's coordinates to fractional pixel coordinates (GDAL's inverse geotransform: pixel
    // corners at whole numbers, post centres at halves).
    double toPixel[6] = {0, 1, 0, 0, 0, 1};
    // Null where the file is in latitude/longitude on WGS84 (x is the longitude).
    std::shared_ptr<FileProjection> projection;
    double postMetres = 0;                            // spacing of the posts, for choosing the finer file
    double south = 0, west = 0, north = 0, east = 0;  // bounds, WGS84

    bool mayCover(GeoPoint point) const {
        return point.lat >= south && point.lat <= north && point.lon >= west && point.lon <= east;
    }
};

// Posts from (`x0`, `y0`), `width` x `height`, rows from the top; void posts are NaN.
struct ElevationBlock {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<float> posts;
    float at(int x, int y) const { return posts[static_cast<std::size_t>(y - y0) * width + (x - x0)]; }
};

// Where a point falls in a grid: the post to its upper left, the fractions towards the next post
// east and south, and the block holding all four posts.
struct GridPosition {
    int x = 0, y = 0;
    double fx = 0, fy = 0;
    int blockX = 0, blockY = 0;
};
// False where the grid does not cover the point (outside the posts, or no projection of it).
bool gridPosition(ElevationGrid& grid, GeoPoint point, GridPosition& position);

// The height at `position` from the four posts around it, or NaN where one of them is void.
double bilinearHeight(const ElevationBlock& block, const GridPosition& position);

// An opened file. Used by the thread that opened it only (a GDAL dataset belongs to one thread).
class ElevationFile {
public:
    virtual ~ElevationFile() = default;
    virtual const ElevationGrid& grid() const = 0;
    // Reads the block (`blockX`, `blockY`); null with the reason when it cannot be read.
    virtual std::shared_ptr<const ElevationBlock> readBlock(int blockX, int blockY, std::string& reason) = 0;
};

// Opens `path`; null with the reason (without the path) when it is not an elevation file that can
// be used.
std::unique_ptr<ElevationFile> openElevationFile(const std::string& path, std::string& reason);

// The message for a file left out: "The elevation file PATH is left out: REASON".
std::string elevationFileLeftOut(const std::string& path, const std::string& reason);

// The elevation files `path` names: itself, or the elevation files a folder holds directly, in
// name order. A path that does not exist gives itself, so that opening it reports why.
std::vector<std::string> elevationFilesAt(const std::string& path);
