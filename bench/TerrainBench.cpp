// The ground under the aircraft: a lookup once its posts are read, on a 3 arc-second SRTM tile.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bench/BenchSection.h"
#include "map/Terrain.h"

namespace {

constexpr int kSrtmSide = 1201;
constexpr int kLookups = 2000000;
constexpr double kTargetNanoseconds = 1000;

bool writeTile(const std::filesystem::path& path) {
    std::ofstream file(path, std::ios::binary);
    for (int row = 0; row < kSrtmSide; ++row) {
        for (int column = 0; column < kSrtmSide; ++column) {
            const auto height = static_cast<std::uint16_t>(100 + (column * 7 + row * 3) % 400);
            const char bytes[2] = {static_cast<char>(height >> 8), static_cast<char>(height & 0xff)};
            file.write(bytes, 2);
        }
    }
    file.close();
    return static_cast<bool>(file);
}

}  // namespace

void benchTerrain(BenchSetting& setting, Scorecard& scorecard) {
    const std::filesystem::path tile = setting.scratch() / "N39W076.hgt";
    const std::string figure = "ground lookup once read, ns a line";
    const std::string target = formatFigure("< %.0f", kTargetNanoseconds);
    if (!writeTile(tile)) {
        scorecard.notMeasured(figure, target, "the tile cannot be written");
        return;
    }
    TerrainLoader loader({tile.string()}, nullptr);
    // The aircraft's circuit: a few hundred metres round, as the lines come.
    const auto pointAt = [](int i) {
        const double angle = i * 1e-4;
        return GeoPoint{39.9868 + 0.0008 * std::sin(angle), -75.2122 + 0.0013 * std::cos(angle)};
    };
    const auto firstAsked = std::chrono::steady_clock::now();
    while (!loader.heightAt(pointAt(0)).known()) {
        if (std::chrono::steady_clock::now() - firstAsked > std::chrono::seconds(30)) {
            scorecard.notMeasured(figure, target, "the tile was not read within 30 s");
            return;
        }
        loader.poll();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double firstMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - firstAsked).count();
    // Every block the circuit crosses, read before the timing.
    for (int i = 0; i < kLookups; i += 1000) {
        while (loader.heightAt(pointAt(i)).state == GroundHeight::State::Loading) {
            loader.poll();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    double sum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLookups; ++i) sum += loader.heightAt(pointAt(i)).metres;
    const double nanoseconds =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / kLookups;
    std::printf("terrain: first height %.1f ms after the first ask (open and read on the reading thread)\n",
                firstMs);
    std::printf("terrain: %.0f ns a lookup over %d lookups (mean height %.1f m)\n", nanoseconds, kLookups,
                sum / kLookups);
    scorecard.judge("first ground height after the first ask, ms", formatFigure("%.1f", firstMs), "reported",
                    true);
    scorecard.judge(figure, formatFigure("%.0f", nanoseconds), target, nanoseconds < kTargetNanoseconds);
}
