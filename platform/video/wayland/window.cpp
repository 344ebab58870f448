// A top-level window on a Wayland compositor: its role, title, size and frames.
//
// A frame is composed into an image of the whole window the moment it is presented
// (the layers' images change right after), and sent when the compositor is ready for
// the next one: after the first configure, when the last frame's callback has come,
// and into a buffer the compositor has released. Frames presented meanwhile merge into
// the one sent next, so the program never draws faster than the compositor shows.
#include "wayland/window.h"

#include <libdecor.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/device_pixels.h"
#include "fractional-scale-v1-client.h"
#include "viewporter-client.h"
#include "wayland/connection.h"
#include "xdg-decoration-unstable-v1-client.h"
#include "xdg-shell-client.h"

namespace platform::video::wayland {
namespace {

// The desktop entry's id, by which docks find the program's icon and name.
const char AppId[] = "io.github.sessionvol.sessionvol";

// Two buffers let the program draw while the compositor reads the last frame; a third
// covers a compositor that keeps the one before that until the next arrives.
constexpr size_t MaxBuffers = 3;

// The largest client area a configure may ask for. A size beyond what any output shows
// would only cost memory: a window of 16384 by 16384 pixels takes a gigabyte.
constexpr int LargestSide = 8192;

cairo_rectangle_int_t Intersection(const cairo_rectangle_int_t& a, int width, int height) {
    const int left = std::max(a.x, 0), top = std::max(a.y, 0);
    const int right = std::min(a.x + a.width, width), bottom = std::min(a.y + a.height, height);
    return {left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

// Copies the pixels of part (device pixels of `to`) from `from`, whose pixel (0, 0)
// lies at fromOrigin in `to`. Both are 32 bits a pixel; no scaling, no blending.
void CopyPixels(cairo_surface_t* from, int fromX, int fromY, cairo_surface_t* to, cairo_rectangle_int_t part) {
    cairo_surface_flush(from);
    const int fromWidth = cairo_image_surface_get_width(from), fromHeight = cairo_image_surface_get_height(from);
    const cairo_rectangle_int_t inFrom{fromX, fromY, fromWidth, fromHeight};
    cairo_rectangle_int_t clipped = Intersection(part, cairo_image_surface_get_width(to), cairo_image_surface_get_height(to));
    const int left = std::max(clipped.x, inFrom.x), top = std::max(clipped.y, inFrom.y);
    const int right = std::min(clipped.x + clipped.width, inFrom.x + inFrom.width);
    const int bottom = std::min(clipped.y + clipped.height, inFrom.y + inFrom.height);
    if (right <= left || bottom <= top) return;
    const unsigned char* source = cairo_image_surface_get_data(from);
    unsigned char* target = cairo_image_surface_get_data(to);
    if (source == nullptr || target == nullptr) return;
    const int sourceStride = cairo_image_surface_get_stride(from), targetStride = cairo_image_surface_get_stride(to);
    const size_t bytes = static_cast<size_t>(right - left) * 4;
    for (int y = top; y < bottom; ++y) {
        std::memcpy(target + static_cast<ptrdiff_t>(y) * targetStride + static_cast<ptrdiff_t>(left) * 4,
                    source + static_cast<ptrdiff_t>(y - fromY) * sourceStride + static_cast<ptrdiff_t>(left - fromX) * 4, bytes);
    }
    cairo_surface_mark_dirty(to);
}

}  // namespace

WaylandWindow::WaylandWindow(Connection& connection, HWND window, int clientWidth, int clientHeight, EventSink& events)
    : connection_(connection),
      window_(window),
      width_(std::clamp(clientWidth, 1, LargestSide)),
      height_(std::clamp(clientHeight, 1, LargestSide)) {
    surface_ = wl_compositor_create_surface(connection_.compositor());
    wl_surface_set_user_data(surface_, this);
    wl_surface_add_listener(surface_, &SurfaceOutputsListener, this);
    // A fractional scale needs both: the compositor says the scale, and the viewport
    // shows a buffer of that many device pixels at the window's logical size.
    if (connection_.fractionalScaleManager() != nullptr && connection_.viewporter() != nullptr) {
        fractionalScale_ = wp_fractional_scale_manager_v1_get_fractional_scale(connection_.fractionalScaleManager(), surface_);
        wp_fractional_scale_v1_add_listener(fractionalScale_, &FractionalScaleListener, this);
        viewport_ = wp_viewporter_get_viewport(connection_.viewporter(), surface_);
    }
    unsent_.reset(cairo_region_create());
    // Until the surface is on an output, the largest output scale: the first frame is
    // then sharp on a desktop whose outputs share one scale, the usual case.
    scale_ = base::ClampScale(connection_.LargestOutputScale());
    composed_.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, DeviceWidth(), DeviceHeight()));
    if (scale_ != 1.0) events.OnScaleChanged(window_, scale_);
}

WaylandWindow::~WaylandWindow() {
    connection_.Forget(this);
    if (frameCallback_ != nullptr) wl_callback_destroy(frameCallback_);
    DestroyRole();
    if (viewport_ != nullptr) wp_viewport_destroy(viewport_);
    if (fractionalScale_ != nullptr) wp_fractional_scale_v1_destroy(fractionalScale_);
    wl_surface_destroy(surface_);
    buffers_.clear();
}

const xdg_surface_listener WaylandWindow::SurfaceListener = {
    [](void* data, xdg_surface* surface, uint32_t serial) {
        auto* self = static_cast<WaylandWindow*>(data);
        xdg_surface_ack_configure(surface, serial);
        self->TakeConfiguredSize();
        self->configured_ = true;
        self->SendFrameIfReady();
    },
};

// Handled as the X11 backend handles a window manager's resize: the window manager
// resizes the window and repaints it.
void WaylandWindow::TakeConfiguredSize() {
    const int width = configureWidth_, height = configureHeight_;
    if (width > 0 && height > 0 && (width != width_ || height != height_) && connection_.sink()) {
        connection_.sink()->OnClientResized(window_, width, height);
    }
}

namespace {

libdecor_frame_interface MakeDecoratedFrameInterface() {
    libdecor_frame_interface callbacks{};
    // A configure's size is the client area's (libdecor takes its frame off); the
    // frame is then drawn around the size the program settled on, and the configure
    // acknowledged with it, before the next frame goes out.
    callbacks.configure = [](libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
        auto* self = static_cast<WaylandWindow*>(data);
        self->OnDecoratedConfigure(frame, configuration);
    };
    callbacks.close = [](libdecor_frame*, void* data) { static_cast<WaylandWindow*>(data)->OnCloseRequested(); };
    // The title bar's parts are synchronised subsurfaces: a new look of them (a button
    // under the pointer) shows when the window's surface is committed.
    callbacks.commit = [](libdecor_frame*, void* data) { static_cast<WaylandWindow*>(data)->CommitSurface(); };
    // The program opens no popups.
    callbacks.dismiss_popup = [](libdecor_frame*, const char*, void*) {};
    return callbacks;
}

}  // namespace

libdecor_frame_interface WaylandWindow::DecoratedFrameInterface = MakeDecoratedFrameInterface();

void WaylandWindow::OnDecoratedConfigure(libdecor_frame* frame, libdecor_configuration* configuration) {
    int width = 0, height = 0;
    if (!libdecor_configuration_get_content_size(configuration, frame, &width, &height)) width = height = 0;
    configureWidth_ = std::min(width, LargestSide);
    configureHeight_ = std::min(height, LargestSide);
    TakeConfiguredSize();
    libdecor_state* state = libdecor_state_new(width_, height_);
    libdecor_frame_commit(frame, state, configuration);
    libdecor_state_free(state);
    configured_ = true;
    // The title bar libdecor just drew (a new one, or one that shows the window active)
    // lies in synchronised subsurfaces: it shows only with a commit of the window's
    // surface, which an idle program might not make for a long time.
    if (!SendFrameIfReady()) CommitSurface();
}

void WaylandWindow::OnCloseRequested() {
    if (connection_.sink()) connection_.sink()->OnCloseRequest(window_);
}

void WaylandWindow::CommitSurface() {
    if (!gone_) wl_surface_commit(surface_);
}

const xdg_toplevel_listener WaylandWindow::ToplevelListener = {
    // configure: a size of 0 leaves the size to the program.
    [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
        auto* self = static_cast<WaylandWindow*>(data);
        self->configureWidth_ = std::min(width, LargestSide);
        self->configureHeight_ = std::min(height, LargestSide);
    },
    // close
    [](void* data, xdg_toplevel*) { static_cast<WaylandWindow*>(data)->OnCloseRequested(); },
    // configure_bounds
    [](void*, xdg_toplevel*, int32_t, int32_t) {},
    // wm_capabilities
    [](void*, xdg_toplevel*, wl_array*) {},
};

const wl_callback_listener WaylandWindow::FrameListener = {
    [](void* data, wl_callback* callback, uint32_t) {
        auto* self = static_cast<WaylandWindow*>(data);
        wl_callback_destroy(callback);
        self->frameCallback_ = nullptr;
        self->SendFrameIfReady();
    },
};

const wl_surface_listener WaylandWindow::SurfaceOutputsListener = {
    // enter
    [](void* data, wl_surface*, wl_output* output) {
        auto* self = static_cast<WaylandWindow*>(data);
        self->outputs_.insert(output);
        self->FollowOutputs();
    },
    // leave
    [](void* data, wl_surface*, wl_output* output) {
        auto* self = static_cast<WaylandWindow*>(data);
        self->outputs_.erase(output);
        self->FollowOutputs();
    },
};

const wp_fractional_scale_v1_listener WaylandWindow::FractionalScaleListener = {
    // preferred_scale, in 120ths
    [](void* data, wp_fractional_scale_v1*, uint32_t scale) {
        auto* self = static_cast<WaylandWindow*>(data);
        self->fractional_ = true;
        self->SetScale(scale / 120.0, self->connection_.sink());
    },
};

void WaylandWindow::FollowOutputs() {
    if (fractional_ || outputs_.empty()) return;
    int largest = 1;
    for (wl_output* output : outputs_) largest = std::max(largest, connection_.OutputScale(output));
    SetScale(largest, connection_.sink());
}

// The window manager redraws the whole window at the new scale and presents it; until
// then the composed image holds nothing worth sending.
void WaylandWindow::SetScale(double scale, EventSink* events) {
    scale = base::ClampScale(scale);
    if (scale == scale_ || gone_) return;
    scale_ = scale;
    composed_.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, DeviceWidth(), DeviceHeight()));
    const cairo_rectangle_int_t whole{0, 0, DeviceWidth(), DeviceHeight()};
    cairo_region_union_rectangle(unsent_.get(), &whole);
    if (events != nullptr) events->OnScaleChanged(window_, scale_);
}

