// Figures of the drawing layers on Mesa's software renderer, in memory: the time to build the
// outline font's display lists and the time to draw whole frames at the reference size. A frame's
// processor time counts the renderer's worker threads too, which is what the running program pays.

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchSection.h"
#include "bench/PrintingNotifier.h"
#include "common/ProcessStat.h"
#include "map/Waypoints.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/OutlineFont.h"
#include "view/Scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 672;
constexpr int kFullScreenWidth = 1280;
constexpr int kFullScreenHeight = 1005;
constexpr int kFontBuilds = 15;
constexpr int kWarmUpFrames = 5;
constexpr int kMeasuredFrames = 150;
constexpr double kTargetFrameMs = 8.0;

struct Summary {
    double median;
    double p90;
};
Summary summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 9 / 10]};
}

struct DrawingTimes {
    Summary wall;
    Summary cpu;
};

template <typename Draw>
DrawingTimes timeDrawing(int count, Draw draw) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < count; ++i) {
        const Clock::time_point start = Clock::now();
        const double cpuStart = processCpuMilliseconds();
        draw();
        glFinish();
        wall.push_back(millisecondsSince(start));
        cpu.push_back(processCpuMilliseconds() - cpuStart);
    }
    return {summarise(wall), summarise(cpu)};
}

void measureFontBuild() {
    Clock::time_point start = Clock::now();
    GLuint base = buildOutlineFont(0.1);
    const double firstBuild = millisecondsSince(start);
    if (base == 0) {
        std::printf("font lists: no text face\n");
        return;
    }
    glDeleteLists(base, kOutlineFontListCount);
    std::vector<double> builds;
    for (int i = 0; i < kFontBuilds; ++i) {
        start = Clock::now();
        base = buildOutlineFont(0.1);
        builds.push_back(millisecondsSince(start));
        glDeleteLists(base, kOutlineFontListCount);
    }
    const Summary fontBuild = summarise(builds);
    std::printf(
        "font lists (256 glyphs): first build %.2f ms (with the face lookup), median %.2f ms, p90 %.2f ms\n",
        firstBuild, fontBuild.median, fontBuild.p90);
}

// A busy aircraft over the middle of the map, every value long, the link row showing its rate, and
// eight uploaded waypoints spread over the map box with their labels and the route line.
void fillBusyScene(Scene& scene, TelemetryState& telemetry) {
    const MapGeometry& g = scene.mapGeometry();
    telemetry.lat = (g.upperLeftLat + g.lowerRightLat) / 2;
    telemetry.lon = (g.upperLeftLon + g.lowerRightLon) / 2;
    telemetry.psi = 0.7f;
    telemetry.phi = -0.31f;
    telemetry.theta = 0.12f;
    telemetry.alt = 1234.5f;
    telemetry.palt = 1230.25f;
    telemetry.cas = 27.75f;
    telemetry.gpsStatus = 1;
    telemetry.ahrsStatus = 2;
    telemetry.packetInterval = 0.1;

    Waypoints& route = scene.waypoints();
    for (int i = 0; i < kWaypointUploadLimit; ++i) {
        const ReferencePoint at = referenceToGeo(g, 60 + i * 75, 150 + (i % 4) * 120);
        route.waypointSceneX[static_cast<std::size_t>(i)] = at.scene.x;
        route.waypointSceneY[static_cast<std::size_t>(i)] = at.scene.y;
        route.waypointLat[static_cast<std::size_t>(i)] = at.geo.lat;
        route.waypointLon[static_cast<std::size_t>(i)] = at.geo.lon;
    }
    route.waypointCount = kWaypointUploadLimit;
    route.routeShown = 1;
}

