#include "map/TextureImage.h"

#include <GL/glu.h>

#include <string>

int TextureImage::load(const char* fileName, GLenum requestedEnvMode, Notifier& notifier) {
    image_.reset();
    if (!fileName) return 0;
    image_ = loadDibImage(fileName, notifier);
    if (!image_) return 0;
    fileName_ = fileName;
    envMode_ = requestedEnvMode == GL_MODULATE ? GL_MODULATE : GL_DECAL;
    return 1;
}

int TextureImage::upload(MipmapBuilder buildMipmaps) {
    uploadError_.clear();
    if (!image_) return 0;
    // The decoder guarantees the buffer matches the size, but a short buffer here would be read
    // past its end by the mipmap builder, so it is checked once more where the pointer leaves C++.
    const std::size_t expected =
        static_cast<std::size_t>(image_->width) * static_cast<std::size_t>(image_->height) * 3;
    if (image_->width <= 0 || image_->height <= 0 || image_->pixels.size() < expected) return 0;

    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    // Errors left by earlier calls must not be taken for this upload's.
    while (glGetError() != GL_NO_ERROR) {
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(envMode_));
    const GLint built = buildMipmaps(GL_TEXTURE_2D, 3, image_->width, image_->height, GL_RGB,
                                     GL_UNSIGNED_BYTE, image_->pixels.data());
    const GLenum error = glGetError();
    if (built != 0 || error != GL_NO_ERROR || texture == 0) {
        // A picture the GL could not take would be drawn as a blank rectangle: it is not kept.
        const GLenum cause = built != 0 ? static_cast<GLenum>(built) : error;
        const GLubyte* text = gluErrorString(cause);
        uploadError_ =
            "The graphics system cannot take this picture of " + std::to_string(image_->width) + " x " +
            std::to_string(image_->height) + " pixels (" +
            (text != nullptr ? reinterpret_cast<const char*>(text) : "error " + std::to_string(cause)) + ").";
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        if (texture != 0) glDeleteTextures(1, &texture);
        while (glGetError() != GL_NO_ERROR) {
        }
        return 0;
    }
    texture_ = texture;
    return 1;
}
