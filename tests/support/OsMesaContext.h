#pragma once

#include <cstdint>
#include <vector>

// An OpenGL context in memory (Mesa's software renderer), made current on the calling thread, so
// that drawing code can be tested without any display.
class OsMesaContext {
public:
    OsMesaContext(int width, int height);
    ~OsMesaContext();
    OsMesaContext(const OsMesaContext&) = delete;
    OsMesaContext& operator=(const OsMesaContext&) = delete;

    bool valid() const { return context_ != nullptr; }
    // Makes this context current again (after another one was).
    void makeCurrent();
    int width() const { return width_; }
    int height() const { return height_; }

    // The colour buffer after glFinish: RGBA bytes, row 0 at the bottom (GL's order).
    const std::vector<std::uint8_t>& pixels();
    // Colour of pixel (x, y) with y counted from the TOP of the picture, as on screen.
    struct Rgb {
        std::uint8_t r, g, b;
    };
    Rgb at(int x, int yFromTop);

private:
    void* context_ = nullptr;
    int width_;
    int height_;
    std::vector<std::uint8_t> buffer_;
};