// Full frames and each layer alone at `width` x `height`; the drawing times of full frames.
std::optional<DrawingTimes> measureFrames(int width, int height) {
    OsMesaContext context(width, height);
    if (!context.valid()) return std::nullopt;
    std::printf("%d x %d:\n", width, height);

    TelemetryState telemetry;
    PrintingNotifier notifier;
    Scene scene(telemetry, notifier);
    const Clock::time_point start = Clock::now();
    scene.initGl();
    std::printf("  initGl with a %d x %d map picture: %.2f ms\n", kShippedMapWidth, kShippedMapHeight,
                millisecondsSince(start));
    scene.resize(width, height);
    fillBusyScene(scene, telemetry);

    // The layers, each drawn alone after a clear.
    auto textured = [] {
        glEnable(GL_TEXTURE_2D);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
    };
    const std::vector<std::pair<const char*, std::function<void()>>> layers = {
        {"clear only", [] {}},
        {"status panel",
         [&] {
             glDisable(GL_TEXTURE_2D);
             telemetry.linkAlive = 1;
             scene.drawStatusPanel();
         }},
        {"waypoint marks",
         [&] {
             glDisable(GL_TEXTURE_2D);
             scene.drawWaypointMarks();
         }},
        {"waypoint panel",
         [&] {
             glDisable(GL_TEXTURE_2D);
             scene.drawWaypointPanel();
         }},
        {"aircraft symbol",
         [&] {
             glDisable(GL_TEXTURE_2D);
             scene.drawAircraftSymbol();
         }},
        {"map",
         [&] {
             textured();
             scene.drawMap();
         }},
    };
    auto drawAlone = [](const std::function<void()>& draw) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        draw();
    };

    // The first drawing of a layer has the renderer compile code for its drawing states: what
    // that adds to the resident memory (the first size only; later ones reuse the code).
    static bool firstContext = true;
    if (firstContext) {
        firstContext = false;
        std::printf(
            "  resident memory added by the first drawing of each layer (the renderer's code for it):\n");
        for (const auto& [name, draw] : layers) {
            const double before = readResidentMiB(0);
            drawAlone(draw);
            glFinish();
            std::printf("    %-16s %+6.1f MiB\n", name, readResidentMiB(0) - before);
        }
    }

    // Whole frames: what a zoom, a pan or a new map costs, and every frame before partial redraw.
    scene.setPartialRedraw(false);
    auto frame = [&] {
        telemetry.linkAlive = 1;
        scene.drawFrame();
    };
    for (int i = 0; i < kWarmUpFrames; ++i) frame();
    const DrawingTimes frames = timeDrawing(kMeasuredFrames, frame);
    std::printf(
        "  whole frame (panel, 8 waypoints with labels and route, buttons, symbol, map), %d frames:\n"
        "    wall time      median %.2f ms, p90 %.2f ms\n"
        "    processor time median %.2f ms, p90 %.2f ms (all threads)\n",
        kMeasuredFrames, frames.wall.median, frames.wall.p90, frames.cpu.median, frames.cpu.p90);

    // Frames of a flight: every frame new values, the symbol a step further and turned, the track
    // a point longer, as at 50 lines a second drawn ten times a second; only what changed drawn.
    scene.setPartialRedraw(true);
    const MapGeometry& g = scene.mapGeometry();
    int step = 0;
    double changedShare = 0;
    auto flightFrame = [&] {
        const double f = (step % 600) / 600.0;
        telemetry.lat = g.upperLeftLat + (0.3 + 0.4 * f) * (g.lowerRightLat - g.upperLeftLat);
        telemetry.lon = g.upperLeftLon + (0.2 + 0.6 * f) * (g.lowerRightLon - g.upperLeftLon);
        telemetry.psi = static_cast<float>(0.7 + 0.01 * step);
        telemetry.phi = static_cast<float>(-0.31 + 0.001 * step);
        telemetry.alt = static_cast<float>(1234.5 + 0.13 * step);
        telemetry.cas = static_cast<float>(27.75 + 0.01 * (step % 50));
        scene.liveTrack().addFix(telemetry.lat, telemetry.lon, step * 100);
        scene.setTrackClock(step * 100);
        ++step;
        frame();
        long long pixels = 0;
        for (const PixelRect& r : scene.lastFrameChanges().rects) pixels += r.area();
        changedShare += static_cast<double>(pixels) / (static_cast<double>(width) * height);
    };
    for (int i = 0; i < kWarmUpFrames; ++i) flightFrame();
    changedShare = 0;
    const DrawingTimes flight = timeDrawing(kMeasuredFrames, flightFrame);
    std::printf(
        "  frame of a flight, only what changed drawn (%.1f %% of the view a frame on average):\n"
        "    wall time      median %.2f ms, p90 %.2f ms\n"
        "    processor time median %.2f ms, p90 %.2f ms (all threads)\n",
        100 * changedShare / kMeasuredFrames, flight.wall.median, flight.wall.p90, flight.cpu.median,
        flight.cpu.p90);
    scene.setPartialRedraw(false);

    // The layers alone, to see where a frame's time goes.
    std::printf("  each layer alone after a clear (wall median, processor median):\n");
    auto layer = [&](const char* name, const std::function<void()>& draw) {
        const DrawingTimes times = timeDrawing(kMeasuredFrames, [&] { drawAlone(draw); });
        std::printf("    %-16s %6.2f ms %6.2f ms\n", name, times.wall.median, times.cpu.median);
    };
    for (const auto& [name, draw] : layers) layer(name, draw);
    // The same pixels with the mipmap level left to the renderer for every pixel.
    std::printf("    (map level %d, chosen by the view)\n", scene.mapTextureLevel());
    scene.setMapLevelChosenByView(false);
    layer("map, level by GL", layers.back().second);
    scene.setMapLevelChosenByView(true);
    return frames;
}

}  // namespace

void benchFrame(BenchSetting& /*setting*/, Scorecard& scorecard) {
    const char* figure = "frame at 1024 x 672, ms (median, p90)";
    const char* target = "< 8";
    ScratchWorkDir scratch;
    writeBenchMapPicture("site3.bmp", kShippedMapWidth, kShippedMapHeight);
    std::optional<DrawingTimes> reference;
    {
        OsMesaContext context(kFrameWidth, kFrameHeight);
        if (!context.valid()) {
            std::printf("no off-screen GL context\n");
            scorecard.notMeasured(figure, target, "no off-screen GL context");
            return;
        }
        std::printf("Frame drawing on %s, OpenGL %s\n",
                    reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                    reinterpret_cast<const char*>(glGetString(GL_VERSION)));
        measureFontBuild();
    }
    // The reference size, and the view of a maximised window on a 1280 x 1024 screen.
    reference = measureFrames(kFrameWidth, kFrameHeight);
    measureFrames(kFullScreenWidth, kFullScreenHeight);
    if (!reference) {
        scorecard.notMeasured(figure, target, "no off-screen GL context");
        return;
    }
    scorecard.judge(figure, formatFigure("%.2f (%.2f)", reference->wall.median, reference->wall.p90), target,
                    reference->wall.median < kTargetFrameMs);
}

// A map-sized 24-bit picture with a survey grid over a gradient, like the shipped pictures.
void writeBenchMapPicture(const char* fileName, int width, int height) {
    writeBitmap24(fileName, width, height, [width, height](int x, int y) {
        if (x % 50 == 0 || y % 50 == 0) return Rgb8{255, 255, 255};
        // A blue ramp up the picture, a green one across it.
        return Rgb8{40, static_cast<std::uint8_t>(90 + x * 120 / width),
                    static_cast<std::uint8_t>(60 + y * 100 / height)};
    });
}
