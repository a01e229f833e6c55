#include "map/ImageryLayer.h"

#include <algorithm>
#include <utility>

#include "map/TilePyramid.h"

namespace {

// Texture memory of a tile, as the renderer keeps it (four bytes a pixel).
std::size_t tileBytes(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

ScenePoint shownPoint(const MapGeometry& geometry, const MapWindow& window, double lat, double lon) {
    const ScenePoint unzoomed{(lon - geometry.upperLeftLon) / geometry.lonPerUnit + geometry.mapLeft,
                              (lat - geometry.upperLeftLat) / geometry.latPerUnit + geometry.mapTop};
    return zoomedScenePoint(geometry, window, unzoomed);
}

// The part of `box` inside `shown` in scene units, texture coordinates running from (s0, t0) at
// the whole box's north-west corner to (s1, t1) at its south-east corner (texture rows run from
// the north). Cut to the shown area here rather than by clip planes, which cost the software
// renderer more than the quads themselves.
void drawBox(const MapGeometry& geometry, const MapWindow& window, const GeoBox& shown, const GeoBox& box,
             float s0, float t0, float s1, float t1) {
    const double west = std::max(box.west, shown.west), east = std::min(box.east, shown.east);
    const double south = std::max(box.south, shown.south), north = std::min(box.north, shown.north);
    if (!(east > west) || !(north > south)) return;
    const auto s = [&](double lon) {
        return static_cast<float>(s0 + (lon - box.west) / (box.east - box.west) * (s1 - s0));
    };
    const auto t = [&](double lat) {
        return static_cast<float>(t0 + (box.north - lat) / (box.north - box.south) * (t1 - t0));
    };
    const ScenePoint nw = shownPoint(geometry, window, north, west);
    const ScenePoint se = shownPoint(geometry, window, south, east);
    const auto x0 = static_cast<float>(nw.x), y0 = static_cast<float>(nw.y);
    const auto x1 = static_cast<float>(se.x), y1 = static_cast<float>(se.y);
    glBegin(GL_QUADS);
    glTexCoord2f(s(west), t(south));
    glVertex3f(x0, y1, 0);
    glTexCoord2f(s(east), t(south));
    glVertex3f(x1, y1, 0);
    glTexCoord2f(s(east), t(north));
    glVertex3f(x1, y0, 0);
    glTexCoord2f(s(west), t(north));
    glVertex3f(x0, y0, 0);
    glEnd();
}

}  // namespace

ImageryLayer::ImageryLayer(TileLoader::Opener opener, std::function<void()> wake, std::size_t textureBudget)
    : loader_(std::make_unique<TileLoader>(std::move(opener), std::move(wake))), budget_(textureBudget) {}

ImageryLayer::~ImageryLayer() = default;

void ImageryLayer::open(const MapOpenRequest& request) {
    loader_->open(request);
}

void ImageryLayer::close() {
    loader_->close();
    releaseTextures();
    generation_ = 0;
    info_ = {};
    request_ = {};
    lastWanted_.clear();
    waiting_ = false;
}

void ImageryLayer::releaseTextures() {
    for (auto& [key, tile] : tiles_) {
        if (tile.texture != 0) glDeleteTextures(1, &tile.texture);
    }
    tiles_.clear();
    textureBytes_ = 0;
}

ImageryLayer::Update ImageryLayer::takeResults() {
    Update update;
    for (TileLoader::Result& result : loader_->take()) {
        switch (result.kind) {
            case TileLoader::Result::Kind::Opened:
                releaseTextures();
                generation_ = result.generation;
                info_ = result.info;
                request_ = result.request;
                failureTold_ = false;
                lastWanted_.clear();
                upload(result.tile);
                update.opened = result.request;
                update.newTiles = true;
                break;
            case TileLoader::Result::Kind::OpenFailed:
                if (result.needsCrs) {
                    update.crsWanted = result.request;
                } else {
                    update.messages.push_back(result.error);
                }
                break;
            case TileLoader::Result::Kind::Tile:
                if (result.generation != generation_) break;
                upload(result.tile);
                update.newTiles = true;
                break;
            case TileLoader::Result::Kind::TileFailed:
                if (result.generation != generation_) break;
                tiles_[result.key].failed = true;
                update.newTiles = true;
                // A file cut short or deleted fails in every tile: the operator hears of it once.
                if (!failureTold_) update.messages.push_back(result.error);
                failureTold_ = true;
                break;
        }
    }
    return update;
}

void ImageryLayer::upload(TilePixels& pixels) {
    if (pixels.width <= 0 || pixels.height <= 0 ||
        pixels.rgb.size() != static_cast<std::size_t>(pixels.width) * pixels.height * 3) {
        return;
    }
    auto existing = tiles_.find(pixels.key);
    if (existing != tiles_.end()) forget(existing);
    Tile tile;
    tile.width = pixels.width;
    tile.height = pixels.height;
    tile.lastDrawn = drawing_;
    glGenTextures(1, &tile.texture);
    glBindTexture(GL_TEXTURE_2D, tile.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, pixels.width, pixels.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 pixels.rgb.data());
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &tile.texture);
        tile.texture = 0;
        tile.failed = true;
    } else {
        textureBytes_ += tileBytes(tile.width, tile.height);
    }
    tiles_[pixels.key] = tile;
    pixels.rgb = {};
}

