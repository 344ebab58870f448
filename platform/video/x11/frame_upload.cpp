// Frames go to the X server with plain XPutImage rather than cairo-xlib: cairo's
// shared-memory path waits for the server to have read each image, which a server
// that has gone away never does, so a lost connection in the middle of a frame would
// hang the program. Xlib itself turns every call on a lost connection into nothing.
#include "x11/frame_upload.h"

#include <X11/Xutil.h>
#include <cairo.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>

namespace platform::video::x11 {
namespace {

// An RGB24 pixel (0x00RRGGBB) in a true-colour visual's own layout.
unsigned long VisualPixel(const Visual& visual, uint32_t rgb) {
    auto place = [](unsigned long mask, uint32_t channel) -> unsigned long {
        if (mask == 0) return 0;
        const int shift = std::countr_zero(mask);
        const int bits = std::popcount(mask);
        const unsigned long value = bits >= 8 ? channel << (bits - 8) : channel >> (8 - bits);
        return (value << shift) & mask;
    };
    return place(visual.red_mask, rgb >> 16 & 0xFF) | place(visual.green_mask, rgb >> 8 & 0xFF) |
           place(visual.blue_mask, rgb & 0xFF);
}

// Only the rectangles asked for; the server clips to the window, the image must cover
// what is sent. An image too big for Xlib's buffer costs a write of its own, far more
// than sending the pixels between nearby rectangles, so rectangles that fill most of
// their bounding box (the boxes of a row, say) go as that one box where the layer
// allows it.
bool SendAsOneBox(const Layer& layer, const cairo_rectangle_int_t& extents) {
    if (!layer.mayWiden) return false;
    int64_t covered = 0;
    for (int i = 0; i < cairo_region_num_rectangles(layer.area); ++i) {
        cairo_rectangle_int_t part;
        cairo_region_get_rectangle(layer.area, i, &part);
        covered += static_cast<int64_t>(part.width) * part.height;
    }
    return 2 * covered >= static_cast<int64_t>(extents.width) * extents.height;
}

}  // namespace

void UploadLayer(Display* display, ::Window xWindow, GC gc, const Layer& layer, double scale) {
    cairo_surface_t* image = layer.image;
    cairo_surface_flush(image);
    const POINT imageOrigin{base::DeviceStart(layer.origin.x, scale), base::DeviceStart(layer.origin.y, scale)};
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    unsigned char* pixels = cairo_image_surface_get_data(image);
    if (pixels == nullptr || width <= 0 || height <= 0) return;
    const int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);
    XImage* frame = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 32, 0);
    if (frame == nullptr) return;
    const bool sameLayout =
        frame->bits_per_pixel == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
    if (sameLayout) {
        // cairo's pixels are 32-bit words in this machine's byte order; Xlib swaps
        // them for a server of the other order.
        frame->data = reinterpret_cast<char*>(pixels);
        frame->bytes_per_line = stride;
        frame->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    } else {
        // Any other true-colour layout (a 16-bit display, say): pixel by pixel.
        frame->data = static_cast<char*>(std::malloc(static_cast<size_t>(frame->bytes_per_line) * static_cast<size_t>(height)));
        if (frame->data == nullptr) {
            XDestroyImage(frame);
            return;
        }
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < width; ++x) XPutPixel(frame, x, y, VisualPixel(*visual, row[x]));
        }
    }
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(layer.area, &extents);
    const bool asOne = SendAsOneBox(layer, extents);
    const int parts = asOne ? 1 : cairo_region_num_rectangles(layer.area);
    for (int i = 0; i < parts; ++i) {
        cairo_rectangle_int_t logical = extents;
        if (!asOne) cairo_region_get_rectangle(layer.area, i, &logical);
        // Outward: a rectangle's last logical pixel may end inside a device pixel.
        const cairo_rectangle_int_t part{base::DeviceStart(logical.x, scale), base::DeviceStart(logical.y, scale),
                                         base::DeviceEnd(logical.x + logical.width, scale) - base::DeviceStart(logical.x, scale),
                                         base::DeviceEnd(logical.y + logical.height, scale) - base::DeviceStart(logical.y, scale)};
        const int left = std::max(part.x, static_cast<int>(imageOrigin.x)), top = std::max(part.y, static_cast<int>(imageOrigin.y));
        const int right = std::min(part.x + part.width, static_cast<int>(imageOrigin.x) + width);
        const int bottom = std::min(part.y + part.height, static_cast<int>(imageOrigin.y) + height);
        if (right <= left || bottom <= top) continue;
        XPutImage(display, xWindow, gc, frame, left - imageOrigin.x, top - imageOrigin.y, left, top,
                  static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
    }
    if (sameLayout) frame->data = nullptr;  // cairo's, not Xlib's to free
    XDestroyImage(frame);
}

}  // namespace platform::video::x11
