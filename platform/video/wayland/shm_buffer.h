// A window's pixels in memory shared with the compositor: a wl_buffer over a memfd,
// with a cairo image surface over the same bytes.
#pragma once

#include <cairo.h>
#include <wayland-client.h>

#include "base/cairo_ptr.h"

namespace platform::video::wayland {

class ShmBuffer {
public:
    // Null when the memory cannot be had.
    static ShmBuffer* Create(wl_shm* shm, int width, int height);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    wl_buffer* buffer() const { return buffer_; }
    cairo_surface_t* image() const { return image_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    // Attached and committed: the compositor may read it until it releases it, and
    // until then nothing may be drawn into it.
    bool busy() const { return busy_; }
    void MarkBusy() { busy_ = true; }
    // What changed in the window since this buffer last went out, in device pixels:
    // copied into it before it goes out again.
    cairo_region_t* stale() const { return stale_.get(); }

private:
    ShmBuffer(wl_buffer* buffer, void* pixels, size_t size, int width, int height, int stride);
    static void OnRelease(void* data, wl_buffer* buffer);

    wl_buffer* buffer_;
    void* pixels_;
    size_t size_;
    int width_, height_;
    base::SurfacePtr image_;
    base::RegionPtr stale_;
    bool busy_ = false;
};

}  // namespace platform::video::wayland
