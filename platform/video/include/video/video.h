// The contract between the window manager (user32) and whatever shows its windows.
// A backend presents the composed client area of each top-level window and turns the
// display's events into calls on an EventSink. Backends live one per folder and are
// picked at run time from a table; see docs/platform-window.md.
//
// Windows are laid out in logical pixels, as Windows lays out a program that declares
// no DPI awareness (the program's window is 800 x 400 whatever the desktop). A backend
// presents each top-level window at a scale, device pixels per logical pixel (1, 1.25,
// 2, ...), and says which with EventSink::OnScaleChanged; the window manager then keeps
// that window's pixels at the scale, so text and edges are drawn sharp at the display's
// resolution instead of being stretched. Every coordinate and size that crosses this
// contract is logical; base/device_pixels.h maps between the two, the same way for
// every backend.
#pragma once

#include <windef.h>

#include <cairo.h>

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/backend_chooser.h"
#include "base/device_pixels.h"

namespace platform::video {

// What a backend reports back to the window manager. Coordinates are logical client
// coordinates of the top-level window the event belongs to: a backend divides its
// device coordinates by the window's scale (base::LogicalStart/LogicalEnd outward for
// an exposed area, base::LogicalPoint for the pointer, base::LogicalSize for a size).
class EventSink {
public:
    // From now on the backend presents topLevel at scale (device pixels per logical
    // pixel). Said at creation when it is not 1 (from within CreateWindow, before the
    // window is shown) and whenever it changes; the window manager redraws the whole
    // window at the new scale and presents it. Scales are clamped to
    // [base::MinimumScale, base::MaximumScale]; a backend whose display asks for less
    // than 1 is given scale-1 frames and scales them itself.
    virtual void OnScaleChanged(HWND topLevel, double scale) = 0;
    virtual void OnExpose(HWND window, const RECT& area) = 0;
    virtual void OnClientResized(HWND window, int clientWidth, int clientHeight) = 0;
    virtual void OnCloseRequest(HWND window) = 0;
    // The window is gone from the display: another client destroyed it, or the
    // connection to the display was lost. The backend draws nothing into it any more.
    virtual void OnWindowDestroyed(HWND window) = 0;
    virtual void OnMouseButton(HWND window, int x, int y, bool pressed) = 0;
    // virtualKey: the Windows VK_xxx code; altDown: Alt is held (also for Alt itself);
    // character: what the key types in the Western code page, 0 for none.
    virtual void OnKey(HWND window, UINT virtualKey, bool pressed, bool altDown, unsigned char character) = 0;

protected:
    ~EventSink() = default;
};

// Part of a frame: image holds client pixels from origin on (logical client
// coordinates), at least over area (logical too). The image is a cairo image surface
// at the window's scale: its device scale (cairo_surface_get_device_scale) is that
// scale, its pixels are device pixels, and its pixel (0, 0) lies at device pixel
// (base::DeviceStart(origin.x, scale), base::DeviceStart(origin.y, scale)) of the
// window. A logical rectangle covers the device pixels from DeviceStart of its left and
// top to DeviceEnd of its right and bottom (outward). mayWiden: over the whole bounding box of area the image holds what
// the window shows (no other window lies there), so a backend may send that box
// instead of area's rectangles. The window manager decides it; a backend never widens
// a layer on its own.
struct Layer {
    cairo_surface_t* image;
    POINT origin;
    const cairo_region_t* area;
    bool mayWiden;
};

// One top-level window on the display, sized to the client area (logical; the display
// shows it at its scale times that): the window frame is the display's business.
class Window {
public:
    virtual ~Window() = default;
    virtual void SetTitle(const std::string& utf8Title) = 0;
    virtual void Show(bool visible) = 0;
    virtual void Resize(int clientWidth, int clientHeight) = 0;
    // False when nothing looks at the frames, so the caller can skip composing them.
    virtual bool WantsFrames() const = 0;
    // Shows the layers together, as one frame, each later one over those before it.
    // Nothing outside their areas is sent.
    virtual void Present(std::span<const Layer> layers) = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // events: where the scale is said at creation (EventSink::OnScaleChanged), when the
    // backend already knows it is not 1.
    virtual std::unique_ptr<Window> CreateWindow(HWND window, int clientWidth, int clientHeight, EventSink& events) = 0;
    // A descriptor that becomes readable when events arrive, or -1 for none.
    virtual int EventDescriptor() const = 0;
    // Delivers the events received so far, without waiting. descriptorReadable: the
    // descriptor polled readable since the last call; without it the backend reads
    // nothing new and delivers only events it already holds, so an idle display costs
    // no call at all.
    virtual void DispatchEvents(EventSink& sink, bool descriptorReadable) = 0;
    // Called before the thread sleeps on the descriptor: sends what is still buffered
    // for the display. True when events are already held, so the caller must not wait.
    virtual bool PrepareToWait() = 0;
    // When the backend has input of its own to deliver without the descriptor becoming
    // readable: the next repeat of a held key, on a display that leaves repeating to its
    // clients. The thread's wait ends by then, and DispatchEvents delivers it. Nothing
    // while no such input is pending, so an idle display leaves the wait to the
    // program's timers. On the monotonic clock (std::chrono::steady_clock).
    virtual std::optional<std::chrono::steady_clock::time_point> NextOwnInput() const { return std::nullopt; }
    // In logical pixels: the display's size divided by its scale.
    virtual SIZE ScreenSize() const = 0;
};

using BackendEntry = base::BackendEntry<std::unique_ptr<Backend>>;

extern const BackendEntry WaylandBackendEntry;
extern const BackendEntry X11BackendEntry;
extern const BackendEntry OffscreenBackendEntry;

// Every backend built in.
std::span<const BackendEntry> AllBackends();

// The open backend, opening it on first use from the override order, else
// PLATFORM_VIDEO, else wayland and then x11. Null when none can start; the one-line reason
// naming what was tried has then gone to standard error.
Backend* Current();
// The open backend or null, never opening one.
Backend* CurrentIfOpen();
// Closes the open backend. Every Window it created must be gone.
void Close();
// Replaces PLATFORM_VIDEO and the default order (the test driver picks offscreen);
// an empty list restores them. Closes the open backend.
void OverrideOrder(std::vector<std::string> names);

}  // namespace platform::video
