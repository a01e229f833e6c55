#pragma once

#include <QSurfaceFormat>

// The surface the view draws on: RGBA 8-8-8, depth of at least 16 bits, double buffered,
// compatibility profile (the drawing is immediate mode). Header-only so that programs measuring
// the platform alone can ask for the same surface without linking the view.
inline QSurfaceFormat viewSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(0);
    format.setDepthBufferSize(16);
    format.setStencilBufferSize(0);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}
