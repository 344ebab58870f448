// One top-level window on a Wayland compositor: a wl_surface in the xdg_toplevel role,
// decorated by the compositor where it offers that. Frames are composed in memory and
// go out in shared-memory buffers, paced by the compositor's frame callbacks; the first
// goes out once the compositor has configured the window.
#pragma once

#include <cairo.h>
#include <wayland-client.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "video/video.h"
#include "wayland/shm_buffer.h"

struct xdg_surface;
struct xdg_surface_listener;
struct xdg_toplevel_listener;
struct xdg_toplevel;
struct zxdg_toplevel_decoration_v1;

namespace platform::video::wayland {

class Connection;

class WaylandWindow final : public Window {
public:
    WaylandWindow(Connection& connection, HWND window, int clientWidth, int clientHeight);
    ~WaylandWindow() override;
    WaylandWindow(const WaylandWindow&) = delete;
    WaylandWindow& operator=(const WaylandWindow&) = delete;

    void SetTitle(const std::string& utf8Title) override;
    void Show(bool visible) override;
    void Resize(int clientWidth, int clientHeight) override;
    bool WantsFrames() const override;
    void Present(std::span<const Layer> layers) override;

    HWND handle() const { return window_; }
    wl_surface* surface() const { return surface_; }
    // Device pixels per logical pixel: the scale frames are drawn at.
    double scale() const { return 1.0; }
    // The compositor is gone: nothing is sent for this window any more.
    void MarkGone() { gone_ = true; }
    // Sends the composed frame when the compositor is ready for one and a buffer is free.
    void SendFrameIfReady();

private:
    static const ::xdg_surface_listener SurfaceListener;
    static const ::xdg_toplevel_listener ToplevelListener;
    static const wl_callback_listener FrameListener;

    void CreateRole();
    void DestroyRole();
    void Compose(const Layer& layer);
    ShmBuffer* FreeBuffer();
    int DeviceWidth() const;
    int DeviceHeight() const;

    Connection& connection_;
    HWND window_;
    int width_, height_;  // logical, the client area
    wl_surface* surface_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    zxdg_toplevel_decoration_v1* decoration_ = nullptr;
    wl_callback* frameCallback_ = nullptr;
    std::string title_;
    bool shown_ = false;
    bool configured_ = false;
    bool gone_ = false;
    // The size the compositor asked for in the configure being received (0: ours).
    int configureWidth_ = 0, configureHeight_ = 0;

    // What the window shows, in device pixels, and the part of it not yet sent.
    cairo_surface_t* composed_ = nullptr;
    cairo_region_t* unsent_ = nullptr;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_;
};

}  // namespace platform::video::wayland
