#include "map/ElevationFile.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "map/GdalSupport.h"

namespace {

namespace fs = std::filesystem;

// SRTM's mark of a post without a height.
constexpr double kSrtmVoid = -32768;
// Posts a side of a 3 and a 1 arc-second tile; each post is a big-endian 16-bit height.
constexpr std::uintmax_t kSrtm3Side = 1201, kSrtm1Side = 3601;
constexpr std::uintmax_t kSrtm3Bytes = kSrtm3Side * kSrtm3Side * 2, kSrtm1Bytes = kSrtm1Side * kSrtm1Side * 2;
constexpr double kMetresPerDegree = 111320.0;
constexpr const char* kElevationExtensions[] = {".hgt", ".tif", ".tiff", ".dem", ".dt0", ".dt1",
                                                ".dt2", ".asc", ".img",  ".bil", ".vrt"};

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct SrsDeleter {
    void operator()(OGRSpatialReferenceH srs) const { OSRDestroySpatialReference(srs); }
};
using Srs = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>, SrsDeleter>;
struct TransformDeleter {
    void operator()(OGRCoordinateTransformationH transform) const {
        OCTDestroyCoordinateTransformation(transform);
    }
};
using Transform = std::unique_ptr<std::remove_pointer_t<OGRCoordinateTransformationH>, TransformDeleter>;

Srs traditionalSrs(const char* definition) {
    Srs srs(OSRNewSpatialReference(nullptr));
    if (!srs || OSRSetFromUserInput(srs.get(), definition) != OGRERR_NONE) return nullptr;
    OSRSetAxisMappingStrategy(srs.get(), OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

class ProjTransform : public FileProjection {
public:
    explicit ProjTransform(Transform transform) : transform_(std::move(transform)) {}
    bool toFile(double lat, double lon, double& x, double& y) override {
        x = lon;
        y = lat;
        int ok = 0;
        return OCTTransformEx(transform_.get(), 1, &x, &y, nullptr, &ok) != 0 && ok != 0;
    }

private:
    Transform transform_;
};

// A name of an SRTM tile: its south-west corner as N39W076.
bool srtmName(const std::string& stem) {
    if (stem.size() != 7) return false;
    const auto digit = [&](std::size_t i) { return std::isdigit(static_cast<unsigned char>(stem[i])) != 0; };
    const char ns = static_cast<char>(std::toupper(static_cast<unsigned char>(stem[0])));
    const char ew = static_cast<char>(std::toupper(static_cast<unsigned char>(stem[3])));
    return (ns == 'N' || ns == 'S') && (ew == 'E' || ew == 'W') && digit(1) && digit(2) && digit(4) &&
           digit(5) && digit(6);
}

// Checks an .hgt file before GDAL sees it: GDAL would read a short file as a smaller grid.
bool checkSrtmFile(const fs::path& path, std::string& reason) {
    std::error_code error;
    const std::uintmax_t bytes = fs::file_size(path, error);
    if (error) {
        reason = error.message();
        return false;
    }
    if (bytes != kSrtm3Bytes && bytes != kSrtm1Bytes) {
        reason = "it is " + std::to_string(bytes) + " bytes, which no SRTM tile is (" +
                 std::to_string(kSrtm3Bytes) + " for 3 arc-seconds, " + std::to_string(kSrtm1Bytes) +
                 " for 1 arc-second)";
        return false;
    }
    if (!srtmName(path.stem().string())) {
        reason = "an SRTM tile is named by its south-west corner, as N39W076.hgt";
        return false;
    }
    return true;
}

class GdalElevationFile : public ElevationFile {
public:
    GdalElevationFile(GDALDatasetH dataset, ElevationGrid grid, bool hasVoid, double voidValue)
        : dataset_(dataset), grid_(std::move(grid)), hasVoid_(hasVoid), voidValue_(voidValue) {}
    ~GdalElevationFile() override { GDALClose(dataset_); }
    GdalElevationFile(const GdalElevationFile&) = delete;
    GdalElevationFile& operator=(const GdalElevationFile&) = delete;

    const ElevationGrid& grid() const override { return grid_; }

    std::shared_ptr<const ElevationBlock> readBlock(int blockX, int blockY, std::string& reason) override {
        QuietGdalErrors quiet;
        auto block = std::make_shared<ElevationBlock>();
        block->x0 = blockX * kElevationBlockStep;
        block->y0 = blockY * kElevationBlockStep;
        if (block->x0 < 0 || block->y0 < 0 || block->x0 >= grid_.width || block->y0 >= grid_.height) {
            reason = "a block outside the file was asked for";
            return nullptr;
        }
        block->width = std::min(kElevationBlockStep + 1, grid_.width - block->x0);
        block->height = std::min(kElevationBlockStep + 1, grid_.height - block->y0);
        block->posts.resize(static_cast<std::size_t>(block->width) * block->height);
        GDALRasterBandH band = GDALGetRasterBand(dataset_, 1);
        if (GDALRasterIO(band, GF_Read, block->x0, block->y0, block->width, block->height,
                         block->posts.data(), block->width, block->height, GDT_Float32, 0, 0) != CE_None) {
            reason = gdalReason("its heights cannot be read");
            return nullptr;
        }
        constexpr float kVoid = std::numeric_limits<float>::quiet_NaN();
        for (float& post : block->posts) {
            if ((hasVoid_ && post == static_cast<float>(voidValue_)) ||
                post == static_cast<float>(kSrtmVoid)) {
                post = kVoid;
            }
        }
        return block;
    }

private:
    GDALDatasetH dataset_;
    ElevationGrid grid_;
    bool hasVoid_;
    double voidValue_;
};

// The grid's bounds in WGS84 and the projection into it; false with the reason.
bool placeGrid(GDALDatasetH dataset, const double* geo, ElevationGrid& grid, std::string& reason) {
    const char* wkt = GDALGetProjectionRef(dataset);
    if (wkt == nullptr || *wkt == '\0') {
        reason = "it has no coordinate system (no georeferencing)";
        return false;
    }
    Srs fileSrs = traditionalSrs(wkt);
    Srs wgs84 = traditionalSrs("EPSG:4326");
    if (!fileSrs || !wgs84) {
        reason = "its coordinate system is not understood";
        return false;
    }
    // The corners of the posts' hull in the file's coordinates.
    const auto at = [&](double px, double py, double& x, double& y) {
        x = geo[0] + px * geo[1] + py * geo[2];
        y = geo[3] + px * geo[4] + py * geo[5];
    };
    double xs[4], ys[4];
    const double cx[4] = {0.5, grid.width - 0.5, 0.5, grid.width - 0.5};
    const double cy[4] = {0.5, 0.5, grid.height - 0.5, grid.height - 0.5};
    for (int i = 0; i < 4; ++i) at(cx[i], cy[i], xs[i], ys[i]);
    const double unitsPerPost = std::sqrt(std::abs(geo[1] * geo[5] - geo[2] * geo[4]));

    if (OSRIsGeographic(fileSrs.get()) != 0 && OSRIsSameGeogCS(fileSrs.get(), wgs84.get()) != 0) {
        grid.west = *std::min_element(xs, xs + 4);
        grid.east = *std::max_element(xs, xs + 4);
        grid.south = *std::min_element(ys, ys + 4);
        grid.north = *std::max_element(ys, ys + 4);
        grid.postMetres = unitsPerPost * kMetresPerDegree;
        return true;
    }
    Transform toFile(OCTNewCoordinateTransformation(wgs84.get(), fileSrs.get()));
    Transform fromFile(OCTNewCoordinateTransformation(fileSrs.get(), wgs84.get()));
    double minX = std::min({xs[0], xs[1], xs[2], xs[3]}), maxX = std::max({xs[0], xs[1], xs[2], xs[3]});
    double minY = std::min({ys[0], ys[1], ys[2], ys[3]}), maxY = std::max({ys[0], ys[1], ys[2], ys[3]});
    if (!toFile || !fromFile ||
        OCTTransformBounds(fromFile.get(), minX, minY, maxX, maxY, &grid.west, &grid.south, &grid.east,
                           &grid.north, 21) == 0) {
        reason = gdalReason("its coordinate system cannot be converted to latitude and longitude");
        return false;
    }
    if (OSRIsGeographic(fileSrs.get()) != 0) {
        grid.postMetres = unitsPerPost * kMetresPerDegree;
    } else {
        grid.postMetres = unitsPerPost * OSRGetLinearUnits(fileSrs.get(), nullptr);
    }
    grid.projection = std::make_shared<ProjTransform>(std::move(toFile));
    return true;
}

}  // namespace

bool gridPosition(ElevationGrid& grid, GeoPoint point, GridPosition& position) {
    if (!grid.mayCover(point)) return false;
    double x = point.lon, y = point.lat;
    if (grid.projection && !grid.projection->toFile(point.lat, point.lon, x, y)) return false;
    const double* m = grid.toPixel;
    // Post centres lie half a pixel in from the pixel corners.
    const double u = m[0] + x * m[1] + y * m[2] - 0.5;
    const double v = m[3] + x * m[4] + y * m[5] - 0.5;
    if (!(u >= 0 && v >= 0 && u <= grid.width - 1 && v <= grid.height - 1)) return false;
    position.x = std::min(static_cast<int>(u), grid.width - 2);
    position.y = std::min(static_cast<int>(v), grid.height - 2);
    position.fx = u - position.x;
    position.fy = v - position.y;
    position.blockX = position.x / kElevationBlockStep;
    position.blockY = position.y / kElevationBlockStep;
    return true;
}

double bilinearHeight(const ElevationBlock& block, const GridPosition& p) {
    const double nw = block.at(p.x, p.y), ne = block.at(p.x + 1, p.y);
    const double sw = block.at(p.x, p.y + 1), se = block.at(p.x + 1, p.y + 1);
    // NaN (a void post) carries through to the result.
    const double north = nw + (ne - nw) * p.fx;
    const double south = sw + (se - sw) * p.fx;
    return north + (south - north) * p.fy;
}

std::unique_ptr<ElevationFile> openElevationFile(const std::string& path, std::string& reason) {
    registerGdalDrivers();
    QuietGdalErrors quiet;
    const fs::path file(path);
    if (lower(file.extension().string()) == ".hgt" && !checkSrtmFile(file, reason)) return nullptr;
    GDALDatasetH dataset =
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (dataset == nullptr) {
        reason = gdalReason("it is not a raster GDAL can read");
        return nullptr;
    }
    const auto fail = [&](std::string why) -> std::unique_ptr<ElevationFile> {
        GDALClose(dataset);
        reason = std::move(why);
        return nullptr;
    };
    const int bands = GDALGetRasterCount(dataset);
    if (bands != 1) {
        return fail("it has " + std::to_string(bands) + " bands; an elevation file has one band of heights");
    }
    ElevationGrid grid;
    grid.path = path;
    grid.width = GDALGetRasterXSize(dataset);
    grid.height = GDALGetRasterYSize(dataset);
    if (grid.width < 2 || grid.height < 2) return fail("it has fewer than two posts a side");
    std::array<double, 6> geo{};
    if (GDALGetGeoTransform(dataset, geo.data()) != CE_None) return fail("it has no georeferencing");
    if (GDALInvGeoTransform(geo.data(), grid.toPixel) == 0) return fail("its georeferencing is degenerate");
    if (!placeGrid(dataset, geo.data(), grid, reason)) return fail(reason);
    int hasVoid = 0;
    const double voidValue = GDALGetRasterNoDataValue(GDALGetRasterBand(dataset, 1), &hasVoid);
    return std::make_unique<GdalElevationFile>(dataset, std::move(grid), hasVoid != 0, voidValue);
}

std::string elevationFileLeftOut(const std::string& path, const std::string& reason) {
    return "The elevation file " + path + " is left out: " + reason;
}

std::vector<std::string> elevationFilesAt(const std::string& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) return {path};
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
        if (!entry.is_regular_file(error)) continue;
        const std::string extension = lower(entry.path().extension().string());
        if (std::find(std::begin(kElevationExtensions), std::end(kElevationExtensions), extension) !=
            std::end(kElevationExtensions)) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}
