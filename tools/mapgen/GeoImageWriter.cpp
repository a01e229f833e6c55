#include "tools/mapgen/GeoImageWriter.h"

#include <cpl_error.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "map/GdalSupport.h"

namespace {

struct DatasetCloser {
    void operator()(void* dataset) const {
        if (dataset != nullptr) GDALClose(dataset);
    }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

// The picture in memory, georeferenced on latitude/longitude.
Dataset memoryPicture(const QImage& picture, const MapCorners& corners, std::string& error) {
    registerGdalDrivers();
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width(), height = rgb.height();
    Dataset dataset(GDALCreate(GDALGetDriverByName("MEM"), "", width, height, 3, GDT_Byte, nullptr));
    if (!dataset) {
        error = gdalReason("no memory for the picture");
        return nullptr;
    }
    double transform[6] = {corners.upperLeftLon,
                           (corners.lowerRightLon - corners.upperLeftLon) / width,
                           0,
                           corners.upperLeftLat,
                           0,
                           (corners.lowerRightLat - corners.upperLeftLat) / height};
    GDALSetGeoTransform(dataset.get(), transform);
    OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(wgs84, "EPSG:4326");
    OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
    GDALSetSpatialRef(dataset.get(), wgs84);
    OSRDestroySpatialReference(wgs84);
    for (int band = 0; band < 3; ++band) {
        GDALRasterBandH target = GDALGetRasterBand(dataset.get(), band + 1);
        GDALSetRasterColorInterpretation(target, static_cast<GDALColorInterp>(GCI_RedBand + band));
        // Straight from the picture's rows: three bytes a pixel, one band a pass.
        if (GDALRasterIO(target, GF_Write, 0, 0, width, height, const_cast<uchar*>(rgb.constBits()) + band,
                         width, height, GDT_Byte, 3, static_cast<int>(rgb.bytesPerLine())) != CE_None) {
            error = gdalReason("the picture cannot be copied");
            return nullptr;
        }
    }
    return dataset;
}

bool withOverviews(GDALDatasetH dataset, const std::vector<int>& factors, std::string& error) {
    std::vector<int> levels = factors;
    if (GDALBuildOverviews(dataset, "AVERAGE", static_cast<int>(levels.size()), levels.data(), 0, nullptr,
                           nullptr, nullptr) != CE_None) {
        error = gdalReason("its overviews cannot be built");
        return false;
    }
    return true;
}

// Closes the dataset (which writes it out), then puts the new file in place of the old.
bool finish(Dataset dataset, const std::string& temporary, const std::string& path, std::string& error) {
    CPLErrorReset();
    GDALClose(dataset.release());
    if (CPLGetLastErrorType() >= CE_Failure) {
        error = gdalReason("it cannot be written");
        std::filesystem::remove(temporary);
        return false;
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, path, renamed);
    if (renamed) {
        error = renamed.message();
        std::filesystem::remove(temporary);
        return false;
    }
    return true;
}

std::vector<char*> argv(std::vector<std::string>& arguments) {
    std::vector<char*> list;
    for (std::string& argument : arguments) list.push_back(argument.data());
    list.push_back(nullptr);
    return list;
}

}  // namespace

int utmZoneEpsg(double lat, double lon) {
    const int zone = std::clamp(static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1, 1, 60);
    return (lat >= 0 ? 32600 : 32700) + zone;
}

bool writeUtmGeoTiff(const QImage& picture, const MapCorners& corners, const std::string& path,
                     std::string& error) {
    const QuietGdalErrors quiet;
    Dataset source = memoryPicture(picture, corners, error);
    if (!source) return false;
    const int epsg = utmZoneEpsg((corners.upperLeftLat + corners.lowerRightLat) / 2,
                                 (corners.upperLeftLon + corners.lowerRightLon) / 2);
    std::vector<std::string> arguments{"-of",      "GTiff",
                                       "-t_srs",   "EPSG:" + std::to_string(epsg),
                                       "-r",       "bilinear",
                                       "-co",      "TILED=YES",
                                       "-co",      "COMPRESS=DEFLATE",
                                       "-dstalpha"};
    std::vector<char*> list = argv(arguments);
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(list.data(), nullptr);
    const std::string temporary = path + ".part";
    GDALDatasetH sources[] = {source.get()};
    Dataset warped(GDALWarp(temporary.c_str(), nullptr, 1, sources, options, nullptr));
    GDALWarpAppOptionsFree(options);
    if (!warped) {
        error = gdalReason("it cannot be reprojected");
        std::filesystem::remove(temporary);
        return false;
    }
    if (!withOverviews(warped.get(), {2, 4, 8, 16}, error)) {
        warped.reset();
        std::filesystem::remove(temporary);
        return false;
    }
    return finish(std::move(warped), temporary, path, error);
}

bool writeMbTiles(const QImage& picture, const MapCorners& corners, const std::string& path,
                  std::string& error) {
    const QuietGdalErrors quiet;
    Dataset source = memoryPicture(picture, corners, error);
    if (!source) return false;
    std::vector<std::string> arguments{"-of", "MBTiles", "-co", "ZOOM_LEVEL_STRATEGY=UPPER"};
    std::vector<char*> list = argv(arguments);
    GDALTranslateOptions* options = GDALTranslateOptionsNew(list.data(), nullptr);
    const std::string temporary = path + ".part";
    std::filesystem::remove(temporary);
    Dataset tiles(GDALTranslate(temporary.c_str(), source.get(), options, nullptr));
    GDALTranslateOptionsFree(options);
    if (!tiles) {
        error = gdalReason("its tiles cannot be made");
        std::filesystem::remove(temporary);
        return false;
    }
    if (!withOverviews(tiles.get(), {2, 4, 8}, error)) {
        tiles.reset();
        std::filesystem::remove(temporary);
        return false;
    }
    return finish(std::move(tiles), temporary, path, error);
}
