#include "map/TextureImage.h"

#include <GL/glu.h>

int TextureImage::load(const char* fileName, GLenum requestedEnvMode, Notifier& notifier) {
    image_.reset();
    if (!fileName) return 0;
    image_ = loadDibImage(fileName, notifier);
    if (!image_) return 0;
    fileName_ = fileName;
    envMode_ = requestedEnvMode == GL_MODULATE ? GL_MODULATE : GL_DECAL;
    return 1;
}

int TextureImage::upload() const {
    if (!image_) return 0;
    // The decoder guarantees the buffer matches the size, but a short buffer here would be read
    // past its end by the mipmap builder, so it is checked once more where the pointer leaves C++.
    const std::size_t expected =
        static_cast<std::size_t>(image_->width) * static_cast<std::size_t>(image_->height) * 3;
    if (image_->width <= 0 || image_->height <= 0 || image_->pixels.size() < expected) return 0;

    glEnable(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(envMode_));
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, image_->width, image_->height, GL_RGB, GL_UNSIGNED_BYTE,
                      image_->pixels.data());
    return 1;
}
