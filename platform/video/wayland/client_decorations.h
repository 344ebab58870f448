// Title bars that the program draws itself, where the compositor draws none (GNOME's
// compositor, weston: they offer no zxdg_decoration_manager_v1). libdecor then owns
// each window's xdg_toplevel and draws its frame with a plugin it loads at run time
// (Debian's libdecor-0-plugin-1-cairo); the frame lies outside the client area.
//
// libdecor and its plugin make their Wayland objects on the connection's default
// queue, so the connection's one read-and-dispatch serves them as well: the socket is
// never polled a second time (libdecor_dispatch, which would poll it, is not called).
#pragma once

#include <wayland-client.h>

#include <memory>

struct libdecor;

namespace platform::video::wayland {

class ClientDecorations {
public:
    // Makes round trips on the connection: call it only while no read is announced.
    // Null when libdecor cannot start. Without a plugin the windows still work, with
    // no title bar, and standard error says once what to install.
    static std::unique_ptr<ClientDecorations> Start(wl_display* display);
    ~ClientDecorations();
    ClientDecorations(const ClientDecorations&) = delete;
    ClientDecorations& operator=(const ClientDecorations&) = delete;

    libdecor* context() const { return context_; }

private:
    explicit ClientDecorations(libdecor* context) : context_(context) {}

    libdecor* context_;
};

}  // namespace platform::video::wayland
