#include "map/GdalSupport.h"

#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>
#include <ogrsf_frmts.h>

#include <mutex>

namespace {

constexpr GIntBig kGdalCacheBytes = 16 << 20;

}  // namespace

void registerGdalDrivers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The formats the program reads and the map maker writes, not all two hundred: their
        // registration alone would add 9 MiB to every run that opens a map or an elevation file.
        // GeoTIFF (also for .tif and .tfw pictures), the pictures that come with world files and
        // in tile folders, MBTiles (whose tiles are PNG, JPEG or WebP), SRTM tiles, and the
        // in-memory and virtual datasets of the warping and the map maker. The tests register
        // these too, never all: a format missing here fails them.
        GDALRegister_GTiff();
        GDALRegister_COG();
        GDALRegister_PNG();
        GDALRegister_JPEG();
        GDALRegister_WEBP();
        GDALRegister_GIF();
        GDALRegister_BMP();
        GDALRegister_MBTiles();
        // MBTiles reads its database through the SQLite driver.
        RegisterOGRSQLite();
        GDALRegister_SRTMHGT();
        // Tile folders are read as a tile service of local files.
        GDALRegister_WMS();
        GDALRegister_MEM();
        GDALRegister_VRT();
        GDALSetCacheMax64(kGdalCacheBytes);
    });
}

QuietGdalErrors::QuietGdalErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
}

QuietGdalErrors::~QuietGdalErrors() {
    CPLPopErrorHandler();
}

std::string gdalReason(const char* fallback) {
    const char* message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? std::string(message) : std::string(fallback);
}
