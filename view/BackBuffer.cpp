#include "view/BackBuffer.h"

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstring>

#ifndef GLX_BACK_BUFFER_AGE_EXT
#define GLX_BACK_BUFFER_AGE_EXT 0x20F4
#endif

namespace {

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) return false;
    const std::size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + length, name)) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

}  // namespace

bool backBufferKeepsLastFrame(bool glx, std::optional<unsigned> age, const char* renderer) {
    if (!glx) return false;
    if (age) return *age == 1;
    return renderer != nullptr &&
           (std::strstr(renderer, "llvmpipe") != nullptr || std::strstr(renderer, "softpipe") != nullptr);
}

bool backBufferKeepsLastFrame() {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    const bool glx = display != nullptr && drawable != 0;
    std::optional<unsigned> age;
    if (glx &&
        hasExtension(glXQueryExtensionsString(display, DefaultScreen(display)), "GLX_EXT_buffer_age")) {
        unsigned value = 0;
        glXQueryDrawable(display, drawable, GLX_BACK_BUFFER_AGE_EXT, &value);
        age = value;
    }
    return backBufferKeepsLastFrame(glx, age, reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}
