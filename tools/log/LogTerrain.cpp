#include "tools/log/LogTerrain.h"

#include "map/Terrain.h"

namespace {
constexpr int kGpsAcquired = 1;
constexpr int kFieldsThroughGps = 18;
}  // namespace

void addGround(FlightLog& log, const std::vector<std::string>& paths,
               const std::function<void(const std::string&)>& report) {
    ElevationSet terrain(paths, report);
    log.terrainInUse = true;
    for (LoggedLine& line : log.lines) {
        if (!line.hasPosition() || line.fields < kFieldsThroughGps || line.values.gpsStatus != kGpsAcquired)
            continue;
        const GroundHeight ground = terrain.heightAt({line.values.lat, line.values.lon});
        if (ground.known()) line.ground = ground.metres;
    }
}
