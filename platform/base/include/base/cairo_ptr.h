// Owners of cairo objects. gdi32, video and the window manager all hold cairo regions,
// surfaces, contexts and font options; with an owner, every path out of a function gives them back,
// and a holder that outlives its owner is a type error rather than a leak.
//
// Only the layers that link cairo include this header; base itself does not link it.
#pragma once

#include <cairo.h>

#include <memory>

namespace platform::base {

struct RegionRelease {
    void operator()(cairo_region_t* region) const { cairo_region_destroy(region); }
};
struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextRelease {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct FontOptionsRelease {
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};

using RegionPtr = std::unique_ptr<cairo_region_t, RegionRelease>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceRelease>;
using ContextPtr = std::unique_ptr<cairo_t, ContextRelease>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsRelease>;

}  // namespace platform::base
