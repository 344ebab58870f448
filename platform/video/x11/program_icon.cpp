#include "x11/program_icon.h"

#include <cairo.h>

#include <cstdint>
#include <cstring>

#include "base/cairo_ptr.h"

namespace platform::video {
namespace {

struct PngReader {
    std::span<const unsigned char> bytes;
    size_t offset = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->bytes.size() - reader->offset < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader->bytes.data() + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

// cairo keeps colour premultiplied by alpha; _NET_WM_ICON wants it straight.
long StraightArgb(uint32_t premultiplied) {
    const uint32_t alpha = premultiplied >> 24;
    if (alpha == 0) return 0;
    auto channel = [&](int shift) { return ((premultiplied >> shift & 0xFF) * 255 + alpha / 2) / alpha; };
    return static_cast<long>(alpha << 24 | channel(16) << 16 | channel(8) << 8 | channel(0));
}

}  // namespace

std::vector<long> NetWmIcon() {
    PngReader reader{ProgramIconPng()};
    const base::SurfacePtr png(cairo_image_surface_create_from_png_stream(ReadPng, &reader));
    cairo_surface_t* image = png.get();
    std::vector<long> icon;
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS && cairo_image_surface_get_format(image) == CAIRO_FORMAT_ARGB32) {
        const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
        const int stride = cairo_image_surface_get_stride(image);
        const unsigned char* data = cairo_image_surface_get_data(image);
        icon.reserve(2 + static_cast<size_t>(width) * static_cast<size_t>(height));
        icon.push_back(width);
        icon.push_back(height);
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < width; ++x) icon.push_back(StraightArgb(row[x]));
        }
    }
    return icon;
}

}  // namespace platform::video
