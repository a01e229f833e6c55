// orvane-mapgen: draws survey-grid map pictures of the catalogue sites (or of any corners) and
// writes them as bitmap files in the layouts the ground station reads.

#include <QGuiApplication>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "map/MapCatalog.h"
#include "tools/mapgen/BmpWriter.h"
#include "tools/mapgen/MapPicture.h"

namespace {

constexpr int kDefaultWidth = 989;
constexpr int kDefaultHeight = 826;

constexpr const char* kUsage =
    "usage: orvane-mapgen [--site N | --ul-lat D --ul-lon D --lr-lat D --lr-lon D]\n"
    "                     [--width W] [--height H] [--format F] [--seed S] [--no-file-header] --out FILE\n"
    "       orvane-mapgen --all DIR\n"
    "  --site N     corners of catalogue entry N (0..2); entry 0 unless corners are given\n"
    "  --format F   bmp24 (default), bmp8, core12, bmp4, bmp1, bmp32, bf16, bf32, rle8, rle4, topdown24\n"
    "  --all DIR    writes site3.bmp (entry 0, bmp24), site2.bmp (entry 1, bmp8) and\n"
    "               site1.bmp (entry 2, core12) into DIR\n";

struct Options {
    MapCorners corners = {kMapCatalog[0].upperLeftLat, kMapCatalog[0].upperLeftLon,
                          kMapCatalog[0].lowerRightLat, kMapCatalog[0].lowerRightLon};
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    BmpFormat format = BmpFormat::bmp24;
    std::uint32_t seed = 1;
    bool fileHeader = true;
    std::string out;
    std::string allDir;
};

bool parseNumber(std::string_view text, double& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool parseNumber(std::string_view text, long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

MapCorners siteCorners(int index) {
    const MapSite& site = kMapCatalog[static_cast<unsigned>(index)];
    return {site.upperLeftLat, site.upperLeftLon, site.lowerRightLat, site.lowerRightLon};
}

// Fills `options` from the command line; false (after saying why) on any bad argument.
bool parseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--no-file-header") {
            options.fileHeader = false;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "orvane-mapgen: %s needs a value\n", argv[i]);
            return false;
        }
        const std::string_view value = argv[++i];
        double number = 0;
        long long whole = 0;
        bool ok = true;
        if (name == "--ul-lat" || name == "--ul-lon" || name == "--lr-lat" || name == "--lr-lon") {
            ok = parseNumber(value, number);
            double& field = name == "--ul-lat"   ? options.corners.upperLeftLat
                            : name == "--ul-lon" ? options.corners.upperLeftLon
                            : name == "--lr-lat" ? options.corners.lowerRightLat
                                                 : options.corners.lowerRightLon;
            field = number;
        } else if (name == "--width" || name == "--height") {
            ok = parseNumber(value, whole) && whole >= 1 && whole <= kDibMaxSide;
            (name == "--width" ? options.width : options.height) = static_cast<int>(whole);
        } else if (name == "--site") {
            ok = parseNumber(value, whole) && whole >= 0 && whole <= 2;
            if (ok) options.corners = siteCorners(static_cast<int>(whole));
        } else if (name == "--seed") {
            ok = parseNumber(value, whole) && whole >= 0 && whole <= 0xFFFFFFFFll;
            options.seed = static_cast<std::uint32_t>(whole);
        } else if (name == "--format") {
            const auto format = parseBmpFormat(value);
            ok = format.has_value();
            if (ok) options.format = *format;
        } else if (name == "--out") {
            options.out = value;
        } else if (name == "--all") {
            options.allDir = value;
        } else {
            std::fprintf(stderr, "orvane-mapgen: unknown option %s\n%s", argv[i - 1], kUsage);
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "orvane-mapgen: bad value for %s: %s\n", argv[i - 1], argv[i]);
            return false;
        }
    }
    if (options.out.empty() == options.allDir.empty()) {
        std::fputs(kUsage, stderr);
        return false;
    }
    if (static_cast<long long>(options.width) * options.height > kDibMaxPixels) {
        std::fputs("orvane-mapgen: picture too large\n", stderr);
        return false;
    }
    if (!options.corners.valid()) {
        std::fputs("orvane-mapgen: the upper-left corner must lie north-west of the lower-right one\n",
                   stderr);
        return false;
    }
    return true;
}

bool writeMap(const MapCorners& corners, int width, int height, std::uint32_t seed, BmpFormat format,
              bool fileHeader, const std::string& path) {
    const auto bytes =
        encodeBmp(toRgbImage(drawMapPicture(corners, width, height, seed)), format, fileHeader);
    if (!bytes) {
        std::fprintf(stderr, "orvane-mapgen: %s cannot hold a %d x %d picture\n", bmpFormatName(format),
                     width, height);
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "orvane-mapgen: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s: %d x %d, %s, %zu bytes\n", path.c_str(), width, height, bmpFormatName(format),
                bytes->size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, options)) return 2;

    // Text needs a GUI application, but the tool never opens a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    if (options.allDir.empty())
        return writeMap(options.corners, options.width, options.height, options.seed, options.format,
                        options.fileHeader, options.out)
                   ? 0
                   : 1;

    // Each catalogue entry's bitmap in a different layout, so that the program meets all of them.
    struct SiteFile {
        int index;
        BmpFormat format;
    };
    constexpr SiteFile kSiteFiles[] = {{0, BmpFormat::bmp24}, {1, BmpFormat::bmp8}, {2, BmpFormat::core12}};
    std::error_code error;
    std::filesystem::create_directories(options.allDir, error);
    for (const SiteFile& site : kSiteFiles) {
        const std::string path = (std::filesystem::path(options.allDir) / mapBitmapFile(site.index)).string();
        if (!writeMap(siteCorners(site.index), options.width, options.height,
                      static_cast<std::uint32_t>(site.index + 1), site.format, true, path))
            return 1;
    }
    return 0;
}
