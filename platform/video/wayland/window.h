// One top-level window on a Wayland compositor: a wl_surface in the xdg_toplevel role,
// decorated by the compositor where it offers that, else by libdecor, which then owns
// the xdg_toplevel and draws a title bar around the surface. Frames are composed in memory and
// go out in shared-memory buffers, paced by the compositor's frame callbacks; the first
// goes out once the compositor has configured the window.
#pragma once

#include <cairo.h>
#include <wayland-client.h>

#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/cairo_ptr.h"
#include "video/video.h"
#include "wayland/shm_buffer.h"

struct xdg_surface;
struct xdg_surface_listener;
struct xdg_toplevel_listener;
struct xdg_toplevel;
struct zxdg_toplevel_decoration_v1;
struct wp_fractional_scale_v1;
struct wp_fractional_scale_v1_listener;
struct wp_viewport;
struct libdecor_frame;
struct libdecor_configuration;
struct libdecor_frame_interface;

namespace platform::video::wayland {

class Connection;

class WaylandWindow final : public Window {
public:
    // events hears the scale the window starts at, when that is not 1.
    WaylandWindow(Connection& connection, HWND window, int clientWidth, int clientHeight, EventSink& events);
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
    double scale() const { return scale_; }
    // An output's scale changed: the window follows it if it is on that output.
    void OnOutputScaleChanged() { FollowOutputs(); }
    // The compositor is gone: nothing is sent for this window any more.
    void MarkGone() { gone_ = true; }
    // Sends the composed frame when the compositor is ready for one and a buffer is free;
    // true if it went out (the surface was committed).
    bool SendFrameIfReady();
    // From libdecor's frame, where it draws the title bar.
    void OnDecoratedConfigure(libdecor_frame* frame, libdecor_configuration* configuration);
    void OnCloseRequested();
    void CommitSurface();

private:
    static const ::xdg_surface_listener SurfaceListener;
    static const ::xdg_toplevel_listener ToplevelListener;
    static const wl_callback_listener FrameListener;
    static const wl_surface_listener SurfaceOutputsListener;
    static const ::wp_fractional_scale_v1_listener FractionalScaleListener;
    // Not const: libdecor takes it so.
    static ::libdecor_frame_interface DecoratedFrameInterface;

    void CreateRole();
    // The role through libdecor, which draws the title bar; false if it made none.
    bool CreateDecoratedRole();
    // The size a configure asked for, taken as the X11 backend takes a window manager's.
    void TakeConfiguredSize();
    void DestroyRole();
    void Compose(const Layer& layer);
    ShmBuffer* FreeBuffer();
    int DeviceWidth() const;
    int DeviceHeight() const;
    // The scale of the outputs the surface is on (the largest), unless the compositor
    // says a fractional one.
    void FollowOutputs();
    void SetScale(double scale, EventSink* events);

    Connection& connection_;
    HWND window_;
    int width_, height_;  // logical, the client area
    wl_surface* surface_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    zxdg_toplevel_decoration_v1* decoration_ = nullptr;
    libdecor_frame* decoratedFrame_ = nullptr;  // instead of xdgSurface_ and toplevel_
    wl_callback* frameCallback_ = nullptr;
    wp_fractional_scale_v1* fractionalScale_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    std::set<wl_output*> outputs_;  // the outputs the surface is on
    double scale_ = 1.0;
    bool fractional_ = false;  // the compositor said a fractional scale
    double scaleSent_ = 0;     // the scale the surface state was last committed at
    std::string title_;
    bool shown_ = false;
    bool configured_ = false;
    bool gone_ = false;
    // The size the compositor asked for in the configure being received (0: ours).
    int configureWidth_ = 0, configureHeight_ = 0;

    // What the window shows, in device pixels, and the part of it not yet sent.
    base::SurfacePtr composed_;
    base::RegionPtr unsent_;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_;
};

}  // namespace platform::video::wayland
