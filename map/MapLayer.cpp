#include <GL/gl.h>

#include "view/Scene.h"

namespace {
constexpr float kMapFrameWidth = 1.5f;
}  // namespace

void Scene::drawMap() {
    MapGeometry& geometry = mapGeometry_;
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

    // The zoom window: a square of side mapZoom, centred on the picture's centre until panned.
    const MapWindow window = mapWindow();
    geometry.mapTexU0 = window.startU;
    geometry.mapTexV0 = window.startV;
    const float s0 = geometry.mapTexU0, t0 = geometry.mapTexV0, zoom = mapZoom_;

    glEnable(GL_TEXTURE_2D);
    // Without a picture the default texture is incomplete and would fill the rectangle with the
    // frame's white: the map then stays an empty frame.
    if (mapPictureLoaded_) {
        // The picture is opaque and the quad has no smoothed edge, so blending would give the same
        // pixels; skipping it spares the software renderer a read of every pixel under the map.
        glDisable(GL_BLEND);
        glBindTexture(GL_TEXTURE_2D, mapTexture_);
        // Bilinear filtering of the one level the renderer would pick gives the same pixels
        // without a level computation per pixel.
        const int level = mapLevelChosenByView_ ? mapTextureLevel() : -1;
        if (level >= 0) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, level);
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
        if (level >= 0) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        }
        glEnable(GL_BLEND);
    }
    glPopMatrix();
}
