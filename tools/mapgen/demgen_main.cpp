// orvane-demgen: writes the made-up elevation tile of the catalogue sites, with the hill that the
// simulator's circuit flown low (orvane-sim --low) passes within the clearance margin of.

#include <cstdio>
#include <filesystem>

#include "common/ProgramOptions.h"
#include "tools/mapgen/DemonstrationTerrain.h"

namespace {

constexpr ProgramOption kOptions[] = {
    {"--out", "FILE", "write the tile to FILE (a GeoTIFF; its folder is made when needed)"},
};

constexpr ProgramDescription kProgram = {
    "orvane-demgen",
    "--out FILE",
    "Writes a made-up elevation tile (GeoTIFF, heights in metres above sea level) around the ground\n"
    "station's catalogue sites, with a hill under the east end of the simulator's circuit.",
    kOptions,
    "  Writes only FILE, replacing it whole; reads no file.",
};

}  // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseProgramOptions(kProgram, argumentList(argc, argv));
    if (const auto status = answerCommandLine(kProgram, parsed)) return *status;
    const std::string* out = parsed.value("--out");
    if (out == nullptr || out->empty()) return refuseCommandLine(kProgram, "give --out FILE");
    if (!parsed.positional.empty())
        return refuseCommandLine(kProgram, "unexpected argument " + parsed.positional[0]);
    const std::filesystem::path folder = std::filesystem::path(*out).parent_path();
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    const DemonstrationTerrain terrain;
    std::string error;
    if (!writeDemonstrationTerrain(terrain, *out, error)) {
        std::fprintf(stderr, "orvane-demgen: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: hill of %.0f m at %.5f %.5f\n", out->c_str(), terrain.heightAt(terrain.hillTop),
                terrain.hillTop.lat, terrain.hillTop.lon);
    return 0;
}
