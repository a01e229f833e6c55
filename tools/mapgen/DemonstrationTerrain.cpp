#include "tools/mapgen/DemonstrationTerrain.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <system_error>
#include <vector>

#include "tools/sim/FlightModel.h"

namespace {
constexpr double kMetresPerDegreeLat = 111320.0;
constexpr double kBaseMetres = 40;
constexpr double kRollMetres = 4;
constexpr const char* kWgs84Wkt =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS "
    "84\",6378137,298.257223563]],PRIMEM[\"Greenwich\",0],"
    "UNIT[\"degree\",0.0174532925199433],AUTHORITY[\"EPSG\",\"4326\"]]";
}  // namespace

DemonstrationTerrain::DemonstrationTerrain() {
    const double lat = (kCircuitSiteUpperLeft.lat + kCircuitSiteLowerRight.lat) / 2;
    const double lon = (kCircuitSiteUpperLeft.lon + kCircuitSiteLowerRight.lon) / 2;
    const double metresPerDegreeLon = kMetresPerDegreeLat * std::cos(lat * std::numbers::pi / 180);
    hillTop = {lat, lon + kCircuitEastSemiAxis / metresPerDegreeLon};
}

double DemonstrationTerrain::heightAt(GeoPoint point) const {
    const double northMetres = (point.lat - hillTop.lat) * kMetresPerDegreeLat;
    const double eastMetres =
        (point.lon - hillTop.lon) * kMetresPerDegreeLat * std::cos(hillTop.lat * std::numbers::pi / 180);
    const double hill = hillMetres * std::exp(-(northMetres * northMetres + eastMetres * eastMetres) /
                                              (2 * hillRadiusMetres * hillRadiusMetres));
    const double roll = kRollMetres * std::sin(point.lon * 900) * std::cos(point.lat * 700);
    return kBaseMetres + roll + hill;
}

bool writeDemonstrationTerrain(const DemonstrationTerrain& terrain, const std::string& path,
                               std::string& error) {
    GDALAllRegister();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const int width = static_cast<int>(std::lround((terrain.east - terrain.west) / terrain.postDegrees)) + 1;
    const int height =
        static_cast<int>(std::lround((terrain.north - terrain.south) / terrain.postDegrees)) + 1;
    std::vector<float> posts(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const GeoPoint post{terrain.north - row * terrain.postDegrees,
                                terrain.west + column * terrain.postDegrees};
            posts[static_cast<std::size_t>(row) * width + column] =
                static_cast<float>(terrain.heightAt(post));
        }
    }
    const std::string partial = path + ".part";
    GDALDatasetH dataset =
        GDALCreate(GDALGetDriverByName("GTiff"), partial.c_str(), width, height, 1, GDT_Float32, nullptr);
    bool ok = dataset != nullptr;
    if (ok) {
        // Posts at the pixels' centres.
        double transform[6] = {terrain.west - terrain.postDegrees / 2,
                               terrain.postDegrees,
                               0,
                               terrain.north + terrain.postDegrees / 2,
                               0,
                               -terrain.postDegrees};
        GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
        ok = GDALSetGeoTransform(dataset, transform) == CE_None &&
             GDALSetProjection(dataset, kWgs84Wkt) == CE_None &&
             GDALSetRasterNoDataValue(band, -32768) == CE_None &&
             GDALRasterIO(band, GF_Write, 0, 0, width, height, posts.data(), width, height, GDT_Float32, 0,
                          0) == CE_None;
        GDALFlushCache(dataset);
        GDALClose(dataset);
        // The flush and close report their failures through GDAL's last error.
        ok = ok && CPLGetLastErrorType() < CE_Failure;
    }
    if (!ok) {
        const char* reason = CPLGetLastErrorMsg();
        error =
            "cannot write " + path + ": " + (reason != nullptr && *reason != '\0' ? reason : "GDAL failed");
        std::remove(partial.c_str());
        CPLPopErrorHandler();
        return false;
    }
    CPLPopErrorHandler();
    std::error_code renamed;
    std::filesystem::rename(partial, path, renamed);
    if (renamed) {
        error = "cannot write " + path + ": " + renamed.message();
        std::remove(partial.c_str());
        return false;
    }
    return true;
}
