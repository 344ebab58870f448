// Shared-memory buffers. A buffer is drawn into only while the compositor does not hold
// it: from its creation, or from its release on.
#include "wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

namespace platform::video::wayland {

ShmBuffer* ShmBuffer::Create(wl_shm* shm, int width, int height) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    if (width <= 0 || height <= 0 || stride <= 0) return nullptr;
    const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    const int descriptor = memfd_create("sessionvol-window", MFD_CLOEXEC);
    if (descriptor < 0) return nullptr;
    if (ftruncate(descriptor, static_cast<off_t>(size)) != 0) {
        close(descriptor);
        return nullptr;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (pixels == MAP_FAILED) {
        close(descriptor);
        return nullptr;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, descriptor, static_cast<int32_t>(size));
    // cairo's RGB24 is XRGB8888 in the machine's byte order, as wl_shm means it.
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(descriptor);
    return new ShmBuffer(buffer, pixels, size, width, height, stride);
}

ShmBuffer::ShmBuffer(wl_buffer* buffer, void* pixels, size_t size, int width, int height, int stride)
    : buffer_(buffer),
      pixels_(pixels),
      size_(size),
      width_(width),
      height_(height),
      image_(cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, width, height, stride)) {
    const cairo_rectangle_int_t whole{0, 0, width, height};
    stale_.reset(cairo_region_create_rectangle(&whole));
    static const wl_buffer_listener listener{OnRelease};
    wl_buffer_add_listener(buffer_, &listener, this);
}

ShmBuffer::~ShmBuffer() {
    // The image reads the mapped pixels: it goes before they are unmapped.
    stale_.reset();
    image_.reset();
    wl_buffer_destroy(buffer_);
    munmap(pixels_, size_);
}

void ShmBuffer::OnRelease(void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy_ = false; }

}  // namespace platform::video::wayland
