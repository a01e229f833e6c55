#pragma once

// Helpers shared by the rendering tests: a scratch working directory with generated bitmaps, a
// notifier that records, and the mapping from scene units to pixels of the off-screen frame.

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/Notifier.h"
#include "tests/support/OsMesaContext.h"

// Visible half extents of the scene plane under the view's camera.
inline constexpr double kSceneHalfWidth = 5.5576;
inline constexpr double kSceneHalfHeight = 3.6397;

class RecordingNotifier : public Notifier {
public:
    void showMessage(const std::string& caption, const std::string& text) override {
        messages.emplace_back(caption, text);
    }
    std::vector<std::pair<std::string, std::string>> messages;
};

// A fresh directory made the working directory for the test's life (map files are read from it).
class ScratchWorkDir {
public:
    ScratchWorkDir() : previous_(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-render-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
    ~ScratchWorkDir() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchWorkDir(const ScratchWorkDir&) = delete;
    ScratchWorkDir& operator=(const ScratchWorkDir&) = delete;

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// The view's depth test, blending and line smoothing, for tests that draw layers without the
// scene's whole set-up (fonts and map).
inline void enableLayerDrawingState() {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
}

struct Rgb8 {
    std::uint8_t r, g, b;
};

// Writes an uncompressed 24-bit bitmap with the "BM" file header; `pixel(x, y)` gives the colour of
// column x, row y counted from the bottom.
inline void writeBitmap24(const std::string& fileName, int width, int height,
                          const std::function<Rgb8(int, int)>& pixel) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> file(54 + imageBytes, 0);
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        file[at] = static_cast<std::uint8_t>(v);
        file[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, imageBytes);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb8 c = pixel(x, y);
            const std::size_t at =
                54 + static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x) * 3;
            file[at] = c.b;
            file[at + 1] = c.g;
            file[at + 2] = c.r;
        }
    }
    std::ofstream(fileName, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

inline void writeUniformBitmap(const std::string& fileName, int width, int height, Rgb8 color) {
    writeBitmap24(fileName, width, height, [color](int, int) { return color; });
}

// Pixel position (x from the left, y from the top) of a scene point in a frame of width x height.
struct PixelPoint {
    double x, y;
};
inline PixelPoint sceneToPixel(double x, double y, int width, int height) {
    return {(x / kSceneHalfWidth + 1) * 0.5 * width, (1 - y / kSceneHalfHeight) * 0.5 * height};
}

// Bounding box (inclusive, y from the top) of the pixels that satisfy `match` inside the search
// rectangle; `found` is false when none do.
struct PixelBox {
    bool found = false;
    int left = 0, top = 0, right = -1, bottom = -1;
    int count = 0;
};
inline PixelBox findPixels(OsMesaContext& context, const std::function<bool(OsMesaContext::Rgb)>& match,
                           int left = 0, int top = 0, int right = -1, int bottom = -1) {
    if (right < 0) right = context.width() - 1;
    if (bottom < 0) bottom = context.height() - 1;
    PixelBox box;
    const std::vector<std::uint8_t>& buffer = context.pixels();
    for (int y = std::max(top, 0); y <= std::min(bottom, context.height() - 1); ++y) {
        for (int x = std::max(left, 0); x <= std::min(right, context.width() - 1); ++x) {
            const std::size_t at =
                (static_cast<std::size_t>(context.height() - 1 - y) * context.width() + x) * 4;
            if (!match({buffer[at], buffer[at + 1], buffer[at + 2]})) continue;
            if (!box.found) box = {true, x, y, x, y, 0};
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
            ++box.count;
        }
    }
    return box;
}

// Pixel predicates for the pure colours the layers use; smoothed edges blend, so a channel counts
// as full above 200 and as empty below 60.
inline bool isRed(OsMesaContext::Rgb c) {
    return c.r > 200 && c.g < 60 && c.b < 60;
}
inline bool isGreen(OsMesaContext::Rgb c) {
    return c.r < 60 && c.g > 200 && c.b < 60;
}
inline bool isBlue(OsMesaContext::Rgb c) {
    return c.r < 60 && c.g < 60 && c.b > 200;
}
inline bool isWhite(OsMesaContext::Rgb c) {
    return c.r > 200 && c.g > 200 && c.b > 200;
}
inline bool isYellow(OsMesaContext::Rgb c) {
    return c.r > 200 && c.g > 200 && c.b < 60;
}
inline bool isLit(OsMesaContext::Rgb c) {
    return c.r > 0 || c.g > 0 || c.b > 0;
}
