// orvane-mapgen: draws survey-grid map pictures of the catalogue sites (or of any corners) and
// writes them as bitmap files in the layouts the ground station reads.

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/OutputFile.h"
#include "map/MapCatalog.h"
#include "tools/mapgen/BmpWriter.h"
#include "tools/mapgen/GeoImageWriter.h"
#include "tools/mapgen/MapPicture.h"
#include "tools/mapgen/MapgenOptions.h"

namespace {

bool writeMap(const MapCorners& corners, int width, int height, std::uint32_t seed, BmpFormat format,
              bool fileHeader, const std::string& path) {
    const auto bytes =
        encodeBmp(toRgbImage(drawMapPicture(corners, width, height, seed)), format, fileHeader);
    if (!bytes) {
        std::fprintf(stderr, "orvane-mapgen: %s cannot hold a %d x %d picture\n", bmpFormatName(format),
                     width, height);
        return false;
    }
    if (std::string error; !writeWholeFile(path, bytes->data(), bytes->size(), error)) {
        std::fprintf(stderr, "orvane-mapgen: %s\n", error.c_str());
        return false;
    }
    std::printf("%s: %d x %d, %s, %zu bytes\n", path.c_str(), width, height, bmpFormatName(format),
                bytes->size());
    return true;
}

// The same picture as a GeoTIFF in its UTM zone and as MBTiles, for the maps an operator opens.
bool writeImagery(const MapgenOptions& options) {
    if (options.geoTiff.empty() && options.mbTiles.empty()) return true;
    const QImage picture = drawMapPicture(options.corners, options.width, options.height, options.seed);
    const std::pair<const std::string&,
                    bool (*)(const QImage&, const MapCorners&, const std::string&, std::string&)>
        files[] = {{options.geoTiff, writeUtmGeoTiff}, {options.mbTiles, writeMbTiles}};
    for (const auto& [path, write] : files) {
        if (path.empty()) continue;
        std::string error;
        if (!write(picture, options.corners, path, error)) {
            std::fprintf(stderr, "orvane-mapgen: cannot write %s: %s\n", path.c_str(), error.c_str());
            return false;
        }
        std::printf("%s: %d x %d survey picture, georeferenced\n", path.c_str(), options.width,
                    options.height);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseProgramOptions(mapgenProgram(), argumentList(argc, argv));
    if (const auto status = answerCommandLine(mapgenProgram(), parsed)) return *status;
    MapgenOptions options;
    if (std::string error; !readMapgenOptions(parsed, options, error))
        return refuseCommandLine(mapgenProgram(), error);

    // Text needs a GUI application, but the tool never opens a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt looks up the session's runtime folder while it starts and warns where there is no session
    // (a build machine, a cron job). The tool keeps nothing there: an empty private one will do.
    std::string runtimeFolder;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-mapgen-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            runtimeFolder = pattern;
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtimeFolder));
        }
    }
    const struct RemoveAtEnd {
        const std::string& folder;
        ~RemoveAtEnd() {
            std::error_code ignored;
            if (!folder.empty()) std::filesystem::remove(folder, ignored);
        }
    } removeRuntimeFolder{runtimeFolder};
    QGuiApplication application(argc, argv);

    if (options.allDir.empty()) {
        if (!options.out.empty() && !writeMap(options.corners, options.width, options.height, options.seed,
                                              options.format, options.fileHeader, options.out))
            return 1;
        return writeImagery(options) ? 0 : 1;
    }

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
        if (!writeMap(catalogueSiteCorners(site.index), options.width, options.height,
                      static_cast<std::uint32_t>(site.index + 1), site.format, true, path))
            return 1;
    }
    return 0;
}
