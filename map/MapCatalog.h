#pragma once

#include <array>

// One geo-referenced map of the built-in catalogue: the list text, the bitmap file (in the working
// directory) and the coordinates of the picture's upper-left and lower-right corners, degrees.
struct MapSite {
    const char* listText;
    const char* bitmapFile;
    double upperLeftLat;
    double upperLeftLon;
    double lowerRightLat;
    double lowerRightLon;
};

inline constexpr int kMapSiteCount = 4;
inline constexpr std::array<MapSite, kMapSiteCount> kMapCatalog{{
    {"Fairmount Park 1", "site3.bmp", 39.988195, -75.214313, 39.985642, -75.210061},
    {"Fairmount Park 2", "site2.bmp", 39.988472, -75.214814, 39.985713, -75.209491},
    {"Fairmount Park 3", "site1.bmp", 39.988837, -75.215957, 39.985007, -75.208575},
    {"User Defined Map - xxxxx", "user.bmp", 0, 0, 0, 0},
}};

// The bitmap of each catalogue index.
inline const char* mapBitmapFile(int index) {
    return index >= 0 && index < kMapSiteCount ? kMapCatalog[static_cast<unsigned>(index)].bitmapFile : nullptr;
}
