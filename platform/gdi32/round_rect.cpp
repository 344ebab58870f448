// RoundRect with GDI's geometry: the right and bottom edges are exclusive, the pen is
// one pixel wide and lies inside the rectangle, the brush fills what the pen encloses.
#include <algorithm>

#include "gdi32/dc_state.h"
#include "gdi32/gdi32.h"

namespace platform::gdi32 {
namespace {

// A rounded rectangle through the centres of its outermost pixels.
void RoundedPath(cairo_t* cr, double left, double top, double right, double bottom, double radiusX, double radiusY) {
    cairo_new_path(cr);
    if (radiusX <= 0 || radiusY <= 0) {
        cairo_rectangle(cr, left, top, right - left, bottom - top);
        return;
    }
    struct Corner {
        double x, y, from;
    };
    const double Quarter = 1.5707963267948966;
    const Corner corners[] = {{right - radiusX, top + radiusY, -Quarter},
                              {right - radiusX, bottom - radiusY, 0},
                              {left + radiusX, bottom - radiusY, Quarter},
                              {left + radiusX, top + radiusY, 2 * Quarter}};
    for (const Corner& corner : corners) {
        cairo_save(cr);
        cairo_translate(cr, corner.x, corner.y);
        cairo_scale(cr, radiusX, radiusY);
        cairo_arc(cr, 0, 0, 1, corner.from, corner.from + Quarter);
        cairo_restore(cr);
    }
    cairo_close_path(cr);
}

}  // namespace
}  // namespace platform::gdi32

using namespace platform::gdi32;

extern "C" BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    DeviceContext* dc = FindDc(hdc);
    if (TraceWanted()) {
        GdiCall call = TraceCall("RoundRect", hdc);
        call.args = {left, top, right, bottom, width, height};
        call.result = dc != nullptr;
        Record(std::move(call));
    }
    if (!dc) return FALSE;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (right - left < 2 || bottom - top < 2) return TRUE;
    NoteDrawn(*dc, RECT{left, top, right, bottom});

    // The outline runs through pixel centres from the first to the last pixel inside.
    double x0 = left + 0.5, y0 = top + 0.5, x1 = right - 0.5, y1 = bottom - 0.5;
    double radiusX = std::min(std::abs(width) - 1, right - left - 1) / 2.0;
    double radiusY = std::min(std::abs(height) - 1, bottom - top - 1) / 2.0;

    cairo_t* cr = BeginDrawing(*dc);
    if (!dc->brush->invisible) {
        RoundedPath(cr, x0, y0, x1, y1, radiusX, radiusY);
        SetSourceColor(cr, dc->brush->color);
        cairo_fill(cr);
    }
    if (!dc->pen->invisible) {
        RoundedPath(cr, x0, y0, x1, y1, radiusX, radiusY);
        SetSourceColor(cr, dc->pen->color);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
    cairo_destroy(cr);
    return TRUE;
}
