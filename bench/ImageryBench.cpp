// Figures of an opened map: a 20000 x 20000 GeoTIFF in UTM with overviews, read through GDAL on
// the loader thread and drawn on Mesa's software renderer in memory at the reference size. The time
// to its first picture, the frame at three zooms, a pan across the whole map at full detail (how
// soon each step shows its new detail), and the resident memory beside the catalogue map's.

#include <GL/gl.h>
#include <cpl_error.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "map/GdalSupport.h"
#include "bench/BenchSection.h"
#include "bench/PrintingNotifier.h"
#include "common/ProcessStat.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/Scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSide = 20000;
constexpr int kStrip = 500;
constexpr int kWidth = 1024, kHeight = 672;
constexpr int kFrames = 60;
constexpr double kFirstPictureTargetMs = 1000;
constexpr double kFrameTargetMs = 8;
constexpr double kDetailTargetMs = 200;
constexpr double kMemoryTargetMiB = 80;
constexpr GIntBig kWriteCacheBytes = 16 << 20;

// A survey-like picture: a grid every 100 pixels over two ramps, deflated, tiled, with overviews.
bool writeBigGeoTiff(const std::string& path) {
    // The program's own drivers: a format it needs and does not register shows here.
    registerGdalDrivers();
    // Writing through GDAL's default block cache would leave this process with a share of the
    // machine's memory, and the resident figures below would measure that.
    GDALSetCacheMax64(kWriteCacheBytes);
    const char* options[] = {"TILED=YES", "COMPRESS=DEFLATE", "BIGTIFF=IF_SAFER", nullptr};
    GDALDatasetH file = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), kSide, kSide, 3, GDT_Byte,
                                   const_cast<char**>(options));
    if (file == nullptr) return false;
    double transform[6] = {470000, 0.5, 0, 4433000, 0, -0.5};
    GDALSetGeoTransform(file, transform);
    OGRSpatialReferenceH utm = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(utm, "EPSG:32618");
    GDALSetSpatialRef(file, utm);
    OSRDestroySpatialReference(utm);
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(kSide) * kStrip);
    for (int band = 1; band <= 3; ++band) {
        for (int top = 0; top < kSide; top += kStrip) {
            for (int y = 0; y < kStrip; ++y) {
                for (int x = 0; x < kSide; ++x) {
                    const bool grid = x % 100 == 0 || (top + y) % 100 == 0;
                    strip[static_cast<std::size_t>(y) * kSide + x] = static_cast<std::uint8_t>(
                        grid ? 255 : (band == 2 ? 90 + x / 170 : 60 + (top + y) / 200));
                }
            }
            if (GDALRasterIO(GDALGetRasterBand(file, band), GF_Write, 0, top, kSide, kStrip, strip.data(),
                             kSide, kStrip, GDT_Byte, 0, 0) != CE_None) {
                GDALClose(file);
                return false;
            }
        }
    }
    int levels[] = {2, 4, 8, 16, 32, 64};
    const bool built =
        GDALBuildOverviews(file, "AVERAGE", 6, levels, 0, nullptr, nullptr, nullptr) == CE_None;
    GDALClose(file);
    return built;
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? 0 : samples[samples.size() / 2];
}

// Takes results and draws until every tile of the view has come; the milliseconds it took.
double settle(Scene& scene) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < 20000; ++i) {
        scene.takeMapResults();
        scene.drawFrame();
        if (scene.imagery() != nullptr && !scene.imagery()->waitingForTiles()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return millisecondsSince(start);
}

double frameMedian(Scene& scene) {
    std::vector<double> times;
    for (int i = 0; i < kFrames; ++i) {
        const Clock::time_point start = Clock::now();
        scene.drawFrame();
        times.push_back(millisecondsSince(start));
    }
    return median(times);
}

}  // namespace

