#pragma once

// Imagery for the tests, made with GDAL; the coordinates of its marks come from PROJ, never from
// the code under test.

#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
    GDALAllRegister();
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
