#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/mapgen/MapgenOptions.h"

namespace {

// "out|all|ul-lat ul-lon lr-lat lr-lon|WxH format seed header" or "error: ..."
std::string read(const std::vector<std::string>& arguments) {
    const ParsedOptions parsed = parseProgramOptions(mapgenProgram(), arguments);
    if (!parsed.error.empty()) return "error: " + parsed.error;
    MapgenOptions options;
    std::string error;
    if (!readMapgenOptions(parsed, options, error)) return "error: " + error;
    char text[256];
    std::snprintf(text, sizeof text, "%s|%s|%.6f %.6f %.6f %.6f|%dx%d %s %u %s", options.out.c_str(),
                  options.allDir.c_str(), options.corners.upperLeftLat, options.corners.upperLeftLon,
                  options.corners.lowerRightLat, options.corners.lowerRightLon, options.width, options.height,
                  bmpFormatName(options.format), options.seed, options.fileHeader ? "header" : "packed");
    return text;
}

TEST(MapgenOptions, IncompleteOrContradictoryChoicesAreRefusedWithTheReason) {
    const std::string site0 = "39.988195 -75.214313 39.985642 -75.210061";
    const std::string site2 = "39.988837 -75.215957 39.985007 -75.208575";
    const std::vector<std::string> corners = {"--ul-lat", "40.1", "--ul-lon", "-75.3",
                                              "--lr-lat", "40",   "--lr-lon", "-75.2"};
    struct Case {
        std::vector<std::string> arguments;
        std::string expected;
    };
    std::vector<Case> cases = {
        {{"--out", "m.bmp"}, "m.bmp||" + site0 + "|989x826 bmp24 1 header"},
        {{"--site", "2", "--out", "m.bmp", "--format", "rle4", "--seed", "7", "--no-file-header"},
         "m.bmp||" + site2 + "|989x826 rle4 7 packed"},
        {{"--all", "run", "--width", "100", "--height", "50"}, "|run|" + site0 + "|100x50 bmp24 1 header"},
        {{"--ul-lat", "40", "--out", "m.bmp"},
         "error: the four corners go together; missing --ul-lon, --lr-lat, --lr-lon"},
        {{"--ul-lat", "40", "--lr-lon", "-75", "--out", "m.bmp"},
         "error: the four corners go together; missing --ul-lon, --lr-lat"},
        {{"--out", "m.bmp", "--all", "run"},
         "error: give either --out FILE (or --geotiff, --mbtiles) or --all DIR"},
        {{}, "error: give either --out FILE (or --geotiff, --mbtiles) or --all DIR"},
        {{"--all", "run", "--site", "1"},
         "error: --site cannot go with --all, which draws each catalogue site in its own layout"},
        {{"--all", "run", "--format", "bmp8"},
         "error: --format cannot go with --all, which draws each catalogue site in its own layout"},
        {{"--all", "run", "--ul-lat", "40"},
         "error: --ul-lat cannot go with --all, which draws each catalogue site in its own layout"},
        {{"--site", "3", "--out", "m.bmp"}, "error: bad value for --site: 3"},
        {{"--width", "0", "--out", "m.bmp"}, "error: bad value for --width: 0"},
        {{"--height", "16385", "--out", "m.bmp"}, "error: bad value for --height: 16385"},
        {{"--width", "16384", "--height", "16384", "--out", "m.bmp"}, "error: picture too large"},
        {{"--format", "gif", "--out", "m.bmp"}, "error: bad value for --format: gif"},
        {{"--out", ""}, "error: the file or folder name is empty"},
        {{"--out", "m.bmp", "extra"}, "error: unexpected argument extra"},
    };
    std::vector<std::string> withCorners = corners;
    withCorners.insert(withCorners.end(), {"--out", "m.bmp"});
    cases.push_back({withCorners, "m.bmp||40.100000 -75.300000 40.000000 -75.200000|989x826 bmp24 1 header"});
    withCorners.insert(withCorners.end(), {"--site", "1"});
    cases.push_back({withCorners, "error: --site and corners contradict each other"});
    std::vector<std::string> swapped = corners;
    std::swap(swapped[1], swapped[5]);
    swapped.insert(swapped.end(), {"--out", "m.bmp"});
    cases.push_back({swapped, "error: the upper-left corner must lie north-west of the lower-right one"});
    std::vector<std::string> badNumber = corners;
    badNumber[3] = "-75.3x";
    badNumber.insert(badNumber.end(), {"--out", "m.bmp"});
    cases.push_back({badNumber, "error: bad value for --ul-lon: -75.3x"});

    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& word : c.arguments) joined += word + " ";
        EXPECT_EQ(read(c.arguments), c.expected) << joined;
    }
}

}  // namespace