void benchImagery(BenchSetting& setting, Scorecard& scorecard) {
    const std::string path = (setting.scratch() / "orthophoto.tif").string();
    std::printf("writing a %d x %d GeoTIFF (UTM, 0.5 m pixels, overviews)...\n", kSide, kSide);
    const Clock::time_point written = Clock::now();
    if (!writeBigGeoTiff(path)) {
        scorecard.notMeasured("opened map: first picture, ms", "< 1000", "the GeoTIFF cannot be written");
        return;
    }
    std::printf("  written in %.1f s\n", millisecondsSince(written) / 1000);
    ScratchWorkDir scratch;
    writeBenchMapPicture("site3.bmp", kShippedMapWidth, kShippedMapHeight);
    OsMesaContext context(kWidth, kHeight);
    TelemetryState telemetry;
    PrintingNotifier notifier;
    Scene scene(telemetry, notifier);
    // The same frame again and again: whole, as a zoom or pan draws it, not only what changed.
    scene.setPartialRedraw(false);
    scene.initGl();
    scene.resize(kWidth, kHeight);
    for (int i = 0; i < kFrames; ++i) scene.drawFrame();
    const double catalogueFrame = frameMedian(scene);
    const double catalogueMiB = readResidentMiB(0);

    const Clock::time_point opening = Clock::now();
    scene.openMap({path, {}});
    double firstPicture = 0;
    while (scene.imagery() == nullptr && millisecondsSince(opening) < 30000) {
        scene.takeMapResults();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    scene.drawFrame();
    firstPicture = millisecondsSince(opening);
    if (scene.imagery() == nullptr) {
        scorecard.notMeasured("opened map: first picture, ms", "< 1000", "the GeoTIFF does not open");
        return;
    }
    settle(scene);
    const double whole = frameMedian(scene);
    for (int i = 0; i < 10; ++i) scene.wheelStep(-120);
    settle(scene);
    const double middle = frameMedian(scene);
    for (int i = 0; i < 60; ++i) scene.wheelStep(-120);
    settle(scene);
    const double full = frameMedian(scene);
    std::printf(
        "catalogue map frame %.2f ms; opened map: first picture %.0f ms, frame at the whole map %.2f ms, "
        "halfway %.2f ms, one pixel a pixel %.2f ms (level %d)\n",
        catalogueFrame, firstPicture, whole, middle, full, scene.imagery()->lastLevel());

    // Across the whole map at full detail, row by row, a step of half the shown width at a time.
    scene.resetMapView();
    for (int i = 0; i < 70; ++i) scene.wheelStep(-120);
    scene.panMap(100, 100);
    settle(scene);
    const MapGeometry& g = scene.mapGeometry();
    const double step = (g.mapRight - g.mapLeft) / 2;
    std::vector<double> detail, panFrames;
    double mostMiB = 0;
    for (int row = 0; row < 6; ++row) {
        for (int column = 0; column < 12; ++column) {
            scene.panMap(row % 2 == 0 ? -step : step, 0);
            const Clock::time_point start = Clock::now();
            scene.drawFrame();
            panFrames.push_back(millisecondsSince(start));
            detail.push_back(settle(scene));
            mostMiB = std::max(mostMiB, readResidentMiB(0));
        }
        scene.panMap(0, step);
    }
    std::sort(detail.begin(), detail.end());
    const double detailP90 = detail[detail.size() * 9 / 10];
    std::printf(
        "pan across the map: %zu steps, frame median %.2f ms, new detail median %.0f ms, p90 %.0f ms, "
        "max %.0f ms; tiles read %d, textures %.1f MiB\n",
        detail.size(), median(panFrames), median(detail), detailP90, detail.back(),
        scene.imagery()->loader().tilesRead(),
        static_cast<double>(scene.imagery()->textureBytes()) / 1048576.0);
    std::printf("resident memory: catalogue map %.1f MiB, opened map at most %.1f MiB\n", catalogueMiB,
                mostMiB);

    scorecard.judge("opened map: first picture, ms", formatFigure("%.0f", firstPicture), "< 1000",
                    firstPicture < kFirstPictureTargetMs);
    const double worstFrame = std::max({whole, middle, full, median(panFrames)});
    scorecard.judge("opened map: frame median at 3 zooms and panning, ms",
                    formatFigure("%.2f %.2f %.2f %.2f", whole, middle, full, median(panFrames)), "< 8",
                    worstFrame < kFrameTargetMs);
    scorecard.judge("opened map: new detail after a pan step, ms (p90)", formatFigure("%.0f", detailP90),
                    "<= 200", detailP90 <= kDetailTargetMs);
    scorecard.judge("opened map: resident memory above the catalogue map's, MiB",
                    formatFigure("%.1f", mostMiB - catalogueMiB), "< 80",
                    mostMiB - catalogueMiB < kMemoryTargetMiB);
}
