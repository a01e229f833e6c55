#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

#include <memory>
#include <string>

#include "map/DibImage.h"

class Notifier;

// A picture on its way from a bitmap file into the context's map texture. It lives only while a
// map is being loaded: the texture keeps its own copy of the pixels after `upload`.
class TextureImage {
public:
    // Replaces the picture by the one in `fileName` (any earlier picture is released first). On
    // success the name is kept and the environment mode becomes GL_MODULATE when that is the one
    // requested, GL_DECAL otherwise. Returns 1, or 0 with no picture and the name unchanged (the
    // loader has told the operator why).
    int load(const char* fileName, GLenum requestedEnvMode, Notifier& notifier);

    // Builds the mipmaps of a texture from a picture, as gluBuild2DMipmaps does (0 on success).
    using MipmapBuilder = GLint (*)(GLenum target, GLint components, GLsizei width, GLsizei height,
                                    GLenum format, GLenum type, const void* pixels);

    // Makes the picture a new 2-D texture object with mipmaps, with the current context, and binds
    // it; texture() then names it and the caller owns it. Returns 1, or 0 when there is no picture
    // or the GL cannot take it (the builder fails or leaves a GL error), in which case nothing is
    // kept and the texture bound before stays bound. The builder is replaceable for tests.
    int upload(MipmapBuilder buildMipmaps = gluBuild2DMipmaps);
    GLuint texture() const { return texture_; }
    // Why the last upload failed, for the operator.
    const std::string& uploadError() const { return uploadError_; }

    const std::string& fileName() const { return fileName_; }
    const RgbImage* image() const { return image_.get(); }
    GLenum envMode() const { return envMode_; }

private:
    std::string fileName_ = "None";
    std::unique_ptr<RgbImage> image_;
    GLenum envMode_ = GL_DECAL;
    GLuint texture_ = 0;
    std::string uploadError_;
};
