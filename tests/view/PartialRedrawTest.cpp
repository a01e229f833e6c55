#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "net/TelemetryState.h"
#include "tests/support/SceneProbe.h"
#include "view/ReplayScene.h"
#include "view/Scene.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 672;
constexpr int kFrames = 320;
constexpr int kFrameMs = 100;
// The calendar time of the flight, seconds since 1970 (in 2026).
constexpr std::time_t kCalendar = 1'790'000'000;

// One view: its own context (whose buffer keeps the last frame), its own telemetry and scene.
struct View {
    explicit View(bool partial) : scene(telemetry, notifier) {
        context.makeCurrent();
        scene.setPartialRedraw(partial);
    }
    OsMesaContext context{kWidth, kHeight};
    TelemetryState telemetry;
    RecordingNotifier notifier;
    Scene scene;
};

// A picture with detail everywhere, so that any part of the map left from an earlier frame shows.
Rgb8 mapPixel(int x, int y) {
    return {static_cast<std::uint8_t>(x * 7), static_cast<std::uint8_t>(y * 5),
            static_cast<std::uint8_t>((x / 9 + y / 9) % 2 == 0 ? 200 : 40)};
}

struct Differences {
    int count = 0;
    int firstX = -1, firstY = -1;
};

Differences compare(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    Differences d;
    for (std::size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        if (a[i] == b[i] && a[i + 1] == b[i + 1] && a[i + 2] == b[i + 2]) continue;
        if (d.count++ == 0) {
            d.firstX = static_cast<int>(i / 4 % kWidth);
            d.firstY = kHeight - 1 - static_cast<int>(i / 4 / kWidth);
        }
    }
    return d;
}

}  // namespace

// A flight drawn frame by frame only where it changed equals, pixel for pixel, the same flight drawn
// whole every frame: the symbol and panel moving, the track growing, waypoints added and a route
// shown, a button's flash, the aircraft leaving the map (the arrow), the link lost and back (the
// last-heard layer), a replay with its mark and track, a zoom and a pan.
TEST(PartialRedraw, EveryFrameEqualsTheWholeFrame) {
    ScratchWorkDir workDir;
    writeBitmap24("site3.bmp", 360, 300, mapPixel);
    View partial(true), whole(false);
    std::int32_t nowMs = 50'000;
    ReplayScene replay;
    replay.mark = "REPLAY 2x";
    for (View* view : {&partial, &whole}) {
        view->context.makeCurrent();
        ASSERT_TRUE(view->context.valid());
        view->scene.setClock([&nowMs] { return nowMs; });
        view->scene.setCalendarClock([&nowMs] { return kCalendar + nowMs / 1000; });
        view->scene.initGl();
        view->scene.resize(kWidth, kHeight);
    }
    const MapGeometry g = partial.scene.mapGeometry();
    auto mapPoint = [&](double fx, double fy) {
        return GeoPoint{g.upperLeftLat + fy * (g.lowerRightLat - g.upperLeftLat),
                        g.upperLeftLon + fx * (g.lowerRightLon - g.upperLeftLon)};
    };
    for (int i = 0; i < 5; ++i) {
        const GeoPoint p = mapPoint(0.2 + 0.15 * i, 0.7 - 0.1 * i);
        replay.track.addFix(p.lat, p.lon, i * 1000);
    }
    replay.telemetry.lat = mapPoint(0.5, 0.5).lat;
    replay.telemetry.lon = mapPoint(0.5, 0.5).lon;
    replay.telemetry.gpsStatus = 1;
    replay.telemetry.linkAlive = 1;

    int partialFrames = 0;
    long long drawnPixels = 0;
    for (int frame = 0; frame < kFrames; ++frame) {
        nowMs += kFrameMs;
        const double f = frame / static_cast<double>(kFrames);
        // Out over the right edge between frames 110 and 150; silent from 160 to 200.
        const GeoPoint at = mapPoint(frame >= 110 && frame < 150 ? 1.3 : 0.3 + 0.4 * f, 0.2 + 0.6 * f);
        const bool silent = frame >= 160 && frame < 200;
        for (View* view : {&partial, &whole}) {
            TelemetryState& t = view->telemetry;
            Scene& scene = view->scene;
            if (!silent) {
                t.lat = at.lat;
                t.lon = at.lon;
                t.psi = static_cast<float>(0.02 * frame);
                t.alt = static_cast<float>(100 + frame * 0.37);
                t.cas = static_cast<float>(20 + std::sin(frame * 0.1));
                t.phi = static_cast<float>(0.1 * std::sin(frame * 0.2));
                t.gpsStatus = frame % 97 == 50 ? 0 : 1;
                t.ahrsStatus = 2;
                t.navStatus = 1;
                t.packetInterval = 0.05;
                t.linkAlive = 1;
                t.lineHeard = true;
                t.lastLineClock = nowMs;
                t.lastFix.store({at.lat, at.lon, t.alt, t.psi, t.cas, nowMs, kCalendar * 1'000'000LL});
                scene.liveTrack().addFix(at.lat, at.lon, nowMs);
            }
            scene.setTrackClock(nowMs);
            Waypoints& w = scene.waypoints();
            if (frame == 30 || frame == 60 || frame == 90) {
                const GeoPoint p = mapPoint(0.2 + frame / 200.0, 0.3 + (frame % 60) / 150.0);
                const auto k = static_cast<std::size_t>(w.waypointCount++);
                const ScenePoint s = *geoToScene(g, p.lat, p.lon);
                w.waypointLat[k] = p.lat, w.waypointLon[k] = p.lon;
                w.waypointSceneX[k] = s.x, w.waypointSceneY[k] = s.y;
            }
            if (frame == 95) w.routeShown = 1, w.uploadPressed = 1;
            if (frame == 215) w.waypointCount = 0, w.routeShown = 0;
            if (frame == 230) scene.showReplay(&replay);
            if (frame == 260) scene.showReplay(nullptr);
            if (frame == 280) scene.wheelStep(-120);
            if (frame == 290) scene.panMap(0.3, -0.2);
            view->context.makeCurrent();
            scene.drawFrame();
        }
        const Differences d = compare(partial.context.pixels(), whole.context.pixels());
        ASSERT_EQ(d.count, 0) << "frame " << frame << ": first at (" << d.firstX << ", " << d.firstY << ")";
        ASSERT_TRUE(whole.scene.lastFrameChanges().whole);
        if (!partial.scene.lastFrameChanges().whole) {
            ++partialFrames;
            for (const PixelRect& r : partial.scene.lastFrameChanges().rects) drawnPixels += r.area();
        }
    }
    // The saving is real: most frames are partial, and they draw a small share of the view.
    EXPECT_GT(partialFrames, kFrames * 3 / 4);
    EXPECT_LT(static_cast<double>(drawnPixels) / partialFrames, 0.2 * kWidth * kHeight);
}
