#pragma once

// Imagery for the tests, made with GDAL; the coordinates of its marks come from PROJ, never from
// the code under test.

#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "map/GdalSupport.h"
#include "map/MapGeometry.h"

// A UTM zone 18N picture, 1 m pixels, ground grey with magenta squares (kMarkSide pixels) centred
// on `marks` (pixel column, row of the square's centre pixel).
inline constexpr int kMarkSide = 15;
inline constexpr std::array<std::uint8_t, 3> kGround{100, 110, 90};
struct PixelMark {
    int column, row;
};
struct UtmPicture {
    int width = 2000, height = 1500;
    double west = 481000, north = 4428000;  // metres, EPSG:32618
    std::vector<PixelMark> marks{{200, 200}, {1800, 1300}, {1000, 750}, {1700, 250}};
};

inline GDALDatasetH makeUtmDataset(const UtmPicture& picture) {
    // The program's own drivers: a format it needs and does not register shows here.
    registerGdalDrivers();
    GDALDatasetH dataset =
        GDALCreate(GDALGetDriverByName("MEM"), "", picture.width, picture.height, 3, GDT_Byte, nullptr);
    double transform[6] = {picture.west, 1, 0, picture.north, 0, -1};
    GDALSetGeoTransform(dataset, transform);
    OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(utm, "EPSG:32618");
    GDALSetSpatialRef(dataset, utm);
    OSRDestroySpatialReference(utm);
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(picture.width) * picture.height);
    const std::array<std::uint8_t, 3> mark{255, 0, 255};
    for (int band = 0; band < 3; ++band) {
        std::fill(plane.begin(), plane.end(), kGround[band]);
        for (const PixelMark& m : picture.marks) {
            for (int y = m.row - kMarkSide / 2; y <= m.row + kMarkSide / 2; ++y)
                for (int x = m.column - kMarkSide / 2; x <= m.column + kMarkSide / 2; ++x)
                    plane[static_cast<std::size_t>(y) * picture.width + x] = mark[band];
        }
        if (GDALRasterIO(GDALGetRasterBand(dataset, band + 1), GF_Write, 0, 0, picture.width, picture.height,
                         plane.data(), picture.width, picture.height, GDT_Byte, 0, 0) != CE_None)
            return nullptr;
    }
    return dataset;
}

// Writes the picture as a tiled GeoTIFF with overviews.
inline bool writeUtmGeoTiff(const std::string& path, const UtmPicture& picture) {
    GDALDatasetH memory = makeUtmDataset(picture);
    if (memory == nullptr) return false;
    const char* options[] = {"TILED=YES", nullptr};
    GDALDatasetH file = GDALCreateCopy(GDALGetDriverByName("GTiff"), path.c_str(), memory, FALSE,
                                       const_cast<char**>(options), nullptr, nullptr);
    GDALClose(memory);
    if (file == nullptr) return false;
    int levels[] = {2, 4, 8};
    const bool built =
        GDALBuildOverviews(file, "AVERAGE", 3, levels, 0, nullptr, nullptr, nullptr) == CE_None;
    GDALClose(file);
    return built;
}

// Latitude/longitude of a mark's centre, by PROJ.
inline GeoPoint markCoordinate(const UtmPicture& picture, const PixelMark& mark) {
    OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr);
    OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(utm, "EPSG:32618");
    OSRSetFromUserInput(wgs84, "EPSG:4326");
    OSRSetAxisMappingStrategy(utm, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH transform = OCTNewCoordinateTransformation(utm, wgs84);
    double x = picture.west + mark.column + 0.5, y = picture.north - mark.row - 0.5, z = 0;
    OCTTransform(transform, 1, &x, &y, &z);
    OCTDestroyCoordinateTransformation(transform);
    OSRDestroySpatialReference(utm);
    OSRDestroySpatialReference(wgs84);
    return {y, x};
}

// The GeoTIFF as MBTiles (GDAL reprojects it to Web Mercator) with two lower zoom levels.
inline bool writeMbTiles(const std::string& path, const std::string& geoTiff) {
    // The driver tries statements on a file that does not exist yet; nothing to print.
    struct Quiet {
        Quiet() { CPLPushErrorHandler(CPLQuietErrorHandler); }
        ~Quiet() { CPLPopErrorHandler(); }
    } quiet;
    GDALDatasetH source = GDALOpen(geoTiff.c_str(), GA_ReadOnly);
    if (source == nullptr) return false;
    const char* args[] = {"-of", "MBTiles", "-co", "ZOOM_LEVEL_STRATEGY=UPPER", nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(args), nullptr);
    GDALDatasetH out = GDALTranslate(path.c_str(), source, options, nullptr);
    GDALTranslateOptionsFree(options);
    GDALClose(source);
    if (out == nullptr) return false;
    int levels[] = {2, 4};
    const bool built = GDALBuildOverviews(out, "AVERAGE", 2, levels, 0, nullptr, nullptr, nullptr) == CE_None;
    GDALClose(out);
    return built;
}

// The MBTiles file's finest level cut into a z/x/y folder of 256-pixel PNG tiles, as tile
// downloaders write them; the tiles' numbers from the file's Web Mercator origin.
inline int writeTileFolder(const std::string& folder, const std::string& mbtiles) {
    GDALDatasetH source = GDALOpen(mbtiles.c_str(), GA_ReadOnly);
    if (source == nullptr) return -1;
    double gt[6];
    GDALGetGeoTransform(source, gt);
    const double half = 20037508.342789244;
    const int zoom = static_cast<int>(std::lround(std::log2(2 * half / (gt[1] * 256))));
    const double span = 2 * half / std::ldexp(1.0, zoom);
    // The file is cropped to its bounds; its tiles start on the tile grid at or before them.
    const auto firstX = static_cast<long>(std::floor((gt[0] + half) / span));
    const auto firstY = static_cast<long>(std::floor((half - gt[3]) / span));
    const auto offsetX =
        static_cast<int>(std::lround((static_cast<double>(firstX) * span - half - gt[0]) / gt[1]));
    const auto offsetY =
        static_cast<int>(std::lround((gt[3] - (half - static_cast<double>(firstY) * span)) / -gt[5]));
    const int columns = (GDALGetRasterXSize(source) - offsetX + 255) / 256;
    const int rows = (GDALGetRasterYSize(source) - offsetY + 255) / 256;
    int written = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const std::string dir =
                folder + "/" + std::to_string(zoom) + "/" + std::to_string(firstX + column);
            std::filesystem::create_directories(dir);
            const std::string x = std::to_string(offsetX + column * 256),
                              y = std::to_string(offsetY + row * 256);
            const char* args[] = {"-of", "PNG", "-b",      "1",       "-b",      "2",   "-b",  "3",
                                  "-b",  "4",   "-srcwin", x.c_str(), y.c_str(), "256", "256", nullptr};
            GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(args), nullptr);
            const std::string file = dir + "/" + std::to_string(firstY + row) + ".png";
            GDALDatasetH tile = GDALTranslate(file.c_str(), source, options, nullptr);
            GDALTranslateOptionsFree(options);
            if (tile == nullptr) return -1;
            GDALClose(tile);
            std::filesystem::remove(file + ".aux.xml");
            ++written;
        }
    }
    GDALClose(source);
    return written;
}
