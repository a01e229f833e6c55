// Figures of the drawing layers on Mesa's software renderer, in memory: the time to build the
// outline font's display lists and the time to draw whole frames at the reference size.

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/Notifier.h"
#include "map/Waypoints.h"
#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/OutlineFont.h"
#include "view/Scene.h"

namespace {

constexpr int kFrameWidth = 1024;
constexpr int kFrameHeight = 672;
constexpr int kFontBuilds = 15;
constexpr int kWarmUpFrames = 5;
constexpr int kMeasuredFrames = 150;

using Clock = std::chrono::steady_clock;

class PrintingNotifier : public Notifier {
public:
    void showMessage(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    }
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Summary {
    double median;
    double p90;
};
Summary summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 9 / 10]};
}

template <typename Draw>
Summary timeDrawing(int count, Draw draw) {
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        const Clock::time_point start = Clock::now();
        draw();
        glFinish();
        samples.push_back(millisecondsSince(start));
    }
    return summarise(samples);
}

// A map-sized 24-bit picture with a survey grid over a gradient, like the shipped pictures.
void writeMapPicture(const char* fileName, int width, int height) {
    writeBitmap24(fileName, width, height, [width, height](int x, int y) {
        if (x % 50 == 0 || y % 50 == 0) return Rgb8{255, 255, 255};
        // A blue ramp up the picture, a green one across it.
        return Rgb8{40, static_cast<std::uint8_t>(90 + x * 120 / width),
                    static_cast<std::uint8_t>(60 + y * 100 / height)};
    });
}

}  // namespace

int main() {
    std::vector<unsigned char> colorBuffer(static_cast<std::size_t>(kFrameWidth) * kFrameHeight * 4);
    const int attributes[] = {
        OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_PROFILE, OSMESA_COMPAT_PROFILE, 0};
    OSMesaContext context = OSMesaCreateContextAttribs(attributes, nullptr);
    if (!context ||
        !OSMesaMakeCurrent(context, colorBuffer.data(), GL_UNSIGNED_BYTE, kFrameWidth, kFrameHeight)) {
        std::fprintf(stderr, "no off-screen GL context\n");
        return 1;
    }

    std::string scratch = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (!mkdtemp(scratch.data())) return 1;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch);
    writeMapPicture("site3.bmp", kShippedMapWidth, kShippedMapHeight);

    std::printf("Frame drawing on %s, %d x %d\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                kFrameWidth, kFrameHeight);

    Clock::time_point start = Clock::now();
    GLuint base = buildOutlineFont(0.1);
    const double firstBuild = millisecondsSince(start);
    if (base == 0) {
        std::fprintf(stderr, "no text face\n");
        return 1;
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

    TelemetryState telemetry;
    PrintingNotifier notifier;
    Scene scene(telemetry, notifier);
    start = Clock::now();
    scene.initGl();
    std::printf("initGl with a %d x %d map picture: %.2f ms\n", kShippedMapWidth, kShippedMapHeight,
                millisecondsSince(start));
    scene.resize(kFrameWidth, kFrameHeight);

    // A busy aircraft over the middle of the map, every value long, the link row showing its rate.
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

    // Eight uploaded waypoints spread over the map box, with their labels and the route line.
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

    auto frame = [&] {
        telemetry.linkAlive = 1;
        scene.drawFrame();
    };
    for (int i = 0; i < kWarmUpFrames; ++i) frame();
    const Summary frames = timeDrawing(kMeasuredFrames, frame);
    std::printf(
        "full frame (panel, 8 waypoints with labels and route, buttons, symbol, map): median %.2f ms, p90 "
        "%.2f ms (%d frames)\n",
        frames.median, frames.p90, kMeasuredFrames);

    // The layers alone, to see where a frame's time goes.
    auto layer = [&](const char* name, const std::function<void()>& draw) {
        const Summary s = timeDrawing(kMeasuredFrames, [&] {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            draw();
        });
        std::printf("  %-16s median %.2f ms, p90 %.2f ms\n", name, s.median, s.p90);
    };
    layer("clear only", [] {});
    layer("status panel", [&] {
        glDisable(GL_TEXTURE_2D);
        telemetry.linkAlive = 1;
        scene.drawStatusPanel();
    });
    layer("waypoint marks", [&] {
        glDisable(GL_TEXTURE_2D);
        scene.drawWaypointMarks();
    });
    layer("waypoint panel", [&] {
        glDisable(GL_TEXTURE_2D);
        scene.drawWaypointPanel();
    });
    layer("aircraft symbol", [&] {
        glDisable(GL_TEXTURE_2D);
        scene.drawAircraftSymbol();
    });
    layer("map", [&] {
        glEnable(GL_TEXTURE_2D);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
        scene.drawMap();
    });

    OSMesaDestroyContext(context);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(scratch);
    return 0;
}
