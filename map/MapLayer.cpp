#include "map/MapLayer.h"

namespace {
constexpr float kMapFrameWidth = 1.5f;
constexpr int kMapClipPlanes = 4;
}  // namespace

void beginMapClip(const MapGeometry& g) {
    // Each plane keeps the side where a x + b y + d >= 0.
    const GLdouble planes[kMapClipPlanes][4] = {
        {1, 0, 0, -g.mapLeft}, {-1, 0, 0, g.mapRight}, {0, 1, 0, -g.mapBottom}, {0, -1, 0, g.mapTop}};
    for (int i = 0; i < kMapClipPlanes; ++i) {
        glClipPlane(static_cast<GLenum>(GL_CLIP_PLANE0 + i), planes[i]);
        glEnable(static_cast<GLenum>(GL_CLIP_PLANE0 + i));
    }
}

void endMapClip() {
    for (int i = 0; i < kMapClipPlanes; ++i) glDisable(static_cast<GLenum>(GL_CLIP_PLANE0 + i));
}

void drawMapFrame(const MapGeometry& geometry) {
    glPushMatrix();
    glTranslatef(geometry.mapOriginX, geometry.mapOriginY, 0);
    const float w = static_cast<float>(geometry.mapBitmapWidth * kMapScale);
    const float h = static_cast<float>(geometry.mapBitmapHeight * kMapScale);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glLineWidth(kMapFrameWidth);
    glBegin(GL_LINE_LOOP);
    glVertex3f(0, 0, 0);
    glVertex3f(0, h, 0);
    glVertex3f(w, h, 0);
    glVertex3f(w, 0, 0);
    glEnd();
    glLineWidth(1.0f);
    glEnable(GL_TEXTURE_2D);
    glPopMatrix();
}

void drawMapPicture(const MapGeometry& geometry, const MapWindow& window, const MapPicture& picture) {
    // Without a picture the default texture is incomplete and would fill the rectangle with the
    // frame's white: the map then stays an empty frame.
    if (!picture.loaded) return;
    glPushMatrix();
    glTranslatef(geometry.mapOriginX, geometry.mapOriginY, 0);
    const float w = static_cast<float>(geometry.mapBitmapWidth * kMapScale);
    const float h = static_cast<float>(geometry.mapBitmapHeight * kMapScale);
    const float s0 = window.startU, t0 = window.startV, zoom = window.zoom;
    // The picture is opaque and the quad has no smoothed edge, so blending would give the same
    // pixels; skipping it spares the software renderer a read of every pixel under the map.
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, picture.texture);
    // Bilinear filtering of the one level the renderer would pick gives the same pixels without a
    // level computation per pixel.
    if (picture.level >= 0) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, picture.level);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex3f(0, 0, 0);
    glTexCoord2f(s0, t0 + zoom);
    glVertex3f(0, h, 0);
    glTexCoord2f(s0 + zoom, t0 + zoom);
    glVertex3f(w, h, 0);
    glTexCoord2f(s0 + zoom, t0);
    glVertex3f(w, 0, 0);
    glEnd();
    if (picture.level >= 0) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    }
    glEnable(GL_BLEND);
    glPopMatrix();
}
