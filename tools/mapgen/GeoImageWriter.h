#pragma once

#include <QImage>
#include <string>

#include "tools/mapgen/SurveyGrid.h"

// The survey-grid picture as georeferenced imagery, through GDAL: a GeoTIFF reprojected into the
// UTM zone of the picture's centre with overviews, and an MBTiles file (Web Mercator tiles with
// their lower zoom levels). `picture` covers `corners` linearly in latitude and longitude, as
// the ground station draws its maps. Each file is written beside its final name and renamed over
// it only when whole; false with the reason in `error` otherwise.
bool writeUtmGeoTiff(const QImage& picture, const MapCorners& corners, const std::string& path,
                     std::string& error);
bool writeMbTiles(const QImage& picture, const MapCorners& corners, const std::string& path,
                  std::string& error);
// The EPSG code of the UTM zone of a point (326zz north, 327zz south).
int utmZoneEpsg(double lat, double lon);
