// Sending a layer of a frame to an X window.
#pragma once

#include <X11/Xlib.h>

#include "video/video.h"

namespace platform::video::x11 {

// Puts the layer's pixels into xWindow over its area (or the area's bounding box, when
// the layer may be widened and that is cheaper), in device pixels at scale: every
// device pixel the logical area touches; within a request.
void UploadLayer(Display* display, ::Window xWindow, GC gc, const Layer& layer, double scale);

}  // namespace platform::video::x11
