#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

// A rectangle of the scene plane, scene units.
struct SceneRect {
    double left = 0, bottom = 0, right = 0, top = 0;

    bool empty() const { return !(right > left) || !(top > bottom); }
    bool intersects(const SceneRect& other) const {
        return left < other.right && other.left < right && bottom < other.top && other.bottom < top;
    }
    // The smallest rectangle holding both (an empty one adds nothing).
    SceneRect united(const SceneRect& other) const;
    // The same rectangle grown by `margin` on every side.
    SceneRect grown(double margin) const {
        return {left - margin, bottom - margin, right + margin, top + margin};
    }
};

// A rectangle of the viewport in device pixels, GL's way: origin at the bottom left.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    long long area() const { return static_cast<long long>(width) * height; }
};

// What a frame draws, as the drawing's pieces with the rectangle each may colour and a key of
// everything its pixels depend on. Between two frames only the pieces that appeared, went or
// changed need drawing again, inside their old and new rectangles; the rest of the picture is kept.
// A piece's rectangle must hold every pixel it can colour (its key then decides whether those
// pixels change).
class FrameDamage {
public:
    // Folds `value`'s bytes into `key` (64-bit FNV-1a).
    template <typename T>
    static std::uint64_t mix(std::uint64_t key, const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        return mixBytes(key, bytes, sizeof(T));
    }
    static std::uint64_t mix(std::uint64_t key, std::string_view text) {
        return mixBytes(mix(key, text.size()), text.data(), text.size());
    }
    static constexpr std::uint64_t kKeySeed = 1469598103934665603ull;

    // Starts the next frame's list.
    void begin() { current_.clear(); }
    void add(const SceneRect& rect, std::uint64_t key);
    // The next frame draws everything: the kept picture is gone or stands for another view.
    void invalidate() { whole_ = true; }
    bool wholeWanted() const { return whole_; }

    // Ends the list: the viewport rectangles (`width` x `height` device pixels) to draw again,
    // at most `maxRects` of them; every pixel when `whole` (the first frame, an invalidation, or
    // changes over most of the view). The list becomes the one the next frame is compared with.
    struct Changes {
        bool whole = false;
        std::vector<PixelRect> rects;
    };
    Changes finish(int width, int height, std::size_t maxRects = kMaxRects);

    // Pixels added around every changed rectangle: smoothed edges reach beyond the exact outline.
    static constexpr int kMarginPixels = 2;
    static constexpr std::size_t kMaxRects = 6;
    static constexpr std::size_t kMaxRectsToJoin = 64;
    // Beyond this share of the viewport the whole frame is drawn: one pass costs less than several.
    static constexpr double kWholeShare = 0.6;

private:
    static std::uint64_t mixBytes(std::uint64_t key, const void* bytes, std::size_t count);

    struct Piece {
        std::uint64_t identity;  // the key and the rectangle together
        SceneRect rect;
        bool operator<(const Piece& other) const { return identity < other.identity; }
    };
    std::vector<Piece> previous_, current_;
    bool whole_ = true;
};

// The viewport pixels (`width` x `height`) a scene rectangle covers under the fixed camera,
// rounded outwards and grown by `margin` pixels, clipped to the viewport (empty when outside).
PixelRect scenePixels(const SceneRect& rect, int width, int height, int margin);
// The scene rectangle a viewport rectangle shows.
SceneRect pixelScene(const PixelRect& rect, int width, int height);