void ImageryLayer::forget(std::map<TileKey, Tile>::iterator at) {
    if (at->second.texture != 0) {
        glDeleteTextures(1, &at->second.texture);
        textureBytes_ -= tileBytes(at->second.width, at->second.height);
    }
    tiles_.erase(at);
}

void ImageryLayer::evictOverBudget() {
    if (textureBytes_ <= budget_) return;
    const int coarsest = imageryLevelCount(info_) - 1;
    std::vector<std::pair<std::uint64_t, TileKey>> candidates;
    for (const auto& [key, tile] : tiles_) {
        // The coarsest tile stands in for everything; this drawing's tiles are on the screen.
        if (key.level != coarsest && tile.lastDrawn != drawing_ && tile.texture != 0)
            candidates.emplace_back(tile.lastDrawn, key);
    }
    std::sort(candidates.begin(), candidates.end());
    for (const auto& [drawn, key] : candidates) {
        if (textureBytes_ <= budget_) break;
        forget(tiles_.find(key));
    }
}

const std::pair<const TileKey, ImageryLayer::Tile>* ImageryLayer::standIn(const TileKey& key) const {
    const int levels = imageryLevelCount(info_);
    for (int up = 1; key.level + up < levels; ++up) {
        const auto at = tiles_.find({key.level + up, key.column >> up, key.row >> up});
        if (at != tiles_.end() && at->second.texture != 0) return &*at;
    }
    return nullptr;
}

void ImageryLayer::draw(const MapGeometry& geometry, const MapWindow& window, double rectScreenPixels) {
    if (!shown() || geometry.lonPerUnit == 0 || geometry.latPerUnit == 0) return;
    ++drawing_;
    const GeoBox area = shownArea(geometry, window);
    const int level = tileLevelFor(info_, area, rectScreenPixels);
    lastLevel_ = level;
    const std::vector<TileKey> covering = tilesCovering(info_, level, area);

    // The tiles cover one another nowhere: blending would only make the renderer read every pixel.
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor3f(kImageryMarginGrey, kImageryMarginGrey, kImageryMarginGrey);
    std::vector<TileKey> missing;
    std::vector<GeoBox> greyBoxes;
    for (const TileKey& key : covering) {
        const GeoBox box = tileArea(info_, key);
        const auto at = tiles_.find(key);
        if (at != tiles_.end() && at->second.failed) {
            greyBoxes.push_back(box);
            continue;
        }
        if (at != tiles_.end()) {
            at->second.lastDrawn = drawing_;
            glBindTexture(GL_TEXTURE_2D, at->second.texture);
            drawBox(geometry, window, area, box, 0, 0, 1, 1);
            continue;
        }
        missing.push_back(key);
        const auto* coarser = standIn(key);
        if (coarser == nullptr) {
            greyBoxes.push_back(box);
            continue;
        }
        // The part of the coarser tile over this one.
        const GeoBox outer = tileArea(info_, coarser->first);
        const auto s = [&](double lon) {
            return static_cast<float>((lon - outer.west) / (outer.east - outer.west));
        };
        const auto t = [&](double lat) {
            return static_cast<float>((outer.north - lat) / (outer.north - outer.south));
        };
        const_cast<Tile&>(coarser->second).lastDrawn = drawing_;
        glBindTexture(GL_TEXTURE_2D, coarser->second.texture);
        drawBox(geometry, window, area, box, s(box.west), t(box.north), s(box.east), t(box.south));
    }
    glDisable(GL_TEXTURE_2D);
    // The margin: what the imagery leaves of the rectangle, and the tiles that have nothing to show.
    const GeoBox rect{geometry.upperLeftLon, geometry.lowerRightLon, geometry.lowerRightLat,
                      geometry.upperLeftLat};
    const GeoBox image{info_.west, info_.east(), info_.south(), info_.north};
    greyBoxes.push_back({rect.west, image.west, rect.south, rect.north});
    greyBoxes.push_back({image.east, rect.east, rect.south, rect.north});
    greyBoxes.push_back({image.west, image.east, rect.south, image.south});
    greyBoxes.push_back({image.west, image.east, image.north, rect.north});
    for (const GeoBox& box : greyBoxes) drawBox(geometry, window, area, box, 0, 0, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);

    waiting_ = !missing.empty();
    if (missing != lastWanted_) {
        loader_->want(generation_, missing);
        lastWanted_ = missing;
    }
    evictOverBudget();
}