// The role lives while the window is shown: a surface that was unmapped must be
// configured anew before it shows again.
void WaylandWindow::CreateRole() {
    if (connection_.clientDecorations() != nullptr && CreateDecoratedRole()) return;
    xdgSurface_ = xdg_wm_base_get_xdg_surface(connection_.wmBase(), surface_);
    xdg_surface_add_listener(xdgSurface_, &SurfaceListener, this);
    toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
    xdg_toplevel_add_listener(toplevel_, &ToplevelListener, this);
    xdg_toplevel_set_app_id(toplevel_, AppId);
    if (!title_.empty()) xdg_toplevel_set_title(toplevel_, title_.c_str());
    if (connection_.decorationManager() != nullptr) {
        decoration_ = zxdg_decoration_manager_v1_get_toplevel_decoration(connection_.decorationManager(), toplevel_);
        zxdg_toplevel_decoration_v1_set_mode(decoration_, ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    }
    // Committed without a buffer: the compositor answers with the first configure.
    wl_surface_commit(surface_);
}

// libdecor makes the xdg_toplevel and the title bar, and the first configure comes to
// DecoratedFrameInterface.
bool WaylandWindow::CreateDecoratedRole() {
    decoratedFrame_ = libdecor_decorate(connection_.clientDecorations()->context(), surface_, &DecoratedFrameInterface, this);
    if (decoratedFrame_ == nullptr) return false;
    // What an overlapped window's frame offers on Windows, set in full. Without it a
    // drag on the title bar sent no move under ThreadSanitizer, every time; libdecor
    // 0.1.1 itself starts a frame with every capability, so why its plugin ignored the
    // drag is not known. Setting or unsetting changes only the ones named.
    constexpr auto offered = static_cast<libdecor_capabilities>(LIBDECOR_ACTION_MOVE | LIBDECOR_ACTION_RESIZE |
                                                                LIBDECOR_ACTION_MINIMIZE | LIBDECOR_ACTION_CLOSE);
    constexpr auto every =
        static_cast<libdecor_capabilities>(LIBDECOR_ACTION_MOVE | LIBDECOR_ACTION_RESIZE | LIBDECOR_ACTION_MINIMIZE |
                                           LIBDECOR_ACTION_FULLSCREEN | LIBDECOR_ACTION_CLOSE);
    libdecor_frame_unset_capabilities(decoratedFrame_, every);
    libdecor_frame_set_capabilities(decoratedFrame_, offered);
    libdecor_frame_set_app_id(decoratedFrame_, AppId);
    if (!title_.empty()) libdecor_frame_set_title(decoratedFrame_, title_.c_str());
    libdecor_frame_map(decoratedFrame_);
    return true;
}

void WaylandWindow::DestroyRole() {
    if (decoratedFrame_ != nullptr) libdecor_frame_unref(decoratedFrame_);
    decoratedFrame_ = nullptr;
    if (decoration_ != nullptr) zxdg_toplevel_decoration_v1_destroy(decoration_);
    if (toplevel_ != nullptr) xdg_toplevel_destroy(toplevel_);
    if (xdgSurface_ != nullptr) xdg_surface_destroy(xdgSurface_);
    decoration_ = nullptr;
    toplevel_ = nullptr;
    xdgSurface_ = nullptr;
    configured_ = false;
}

void WaylandWindow::SetTitle(const std::string& utf8Title) {
    title_ = utf8Title;
    if (gone_) return;
    if (decoratedFrame_ != nullptr) libdecor_frame_set_title(decoratedFrame_, title_.c_str());
    if (toplevel_ != nullptr) xdg_toplevel_set_title(toplevel_, title_.c_str());
}

void WaylandWindow::Show(bool visible) {
    if (gone_ || visible == shown_) return;
    shown_ = visible;
    if (visible) {
        // All of it goes out with the first frame.
        const cairo_rectangle_int_t whole{0, 0, DeviceWidth(), DeviceHeight()};
        cairo_region_union_rectangle(unsent_.get(), &whole);
        CreateRole();
        return;
    }
    DestroyRole();
    // An unmapped surface gets no frame callback: the next frame after showing again
    // must not wait for one.
    if (frameCallback_ != nullptr) wl_callback_destroy(frameCallback_);
    frameCallback_ = nullptr;
    wl_surface_attach(surface_, nullptr, 0, 0);
    wl_surface_commit(surface_);
}

void WaylandWindow::Resize(int clientWidth, int clientHeight) {
    clientWidth = std::clamp(clientWidth, 1, LargestSide);
    clientHeight = std::clamp(clientHeight, 1, LargestSide);
    if (clientWidth == width_ && clientHeight == height_) return;
    width_ = clientWidth;
    height_ = clientHeight;
    base::SurfacePtr resized(cairo_image_surface_create(CAIRO_FORMAT_RGB24, DeviceWidth(), DeviceHeight()));
    CopyPixels(composed_.get(), 0, 0, resized.get(), {0, 0, DeviceWidth(), DeviceHeight()});
    composed_ = std::move(resized);
    // A buffer of the old size is dropped once the compositor has released it.
    const cairo_rectangle_int_t whole{0, 0, DeviceWidth(), DeviceHeight()};
    cairo_region_union_rectangle(unsent_.get(), &whole);
}

bool WaylandWindow::WantsFrames() const { return !gone_; }

void WaylandWindow::Present(std::span<const Layer> layers) {
    if (gone_) return;
    for (const Layer& layer : layers) Compose(layer);
    SendFrameIfReady();
}

// A logical rectangle covers the device pixels it touches (outward), so that nothing
// drawn at its edge is left behind.
void WaylandWindow::Compose(const Layer& layer) {
    const double s = scale();
    cairo_rectangle_int_t area;
    if (layer.mayWiden) {
        cairo_region_get_extents(layer.area, &area);
    }
    const int parts = layer.mayWiden ? 1 : cairo_region_num_rectangles(layer.area);
    const int originX = base::DeviceStart(layer.origin.x, s), originY = base::DeviceStart(layer.origin.y, s);
    for (int i = 0; i < parts; ++i) {
        if (!layer.mayWiden) cairo_region_get_rectangle(layer.area, i, &area);
        const int left = base::DeviceStart(area.x, s), top = base::DeviceStart(area.y, s);
        const int right = base::DeviceEnd(area.x + area.width, s), bottom = base::DeviceEnd(area.y + area.height, s);
        const cairo_rectangle_int_t device = Intersection({left, top, right - left, bottom - top}, DeviceWidth(), DeviceHeight());
        if (device.width == 0 || device.height == 0) continue;
        CopyPixels(layer.image, originX, originY, composed_.get(), device);
        cairo_region_union_rectangle(unsent_.get(), &device);
    }
}

ShmBuffer* WaylandWindow::FreeBuffer() {
    // Released buffers of another size are no use any more.
    std::erase_if(buffers_, [&](const std::unique_ptr<ShmBuffer>& buffer) {
        return !buffer->busy() && (buffer->width() != DeviceWidth() || buffer->height() != DeviceHeight());
    });
    for (const auto& buffer : buffers_) {
        if (!buffer->busy()) return buffer.get();
    }
    if (buffers_.size() >= MaxBuffers) return nullptr;
    ShmBuffer* created = ShmBuffer::Create(connection_.shm(), DeviceWidth(), DeviceHeight());
    if (created != nullptr) buffers_.emplace_back(created);
    return created;
}

bool WaylandWindow::SendFrameIfReady() {
    if (gone_ || connection_.lost() || !shown_ || !configured_ || frameCallback_ != nullptr || cairo_region_is_empty(unsent_.get()))
        return false;
    ShmBuffer* buffer = FreeBuffer();
    // All buffers held by the compositor: the next release calls this again.
    if (buffer == nullptr) return false;
    // Every buffer misses what changed since it last went out; this one gets it now.
    for (const auto& other : buffers_) cairo_region_union(other->stale(), unsent_.get());
    for (int i = 0; i < cairo_region_num_rectangles(buffer->stale()); ++i) {
        cairo_rectangle_int_t part;
        cairo_region_get_rectangle(buffer->stale(), i, &part);
        CopyPixels(composed_.get(), 0, 0, buffer->image(), part);
    }
    cairo_region_subtract(buffer->stale(), buffer->stale());

    wl_surface_attach(surface_, buffer->buffer(), 0, 0);
    // The buffer's device pixels shown at the logical size: by the viewport for any
    // scale, else by the integer buffer scale.
    if (viewport_ != nullptr) {
        wp_viewport_set_destination(viewport_, width_, height_);
    } else if (scaleSent_ != scale_) {
        wl_surface_set_buffer_scale(surface_, static_cast<int32_t>(scale_));
    }
    scaleSent_ = scale_;
    for (int i = 0; i < cairo_region_num_rectangles(unsent_.get()); ++i) {
        cairo_rectangle_int_t part;
        cairo_region_get_rectangle(unsent_.get(), i, &part);
        wl_surface_damage_buffer(surface_, part.x, part.y, part.width, part.height);
    }
    cairo_region_subtract(unsent_.get(), unsent_.get());
    frameCallback_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frameCallback_, &FrameListener, this);
    wl_surface_commit(surface_);
    buffer->MarkBusy();
    return true;
}

int WaylandWindow::DeviceWidth() const { return base::DeviceEnd(width_, scale_); }
int WaylandWindow::DeviceHeight() const { return base::DeviceEnd(height_, scale_); }

}  // namespace platform::video::wayland
