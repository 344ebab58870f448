// What the offscreen backend shows, for tests: a screen image per window that only
// presents change, a record of every present, and the display's side of an expose.
#pragma once

#include <windef.h>

#include <cairo.h>

#include <vector>

#include "base/cairo_ptr.h"

namespace platform::video::offscreen {

struct Presented {
    HWND window;
    std::vector<RECT> area;   // the rectangles sent, logical client coordinates
    base::SurfacePtr screen;  // the window's screen right after (device pixels)
};

// While enabled, presents are recorded; disabling forgets the record.
void RecordPresents(bool enabled);
std::vector<Presented> TakePresents();

// A copy of the window's screen, in device pixels: what presents have put there. Null
// for an unknown window.
base::SurfacePtr Screen(HWND window);

// The display loses area (logical) of window's screen (it turns black) and reports an expose,
// delivered with the backend's next events.
void ExposeArea(HWND window, const RECT& area);

}  // namespace platform::video::offscreen
