#include "tests/support/OsMesaContext.h"

#include <GL/gl.h>
#include <GL/osmesa.h>

OsMesaContext::OsMesaContext(int width, int height)
    : width_(width),
      height_(height),
      buffer_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
    // A 24-bit depth buffer like the program's window; a compatibility context so immediate mode
    // and display lists work.
    const int attributes[] = {
        OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_PROFILE, OSMESA_COMPAT_PROFILE, 0};
    OSMesaContext context = OSMesaCreateContextAttribs(attributes, nullptr);
    if (context && OSMesaMakeCurrent(context, buffer_.data(), GL_UNSIGNED_BYTE, width, height)) {
        context_ = context;
    } else if (context) {
        OSMesaDestroyContext(context);
    }
}

OsMesaContext::~OsMesaContext() {
    if (context_) OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

void OsMesaContext::makeCurrent() {
    if (context_)
        OSMesaMakeCurrent(static_cast<OSMesaContext>(context_), buffer_.data(), GL_UNSIGNED_BYTE, width_,
                          height_);
}

const std::vector<std::uint8_t>& OsMesaContext::pixels() {
    glFinish();
    return buffer_;
}

OsMesaContext::Rgb OsMesaContext::at(int x, int yFromTop) {
    glFinish();
    const int row = height_ - 1 - yFromTop;
    const std::size_t i =
        (static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 4;
    return {buffer_[i], buffer_[i + 1], buffer_[i + 2]};
}
