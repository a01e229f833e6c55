#include "view/FrameDamage.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "view/SceneCamera.h"

SceneRect SceneRect::united(const SceneRect& other) const {
    if (other.empty()) return *this;
    if (empty()) return other;
    return {std::min(left, other.left), std::min(bottom, other.bottom), std::max(right, other.right),
            std::max(top, other.top)};
}

std::uint64_t FrameDamage::mixBytes(std::uint64_t key, const void* bytes, std::size_t count) {
    const auto* at = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        key ^= at[i];
        key *= 1099511628211ull;
    }
    return key;
}

void FrameDamage::add(const SceneRect& rect, std::uint64_t key) {
    // A piece that cannot be placed (a number beyond range) cannot be kept either.
    if (!std::isfinite(rect.left) || !std::isfinite(rect.right) || !std::isfinite(rect.bottom) ||
        !std::isfinite(rect.top)) {
        whole_ = true;
        return;
    }
    if (rect.empty()) return;
    std::uint64_t identity = mix(key, rect.left);
    identity = mix(identity, rect.bottom);
    identity = mix(identity, rect.right);
    identity = mix(identity, rect.top);
    current_.push_back({identity, rect});
}

namespace {

PixelRect unite(const PixelRect& a, const PixelRect& b) {
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.width, b.x + b.width), y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

// Joins the rectangles two at a time, always the pair whose union adds the least area beyond
// their own, until at most `count` remain; overlapping ones are joined whatever the count, so
// that no pixel is drawn twice by two passes.
void joinRects(std::vector<PixelRect>& rects, std::size_t count) {
    for (;;) {
        if (rects.size() <= 1) return;
        long long bestWaste = std::numeric_limits<long long>::max();
        std::size_t bestI = 0, bestJ = 0;
        bool overlap = false;
        for (std::size_t i = 0; i < rects.size() && !overlap; ++i) {
            for (std::size_t j = i + 1; j < rects.size(); ++j) {
                const PixelRect& a = rects[i];
                const PixelRect& b = rects[j];
                if (a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
                    b.y < a.y + a.height) {
                    bestI = i, bestJ = j, overlap = true;
                    break;
                }
                const long long waste = unite(a, b).area() - a.area() - b.area();
                if (waste < bestWaste) bestWaste = waste, bestI = i, bestJ = j;
            }
        }
        if (!overlap && rects.size() <= count) return;
        rects[bestI] = unite(rects[bestI], rects[bestJ]);
        rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(bestJ));
    }
}

}  // namespace

FrameDamage::Changes FrameDamage::finish(int width, int height, std::size_t maxRects) {
    Changes changes;
    std::sort(current_.begin(), current_.end());
    if (whole_ || width <= 0 || height <= 0) {
        changes.whole = true;
    } else {
        // The pieces in one list and not in the other, compared by key and place.
        std::vector<PixelRect> rects;
        auto take = [&](const Piece& piece) {
            const PixelRect r = scenePixels(piece.rect, width, height, kMarginPixels);
            if (r.width > 0 && r.height > 0) rects.push_back(r);
        };
        std::size_t i = 0, j = 0;
        while (i < previous_.size() || j < current_.size()) {
            if (j == current_.size() ||
                (i < previous_.size() && previous_[i].identity < current_[j].identity)) {
                take(previous_[i++]);
            } else if (i == previous_.size() || current_[j].identity < previous_[i].identity) {
                take(current_[j++]);
            } else {
                ++i, ++j;
            }
        }
        // Joining costs the cube of the count: many changed pieces (a track thinned, a replay
        // sought) are drawn in the one rectangle around them all.
        if (rects.size() > kMaxRectsToJoin) {
            PixelRect all = rects.front();
            for (const PixelRect& r : rects) all = unite(all, r);
            rects = {all};
        }
        joinRects(rects, std::max<std::size_t>(maxRects, 1));
        long long area = 0;
        for (const PixelRect& r : rects) area += r.area();
        if (static_cast<double>(area) > kWholeShare * width * height) {
            changes.whole = true;
        } else {
            changes.rects = std::move(rects);
        }
    }
    if (changes.whole) changes.rects = {{0, 0, width, height}};
    whole_ = false;
    previous_.swap(current_);
    current_.clear();
    return changes;
}

PixelRect scenePixels(const SceneRect& rect, int width, int height, int margin) {
    const double halfWidth = sceneHalfWidth(), halfHeight = sceneHalfHeight();
    const double x0 = (rect.left / halfWidth + 1) / 2 * width, x1 = (rect.right / halfWidth + 1) / 2 * width;
    const double y0 = (rect.bottom / halfHeight + 1) / 2 * height,
                 y1 = (rect.top / halfHeight + 1) / 2 * height;
    const auto clampTo = [](double v, int limit) {
        return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(limit)));
    };
    const int left = clampTo(std::floor(x0) - margin, width), right = clampTo(std::ceil(x1) + margin, width);
    const int bottom = clampTo(std::floor(y0) - margin, height),
              top = clampTo(std::ceil(y1) + margin, height);
    if (right <= left || top <= bottom) return {};
    return {left, bottom, right - left, top - bottom};
}

SceneRect pixelScene(const PixelRect& rect, int width, int height) {
    const double halfWidth = sceneHalfWidth(), halfHeight = sceneHalfHeight();
    return {(2.0 * rect.x / width - 1) * halfWidth, (2.0 * rect.y / height - 1) * halfHeight,
            (2.0 * (rect.x + rect.width) / width - 1) * halfWidth,
            (2.0 * (rect.y + rect.height) / height - 1) * halfHeight};
}
