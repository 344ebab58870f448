// The Wayland backend's connection to the compositor: the globals it offers, the seat's
// pointer and keyboard, the outputs, and the one place where the connection is read.
//
// The connection is read in one wrapper, as libwayland requires of a program that waits
// on the socket itself: PrepareToWait announces the read (wl_display_prepare_read) and
// flushes what is buffered; after the wait DispatchEvents reads (or cancels the read)
// and dispatches what arrived. An idle program therefore makes no call of its own
// besides the queue's one wait.
#pragma once

#include <wayland-client.h>

#include <map>
#include <memory>
#include <string>

#include "video/video.h"
#include "wayland/client_decorations.h"
#include "wayland/key_repeat.h"
#include "wayland/keyboard.h"

struct xdg_wm_base;
struct zxdg_decoration_manager_v1;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zxdg_output_v1_listener;

namespace platform::video::wayland {

class WaylandWindow;

class Connection final : public Backend {
public:
    // Null, with the reason in whyNot, when no compositor can be reached or it lacks
    // what a window needs.
    static std::unique_ptr<Connection> Open(std::string& whyNot);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::unique_ptr<Window> CreateWindow(HWND window, int clientWidth, int clientHeight, EventSink& events) override;
    int EventDescriptor() const override;
    void DispatchEvents(EventSink& sink, bool descriptorReadable) override;
    bool PrepareToWait() override;
    std::optional<std::chrono::steady_clock::time_point> NextOwnInput() const override;
    SIZE ScreenSize() const override;

    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    xdg_wm_base* wmBase() const { return wmBase_; }
    zxdg_decoration_manager_v1* decorationManager() const { return decorationManager_; }
    // Where the compositor draws no title bars: libdecor, which draws them. Null where
    // the compositor draws them (decorationManager) or libdecor could not start.
    ClientDecorations* clientDecorations() const { return clientDecorations_.get(); }
    wp_fractional_scale_manager_v1* fractionalScaleManager() const { return fractionalScaleManager_; }
    wp_viewporter* viewporter() const { return viewporter_; }
    bool lost() const { return lost_; }
    // Where the window's events go: set while events are dispatched, which is the only
    // time the compositor's events reach a window.
    EventSink* sink() const { return sink_; }
    // The integer scale the compositor gives an output (wl_output.scale), 1 if unknown.
    int OutputScale(wl_output* output) const;
    int LargestOutputScale() const;

    void Forget(WaylandWindow* window);

private:
    struct Output {
        Connection* connection = nullptr;
        wl_output* output = nullptr;
        int scale = 1;
        int width = 0, height = 0;  // the current mode, in the output's pixels
        // The size the output shows in logical pixels, where the compositor says it
        // (xdg-output): at a fractional scale the mode divided by the integer scale is not.
        zxdg_output_v1* logical = nullptr;
        int logicalWidth = 0, logicalHeight = 0;
    };

    explicit Connection(wl_display* display);
    bool BindGlobals(std::string& whyNot);
    void EndRead(bool readable);
    void NoteConnectionLost();
    void ReportAllGone(EventSink& sink);
    bool DeliverKey(uint32_t key, bool pressed);
    void DeliverDueRepeat();
    void WatchLogicalSize(Output& output);
    WaylandWindow* WindowOf(wl_surface* surface) const;

    static const wl_registry_listener RegistryListener;
    static const wl_seat_listener SeatListener;
    static const wl_pointer_listener PointerListener;
    static const wl_keyboard_listener KeyboardListener;
    static const wl_output_listener OutputListener;
    static const ::zxdg_output_v1_listener LogicalOutputListener;

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    xdg_wm_base* wmBase_ = nullptr;
    zxdg_decoration_manager_v1* decorationManager_ = nullptr;
    std::unique_ptr<ClientDecorations> clientDecorations_;
    wp_fractional_scale_manager_v1* fractionalScaleManager_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    zxdg_output_manager_v1* outputManager_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    std::map<uint32_t, Output> outputs_;  // by the global's name

    std::map<WaylandWindow*, HWND> windows_;
    WaylandWindow* pointerFocus_ = nullptr;
    wl_fixed_t pointerX_ = 0, pointerY_ = 0;
    WaylandWindow* keyboardFocus_ = nullptr;
    Keyboard keys_;
    KeyRepeat repeat_;

    EventSink* sink_ = nullptr;
    bool readPrepared_ = false;
    bool lost_ = false;
};

}  // namespace platform::video::wayland
