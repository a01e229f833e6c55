#pragma once

#include <optional>

// Whether the back buffer of the current context's window still holds the frame drawn before the
// last swap, so that the next frame need only draw what changed. Called with the view's context
// current, before drawing.
//  - The driver tells it (GLX_EXT_buffer_age): an age of 1 is the previous frame; 0 (unknown) or
//    more (buffers taken in turn) is not.
//  - Mesa's software renderer through GLX without that extension copies the back buffer to the
//    window on every swap and keeps it: the previous frame is there.
//  - Any other case is not known: no.
bool backBufferKeepsLastFrame();

// The same decision on its inputs: whether the context is GLX's, the buffer age when the driver
// gives one, and the renderer's name.
bool backBufferKeepsLastFrame(bool glx, std::optional<unsigned> age, const char* renderer);
