#pragma once

#include <GL/gl.h>

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

    // Makes the picture the current 2-D texture (the default one: each upload replaces the map)
    // with mipmaps, with the current context. Returns 1, or 0 when there is no picture, in which
    // case the previous texture stays untouched.
    int upload() const;

    const std::string& fileName() const { return fileName_; }
    const RgbImage* image() const { return image_.get(); }
    GLenum envMode() const { return envMode_; }

private:
    std::string fileName_ = "None";
    std::unique_ptr<RgbImage> image_;
    GLenum envMode_ = GL_DECAL;
};
