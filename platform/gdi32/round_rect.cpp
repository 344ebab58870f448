// RoundRect with GDI's geometry: the right and bottom edges are exclusive, the pen is
// one pixel wide and lies inside the rectangle, the brush fills what the pen encloses.
//
// The shapes are aliased, so each pixel is the pen's, the brush's or untouched. The
// pixels a shape of a given size takes are worked out once, by drawing it, and kept as
// two regions: the same few boxes are drawn again and again (the value row on every
// change), and filling a handful of rectangles costs a fraction of rasterising curves.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "dc_state.h"
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

struct Shape {
    int width, height;
    double radiusX, radiusY;
    bool operator==(const Shape&) const = default;
};

// The pixels of a shape at the origin: those the brush fills, and those the outline
// takes, which is drawn after the brush.
struct Pixels {
    base::RegionPtr brush, pen;
};

// Fills or strokes the shape with its top-left corner at (left, top).
void Draw(cairo_t* cr, const Shape& shape, bool outline, int left, int top) {
    // The outline runs through pixel centres from the first to the last pixel inside.
    RoundedPath(cr, left + 0.5, top + 0.5, left + shape.width - 0.5, top + shape.height - 0.5, shape.radiusX, shape.radiusY);
    if (outline) {
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    } else {
        cairo_fill(cr);
    }
}

// The pixels that filling (or stroking) the shape covers.
base::RegionPtr Covered(const Shape& shape, bool outline) {
    const base::SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_A8, shape.width, shape.height));
    cairo_surface_t* mask = image.get();
    {
        const base::ContextPtr cr(cairo_create(mask));
        cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
        Draw(cr.get(), shape, outline, 0, 0);
    }
    cairo_surface_flush(mask);

    base::RegionPtr covered(cairo_region_create());
    const unsigned char* row = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    for (int y = 0; y < shape.height; ++y, row += stride) {
        for (int x = 0; x < shape.width;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < shape.width && row[x]) ++x;
            const cairo_rectangle_int_t run{start, y, x - start, 1};
            cairo_region_union_rectangle(covered.get(), &run);
        }
    }
    return covered;
}

constexpr int KeptArea = 1024 * 1024;

const Pixels& PixelsOf(const Shape& shape) {
    // Per thread, as device contexts are: no lock on the drawing path.
    constexpr size_t KeptShapes = 8;
    thread_local std::vector<std::pair<Shape, Pixels>> kept;
    for (const auto& [known, pixels] : kept) {
        if (known == shape) return pixels;
    }
    if (kept.size() == KeptShapes) kept.erase(kept.begin());
    kept.emplace_back(shape, Pixels{Covered(shape, false), Covered(shape, true)});
    return kept.back().second;
}

// Sets the pixels of region, placed at (left, top), to color within the DC's clip:
// what filling those whole pixels through cairo does, without building a path. False
// when the DC's pixels are not a 32-bit image in memory, or not one device pixel per
// logical pixel: at a display's scale cairo draws the shape, so the pen is as many
// device pixels wide as the scale, as Windows shows a one-pixel pen at 200 %.
bool FillPixels(const DeviceContext& dc, const cairo_region_t* region, int left, int top, COLORREF color) {
    cairo_surface_t* surface = dc.surface.get();
    if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return false;
    double scaleX = 1, scaleY = 1;
    cairo_surface_get_device_scale(surface, &scaleX, &scaleY);
    if (scaleX != 1 || scaleY != 1) return false;
    const cairo_format_t format = cairo_image_surface_get_format(surface);
    if (format != CAIRO_FORMAT_RGB24 && format != CAIRO_FORMAT_ARGB32) return false;
    base::RegionPtr area(cairo_region_copy(region));
    cairo_region_translate(area.get(), left, top);
    if (dc.clip) cairo_region_intersect(area.get(), dc.clip.get());
    const cairo_rectangle_int_t bounds{0, 0, cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface)};
    cairo_region_intersect_rectangle(area.get(), &bounds);

    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const uint32_t pixel = 0xFF000000u | GetRValue(color) << 16 | GetGValue(color) << 8 | GetBValue(color);
    for (int i = 0; i < cairo_region_num_rectangles(area.get()); ++i) {
        cairo_rectangle_int_t part;
        cairo_region_get_rectangle(area.get(), i, &part);
        for (int y = part.y; y < part.y + part.height; ++y) {
            std::fill_n(reinterpret_cast<uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride) + part.x, part.width, pixel);
        }
        cairo_surface_mark_dirty_rectangle(surface, part.x, part.y, part.width, part.height);
    }
    return true;
}

}  // namespace
}  // namespace platform::gdi32

using namespace platform::gdi32;

extern "C" BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    DeviceContext* dc = FindDc(hdc);
    if (!dc) return FALSE;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (right - left < 2 || bottom - top < 2) return TRUE;
    NoteDrawn(*dc, RECT{left, top, right, bottom});

    const Shape shape{right - left, bottom - top, std::min(std::abs(width) - 1, right - left - 1) / 2.0,
                      std::min(std::abs(height) - 1, bottom - top - 1) / 2.0};
    // A shape bigger than any box of a window is drawn as it is, not kept.
    if (static_cast<int64_t>(shape.width) * shape.height <= KeptArea) {
        const Pixels& pixels = PixelsOf(shape);
        if ((dc->brush->invisible || FillPixels(*dc, pixels.brush.get(), left, top, dc->brush->color)) &&
            (dc->pen->invisible || FillPixels(*dc, pixels.pen.get(), left, top, dc->pen->color))) {
            return TRUE;
        }
    }
    const platform::base::ContextPtr context = BeginDrawing(*dc);
    cairo_t* cr = context.get();
    for (const bool outline : {false, true}) {
        const GdiObject& tool = outline ? *dc->pen : *dc->brush;
        if (tool.invisible) continue;
        SetSourceColor(cr, tool.color);
        Draw(cr, shape, outline, left, top);
    }
    return TRUE;
}
