#include "map/GdalSupport.h"

#include <cpl_error.h>
#include <gdal.h>

#include <mutex>

namespace {

constexpr GIntBig kGdalCacheBytes = 16 << 20;

}  // namespace

void registerGdalDrivers() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
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
