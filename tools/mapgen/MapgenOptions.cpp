#include "tools/mapgen/MapgenOptions.h"

#include <charconv>
#include <string_view>

#include "map/DibImage.h"
#include "map/MapCatalog.h"

namespace {

constexpr ProgramOption kOptions[] = {
    {"--site", "N", "corners of catalogue entry N (0..2); entry 0 unless corners are given"},
    {"--ul-lat", "DEGREES", "latitude of the upper-left corner (the four corners go together)"},
    {"--ul-lon", "DEGREES", "longitude of the upper-left corner"},
    {"--lr-lat", "DEGREES", "latitude of the lower-right corner"},
    {"--lr-lon", "DEGREES", "longitude of the lower-right corner"},
    {"--width", "PIXELS", "width of the picture (default 989)"},
    {"--height", "PIXELS", "height of the picture (default 826)"},
    {"--format", "F", "bmp24 (default), bmp8, core12, bmp4, bmp1, bmp32, bf16, bf32, rle8, rle4, topdown24"},
    {"--seed", "S", "seed of the survey-grid details (default 1)"},
    {"--no-file-header", "", "write a packed bitmap that starts with its bitmap header"},
    {"--out", "FILE", "write the picture to FILE"},
    {"--geotiff", "FILE", "write the picture also as a GeoTIFF in its UTM zone, with overviews"},
    {"--mbtiles", "FILE", "write the picture also as MBTiles (Web Mercator tiles)"},
    {"--all", "DIR",
     "write site3.bmp (entry 0, bmp24), site2.bmp (entry 1, bmp8) and site1.bmp"
     " (entry 2, core12) into DIR"},
};

constexpr ProgramDescription kProgram = {
    "orvane-mapgen",
    "[--site N | --ul-lat D --ul-lon D --lr-lat D --lr-lon D] [OPTION]... --out FILE\n"
    "       orvane-mapgen [--width W] [--height H] --all DIR",
    "Draws survey-grid map pictures of the ground station's catalogue sites, or of any corners,\n"
    "and writes them as bitmap files in the layouts the ground station reads.",
    kOptions,
    "  Writes only the files of --out, --geotiff and --mbtiles, or site1.bmp, site2.bmp and site3.bmp in the "
    "folder of --all\n"
    "  (made when needed), replacing files of those names. Reads no file.",
};

constexpr const char* kCornerOptions[] = {"--ul-lat", "--ul-lon", "--lr-lat", "--lr-lon"};
constexpr int kCatalogueEntries = 3;

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

MapCorners catalogueSiteCorners(int index) {
    const MapSite& site = kMapCatalog[static_cast<unsigned>(index)];
    return {site.upperLeftLat, site.upperLeftLon, site.lowerRightLat, site.lowerRightLon};
}

const ProgramDescription& mapgenProgram() {
    return kProgram;
}

bool readMapgenOptions(const ParsedOptions& parsed, MapgenOptions& options, std::string& error) {
    const auto refuse = [&error](std::string text) {
        error = std::move(text);
        return false;
    };
    const auto badValue = [&](std::string_view option) {
        return refuse("bad value for " + std::string(option) + ": " + *parsed.value(option));
    };
    if (!parsed.positional.empty()) return refuse("unexpected argument " + parsed.positional.front());

    int cornersGiven = 0;
    std::string missing;
    for (const char* option : kCornerOptions) {
        if (parsed.has(option)) {
            ++cornersGiven;
        } else {
            missing += missing.empty() ? option : std::string(", ") + option;
        }
    }
    const bool allSites = parsed.has("--all");
    const bool oneMap = parsed.has("--out") || parsed.has("--geotiff") || parsed.has("--mbtiles");
    if (oneMap == allSites) return refuse("give either --out FILE (or --geotiff, --mbtiles) or --all DIR");
    if (allSites) {
        for (const char* option : {"--site", "--ul-lat", "--ul-lon", "--lr-lat", "--lr-lon", "--format",
                                   "--seed", "--no-file-header"}) {
            if (parsed.has(option))
                return refuse(std::string(option) +
                              " cannot go with --all, which draws each catalogue site "
                              "in its own layout");
        }
    }
    if (cornersGiven != 0 && cornersGiven != 4)
        return refuse("the four corners go together; missing " + missing);
    if (cornersGiven == 4 && parsed.has("--site")) return refuse("--site and corners contradict each other");

    int site = 0;
    if (const std::string* value = parsed.value("--site")) {
        if (!parseNumber(*value, site) || site < 0 || site >= kCatalogueEntries) return badValue("--site");
    }
    options.corners = catalogueSiteCorners(site);
    if (cornersGiven == 4) {
        double* fields[] = {&options.corners.upperLeftLat, &options.corners.upperLeftLon,
                            &options.corners.lowerRightLat, &options.corners.lowerRightLon};
        for (int i = 0; i < 4; ++i) {
            if (!parseNumber(*parsed.value(kCornerOptions[i]), *fields[i]))
                return badValue(kCornerOptions[i]);
        }
    }
    for (const char* option : {"--width", "--height"}) {
        const std::string* value = parsed.value(option);
        if (value == nullptr) continue;
        long long side = 0;
        if (!parseNumber(*value, side) || side < 1 || side > kDibMaxSide) return badValue(option);
        (std::string_view(option) == "--width" ? options.width : options.height) = static_cast<int>(side);
    }
    if (const std::string* value = parsed.value("--seed")) {
        long long seed = 0;
        if (!parseNumber(*value, seed) || seed < 0 || seed > 0xFFFFFFFFll) return badValue("--seed");
        options.seed = static_cast<std::uint32_t>(seed);
    }
    if (const std::string* value = parsed.value("--format")) {
        const auto format = parseBmpFormat(*value);
        if (!format) return badValue("--format");
        options.format = *format;
    }
    options.fileHeader = !parsed.has("--no-file-header");
    if (const std::string* value = parsed.value("--out")) options.out = *value;
    if (const std::string* value = parsed.value("--all")) options.allDir = *value;
    if (const std::string* value = parsed.value("--geotiff")) options.geoTiff = *value;
    if (const std::string* value = parsed.value("--mbtiles")) options.mbTiles = *value;
    for (const char* option : {"--out", "--all", "--geotiff", "--mbtiles"}) {
        if (parsed.has(option) && parsed.value(option)->empty())
            return refuse("the file or folder name is empty");
    }

    if (static_cast<long long>(options.width) * options.height > kDibMaxPixels)
        return refuse("picture too large");
    if (!options.corners.valid())
        return refuse("the upper-left corner must lie north-west of the lower-right one");
    return true;
}
