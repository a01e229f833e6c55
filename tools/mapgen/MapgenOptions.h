#pragma once

#include <cstdint>
#include <string>

#include "common/ProgramOptions.h"
#include "tools/mapgen/BmpWriter.h"
#include "tools/mapgen/SurveyGrid.h"

// What orvane-mapgen is asked to draw: one picture into `out`, or the catalogue's three into `allDir`.
struct MapgenOptions {
    MapCorners corners;
    int width = 989;
    int height = 826;
    BmpFormat format = BmpFormat::bmp24;
    std::uint32_t seed = 1;
    bool fileHeader = true;
    std::string out;
    std::string allDir;
    std::string geoTiff;  // the same picture as georeferenced imagery, when named
    std::string mbTiles;
};

const ProgramDescription& mapgenProgram();

// The corners of catalogue entry `index` (0..2).
MapCorners catalogueSiteCorners(int index);

// Fills `options` from the parsed command line. Refuses, with the reason in `error`, a value out of
// range and any incomplete or contradictory choice: some corners but not all four, corners with
// --site, --out with --all, --all with a choice it makes itself (site, corners, format, seed,
// header), or neither --out nor --all.
bool readMapgenOptions(const ParsedOptions& parsed, MapgenOptions& options, std::string& error);
