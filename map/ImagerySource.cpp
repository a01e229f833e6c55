#include "map/ImagerySource.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

#include "map/GdalSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kTargetCrs = "EPSG:4326";
// Web Mercator's square world, metres from its centre to each edge.
constexpr double kMercatorHalfWorld = 20037508.342789244;
// A tile folder holds at most this many zoom levels (the tiling scheme has no more).
constexpr int kMaxTileZoom = 30;

std::string failure(const std::string& path, const std::string& reason) {
    return "The map " + path + " cannot be shown: " + reason;
}

struct DatasetCloser {
    void operator()(void* dataset) const {
        if (dataset != nullptr) GDALClose(dataset);
    }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

std::optional<int> numberOf(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// A folder of z/x/y tiles as tile downloaders write them (y counted from the top, Web Mercator).
struct TileFolder {
    int minZoom = INT_MAX, maxZoom = -1;
    int minX = INT_MAX, maxX = -1, minY = INT_MAX, maxY = -1;
    std::string extension;
};

std::optional<TileFolder> scanTileFolder(const fs::path& folder, std::string& reason) {
    TileFolder tiles;
    std::error_code error;
    for (const fs::directory_entry& level : fs::directory_iterator(folder, error)) {
        const std::optional<int> zoom = numberOf(level.path().filename().string());
        if (zoom && *zoom <= kMaxTileZoom && level.is_directory(error)) {
            tiles.minZoom = std::min(tiles.minZoom, *zoom);
            tiles.maxZoom = std::max(tiles.maxZoom, *zoom);
        }
    }
    if (error || tiles.maxZoom < 0) {
        reason = "the folder holds no zoom level folders of tiles (z/x/y.png or z/x/y.jpg)";
        return std::nullopt;
    }
    const fs::path top = folder / std::to_string(tiles.maxZoom);
    for (const fs::directory_entry& column : fs::directory_iterator(top, error)) {
        const std::optional<int> x = numberOf(column.path().filename().string());
        if (!x || !column.is_directory(error)) continue;
        for (const fs::directory_entry& tile : fs::directory_iterator(column.path(), error)) {
            const std::string extension = tile.path().extension().string();
            if (extension != ".png" && extension != ".jpg" && extension != ".jpeg") continue;
            const std::optional<int> y = numberOf(tile.path().stem().string());
            if (!y) continue;
            if (tiles.extension.empty()) tiles.extension = extension;
            tiles.minX = std::min(tiles.minX, *x);
            tiles.maxX = std::max(tiles.maxX, *x);
            tiles.minY = std::min(tiles.minY, *y);
            tiles.maxY = std::max(tiles.maxY, *y);
        }
    }
    if (tiles.extension.empty()) {
        reason = "its zoom level " + std::to_string(tiles.maxZoom) + " holds no tiles";
        return std::nullopt;
    }
    return tiles;
}

// The folder as one Web Mercator raster of the whole world at its finest level, read tile by
// tile (GDAL's tile service reader, pointed at local files); its lower levels are the overviews.
std::string tileFolderDescription(const fs::path& folder, const TileFolder& tiles) {
    const std::string url = "file://" + folder.string() + "/${z}/${x}/${y}" + tiles.extension;
    char corners[200];
    std::snprintf(corners, sizeof corners,
                  "<UpperLeftX>%.9f</UpperLeftX><UpperLeftY>%.9f</UpperLeftY>"
                  "<LowerRightX>%.9f</LowerRightX><LowerRightY>%.9f</LowerRightY>",
                  -kMercatorHalfWorld, kMercatorHalfWorld, kMercatorHalfWorld, -kMercatorHalfWorld);
    return "<GDAL_WMS><Service name=\"TMS\"><ServerUrl>" + url + "</ServerUrl></Service><DataWindow>" +
           corners + "<TileLevel>" + std::to_string(tiles.maxZoom) +
           "</TileLevel><TileCountX>1</TileCountX><TileCountY>1</TileCountY><YOrigin>top</YOrigin>"
           "</DataWindow><Projection>EPSG:3857</Projection><BlockSizeX>256</BlockSizeX>"
           "<BlockSizeY>256</BlockSizeY><BandsCount>4</BandsCount><OverviewCount>" +
           std::to_string(tiles.maxZoom - tiles.minZoom) +
           "</OverviewCount><MaxConnections>1</MaxConnections>"
           // A tile the folder lacks is transparent (the margin shows); one that cannot be
           // decoded is an error.
           "<ZeroBlockHttpCodes>204,404</ZeroBlockHttpCodes>"
           "<ZeroBlockOnServerException>true</ZeroBlockOnServerException></GDAL_WMS>";
}

// The folder's tiles in Web Mercator metres: xmin ymin xmax ymax.
std::array<double, 4> tileFolderExtent(const TileFolder& tiles) {
    const double span = 2 * kMercatorHalfWorld / std::ldexp(1.0, tiles.maxZoom);
    return {-kMercatorHalfWorld + tiles.minX * span, kMercatorHalfWorld - (tiles.maxY + 1) * span,
            -kMercatorHalfWorld + (tiles.maxX + 1) * span, kMercatorHalfWorld - tiles.minY * span};
}

class GdalImagery : public ImagerySource {
public:
    GdalImagery(Dataset source, Dataset warped, ImageryInfo info)
        : source_(std::move(source)), warped_(std::move(warped)), info_(std::move(info)) {
        const int count = GDALGetRasterCount(warped_.get());
        for (int i = 1; i <= count; ++i) {
            GDALRasterBandH band = GDALGetRasterBand(warped_.get(), i);
            switch (GDALGetRasterColorInterpretation(band)) {
                case GCI_RedBand:
                    red_ = i;
                    break;
                case GCI_GreenBand:
                    green_ = i;
                    break;
                case GCI_BlueBand:
                    blue_ = i;
                    break;
                case GCI_AlphaBand:
                    alpha_ = i;
                    break;
                case GCI_PaletteIndex:
                    palette_ = GDALGetRasterColorTable(band);
                    [[fallthrough]];
                default:
                    if (grey_ == 0) grey_ = i;
                    break;
            }
        }
        if (palette_ != nullptr) {
            red_ = green_ = blue_ = grey_;
        } else if (red_ == 0 || green_ == 0 || blue_ == 0) {
            // Three bands or more without colour names are taken as red, green and blue; fewer as grey.
            const int colours = count - (alpha_ != 0 ? 1 : 0);
            if (colours >= 3) {
                red_ = 1;
                green_ = 2;
                blue_ = 3;
            } else {
                red_ = green_ = blue_ = grey_ != 0 ? grey_ : 1;
            }
        }
    }
    ~GdalImagery() override {
        // The warped raster reads from the source: it goes first.
        warped_.reset();
        source_.reset();
    }

    const ImageryInfo& info() const override { return info_; }

    bool readTile(const TileKey& key, TilePixels& tile, std::string& error) override {
        const TileWindow window = tileWindow(info_, key);
        if (window.width <= 0 || window.height <= 0) {
            error = "the tile lies outside the map";
            return false;
        }
        QuietGdalErrors quiet;
        const std::size_t count = static_cast<std::size_t>(window.width) * window.height;
        std::array<std::vector<std::uint8_t>, 4> planes;
        const std::array<int, 4> bands{red_, green_, blue_, alpha_};
        GDALRasterIOExtraArg extra;
        INIT_RASTERIO_EXTRA_ARG(extra);
        extra.eResampleAlg = GRIORA_Bilinear;
        for (std::size_t i = 0; i < bands.size(); ++i) {
            if (bands[i] == 0 || (i > 0 && bands[i] == bands[i - 1])) continue;
            planes[i].resize(count);
            GDALRasterBandH band = GDALGetRasterBand(warped_.get(), bands[i]);
            if (GDALRasterIOEx(band, GF_Read, window.x, window.y, window.fullWidth, window.fullHeight,
                               planes[i].data(), window.width, window.height, GDT_Byte, 0, 0,
                               &extra) != CE_None) {
                error = failure(info_.path, gdalReason("a part of it cannot be read"));
                return false;
            }
        }
        tile.key = key;
        tile.width = window.width;
        tile.height = window.height;
        tile.rgb.resize(count * 3);
        const auto plane = [&](std::size_t i) -> const std::vector<std::uint8_t>& {
            while (i > 0 && planes[i].empty()) --i;
            return planes[i];
        };
        const std::vector<std::uint8_t>& r = plane(0);
        const std::vector<std::uint8_t>& g = plane(1);
        const std::vector<std::uint8_t>& b = plane(2);
        for (std::size_t p = 0; p < count; ++p) {
            std::array<int, 3> colour{r[p], g[p], b[p]};
            if (palette_ != nullptr) {
                const GDALColorEntry* entry = GDALGetColorEntry(palette_, r[p]);
                colour = entry != nullptr ? std::array<int, 3>{entry->c1, entry->c2, entry->c3}
                                          : std::array<int, 3>{0, 0, 0};
            }
            const int a = alpha_ != 0 ? planes[3][p] : 255;
            for (std::size_t c = 0; c < 3; ++c) {
                // Edges of the warped picture fade into the margin.
                tile.rgb[p * 3 + c] =
                    static_cast<std::uint8_t>((colour[c] * a + kImageryMarginByte * (255 - a) + 127) / 255);
            }
        }
        return true;
    }

private:
    Dataset source_;
    Dataset warped_;
    ImageryInfo info_;
    int red_ = 0, green_ = 0, blue_ = 0, alpha_ = 0, grey_ = 0;
    GDALColorTableH palette_ = nullptr;
};

// The source reprojected to latitude/longitude, with an alpha band that marks where it has data.
Dataset warpToLatLon(GDALDatasetH source, const std::string& sourceCrs,
                     const std::optional<std::array<double, 4>>& mercatorExtent, std::string& reason) {
    // The alpha band marks where there is imagery (a source's own alpha is carried into it).
    std::vector<std::string> arguments{"-of", "VRT", "-t_srs", kTargetCrs, "-r", "bilinear", "-dstalpha"};
    if (!sourceCrs.empty()) {
        arguments.push_back("-s_srs");
        arguments.push_back(sourceCrs);
    }
    if (mercatorExtent) {
        arguments.push_back("-te");
        for (double edge : *mercatorExtent) {
            char text[40];
            std::snprintf(text, sizeof text, "%.9f", edge);
            arguments.emplace_back(text);
        }
        arguments.push_back("-te_srs");
        arguments.push_back("EPSG:3857");
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(argv.data(), nullptr);
    if (options == nullptr) {
        reason = gdalReason("it cannot be reprojected");
        return nullptr;
    }
    int usageError = 0;
    GDALDatasetH sources[] = {source};
    Dataset warped(GDALWarp("", nullptr, 1, sources, options, &usageError));
    GDALWarpAppOptionsFree(options);
    if (!warped) reason = gdalReason("its coordinate system cannot be transformed to latitude/longitude");
    return warped;
}

bool hasCrs(GDALDatasetH dataset) {
    return GDALGetSpatialRef(dataset) != nullptr || GDALGetGCPSpatialRef(dataset) != nullptr;
}

bool hasGeoreferencing(GDALDatasetH dataset) {
    std::array<double, 6> transform{};
    return GDALGetGeoTransform(dataset, transform.data()) == CE_None || GDALGetGCPCount(dataset) > 0;
}

}  // namespace

int imageryLevelCount(const ImageryInfo& info) {
    int levels = 1;
    while (levels < 31 && (std::ceil(std::ldexp(info.width, -(levels - 1))) > kTileSize ||
                           std::ceil(std::ldexp(info.height, -(levels - 1))) > kTileSize)) {
        ++levels;
    }
    return levels;
}

TileWindow tileWindow(const ImageryInfo& info, const TileKey& key) {
    TileWindow window;
    if (key.level < 0 || key.level > 30 || key.column < 0 || key.row < 0) return window;
    const long long scale = 1LL << key.level;
    const long long x = static_cast<long long>(key.column) * kTileSize * scale;
    const long long y = static_cast<long long>(key.row) * kTileSize * scale;
    if (x >= info.width || y >= info.height) return window;
    window.x = static_cast<int>(x);
    window.y = static_cast<int>(y);
    window.fullWidth = static_cast<int>(std::min<long long>(kTileSize * scale, info.width - x));
    window.fullHeight = static_cast<int>(std::min<long long>(kTileSize * scale, info.height - y));
    window.width = static_cast<int>((window.fullWidth + scale - 1) / scale);
    window.height = static_cast<int>((window.fullHeight + scale - 1) / scale);
    return window;
}

ImageryOpening openImagery(const MapOpenRequest& request) {
    registerGdalDrivers();
    QuietGdalErrors quiet;
    ImageryOpening opening;
    std::error_code ignored;
    const fs::path path = fs::absolute(request.path, ignored);
    const std::string shown = path.string();

    std::optional<std::array<double, 4>> mercatorExtent;
    std::string name = shown;
    if (fs::is_directory(path, ignored)) {
        std::string reason;
        const std::optional<TileFolder> tiles = scanTileFolder(path, reason);
        if (!tiles) {
            opening.error = failure(shown, reason);
            return opening;
        }
        name = tileFolderDescription(path, *tiles);
        mercatorExtent = tileFolderExtent(*tiles);
    } else if (!fs::exists(path, ignored)) {
        opening.error = failure(shown, "the file does not exist");
        return opening;
    }

    Dataset source(GDALOpenEx(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!source) {
        opening.error = failure(shown, gdalReason("it is not a picture that can be read"));
        return opening;
    }
    if (GDALGetRasterCount(source.get()) == 0 || GDALGetRasterXSize(source.get()) <= 0 ||
        GDALGetRasterYSize(source.get()) <= 0) {
        opening.error = failure(shown, "it holds no picture");
        return opening;
    }
    if (!hasGeoreferencing(source.get())) {
        opening.error = failure(shown, "it carries no georeferencing (no world file, no coordinates)");
        return opening;
    }
    if (!hasCrs(source.get()) && request.crs.empty()) {
        opening.needsCrs = true;
        opening.error = failure(shown, "its coordinate system is not known");
        return opening;
    }
    std::string reason;
    Dataset warped = warpToLatLon(source.get(), request.crs, mercatorExtent, reason);
    if (!warped) {
        opening.error = failure(shown, reason);
        return opening;
    }
    std::array<double, 6> transform{};
    ImageryInfo info;
    info.path = shown;
    info.width = GDALGetRasterXSize(warped.get());
    info.height = GDALGetRasterYSize(warped.get());
    if (GDALGetGeoTransform(warped.get(), transform.data()) != CE_None || transform[2] != 0 ||
        transform[4] != 0 || !(transform[1] > 0) || !(transform[5] < 0) || info.width <= 0 ||
        info.height <= 0) {
        opening.error = failure(shown, "it cannot be placed on latitude/longitude");
        return opening;
    }
    info.west = transform[0];
    info.north = transform[3];
    info.lonPerPixel = transform[1];
    info.latPerPixel = -transform[5];
    if (!(info.west >= -180.0001 && info.east() <= 180.0001 && info.south() >= -90.0001 &&
          info.north <= 90.0001)) {
        opening.error = failure(shown, "its area lies outside the latitudes and longitudes of the earth");
        return opening;
    }
    auto imagery = std::make_unique<GdalImagery>(std::move(source), std::move(warped), info);
    // A file that opens but whose pixels cannot be read (an MBTiles file without tiles, a cut
    // GeoTIFF) is refused now rather than shown as an empty map.
    if (!imagery->readTile({imageryLevelCount(info) - 1, 0, 0}, opening.coarsestTile, opening.error)) {
        return opening;
    }
    opening.source = std::move(imagery);
    return opening;
}
