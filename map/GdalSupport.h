#pragma once

#include <string>

// What every reader of rasters through GDAL (imagery, elevation) shares.

// Registers GDAL's drivers once for the program, with a small block cache: the tiles shown are kept
// as textures and heights in blocks of their own, so GDAL's cache would only duplicate them.
void registerGdalDrivers();

// While it lives, GDAL's messages on this thread are kept for gdalReason instead of printed (the
// error handler is per thread).
class QuietGdalErrors {
public:
    QuietGdalErrors();
    ~QuietGdalErrors();
    QuietGdalErrors(const QuietGdalErrors&) = delete;
    QuietGdalErrors& operator=(const QuietGdalErrors&) = delete;
};

// GDAL's last error on this thread, or `fallback` without one.
std::string gdalReason(const char* fallback);
