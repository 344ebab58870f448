// Real windows on an X display. Each top-level window is one X window the size of the
// client area; the window manager draws the real frame around it. Frames are copied
// from the window manager's image surfaces through cairo-xlib.
//
// A window that another client destroys, or every window when the connection to the
// X server is lost, is reported to the window manager as gone; it destroys the HWND as
// DestroyWindow does, so the program gets its WM_DESTROY and ends the way it always
// does. From then on nothing is drawn into or asked of that X window.
#include "video/video.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "video/x11/program_icon.h"

namespace platform::video {
namespace {

class X11Backend;

// For the protocol error handler, which Xlib calls without a context of ours.
std::atomic<bool> anyWindowGone{false};
std::atomic<const X11Backend*> backendForErrors{nullptr};

class X11Window final : public Window {
public:
    X11Window(X11Backend& backend, ::Window xWindow, int width, int height);
    ~X11Window() override;

    void SetTitle(const std::string& utf8Title) override;
    void Show(bool visible) override;
    void Resize(int clientWidth, int clientHeight) override;
    bool WantsFrames() const override;
    void Present(cairo_surface_t* clientImage) override;

private:
    bool Gone() const;

    X11Backend& backend_;
    ::Window xWindow_;
    cairo_surface_t* surface_;
};

class X11Backend final : public Backend {
public:
    explicit X11Backend(Display* display) : display_(display) {
        wmProtocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
        wmDeleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        netWmName_ = XInternAtom(display_, "_NET_WM_NAME", False);
        utf8String_ = XInternAtom(display_, "UTF8_STRING", False);
        WatchConnection();
    }
    ~X11Backend() override {
        const X11Backend* self = this;
        backendForErrors.compare_exchange_strong(self, nullptr);
        // Closing a display whose connection is gone waits on it forever.
        if (!connectionLost_) XCloseDisplay(display_);
    }

    std::unique_ptr<Window> CreateWindow(HWND window, int clientWidth, int clientHeight) override {
        int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display_, screen);
        attributes.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask;
        ::Window xWindow =
            XCreateWindow(display_, RootWindow(display_, screen), 0, 0, Positive(clientWidth), Positive(clientHeight), 0,
                          CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        XSetWMProtocols(display_, xWindow, &wmDeleteWindow_, 1);
        SetDesktopProperties(xWindow);
        windows_[xWindow] = window;
        return std::make_unique<X11Window>(*this, xWindow, clientWidth, clientHeight);
    }

    int EventDescriptor() const override {
        if (connectionLost_) return -1;
        XFlush(display_);
        return ConnectionNumber(display_);
    }

    void DispatchEvents(EventSink& sink) override {
        XFlush(display_);
        while (!connectionLost_ && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            auto found = windows_.find(event.xany.window);
            if (found == windows_.end()) continue;
            HWND window = found->second;
            switch (event.type) {
            case Expose:
                sink.OnExpose(window, RECT{event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                                           event.xexpose.y + event.xexpose.height});
                break;
            case ConfigureNotify: sink.OnClientResized(window, event.xconfigure.width, event.xconfigure.height); break;
            case DestroyNotify: ReportGone(sink, found->first); break;
            case ClientMessage:
                if (event.xclient.message_type == wmProtocols_ && event.xclient.format == 32 &&
                    static_cast<Atom>(event.xclient.data.l[0]) == wmDeleteWindow_) {
                    sink.OnCloseRequest(window);
                }
                break;
            case ButtonPress:
            case ButtonRelease:
                if (event.xbutton.button == Button1) {
                    sink.OnMouseButton(window, event.xbutton.x, event.xbutton.y, event.type == ButtonPress);
                }
                break;
            default: break;
            }
        }
        if (connectionLost_) ReportAllGone(sink);
    }

    SIZE ScreenSize() const override {
        int screen = DefaultScreen(display_);
        return SIZE{DisplayWidth(display_, screen), DisplayHeight(display_, screen)};
    }

    void Forget(::Window xWindow) {
        windows_.erase(xWindow);
        gone_.erase(xWindow);
    }
    bool IsGone(::Window xWindow) const { return connectionLost_ || gone_.count(xWindow) > 0; }
    bool Owns(XID resource) const { return windows_.count(resource) > 0; }
    bool ConnectionLost() const { return connectionLost_; }
    // Destroying a cairo-xlib surface flushes it, which waits forever on a dead
    // connection; the surface is kept instead, for the little time the process has left.
    void Abandon(cairo_surface_t* surface) { abandonedSurfaces_.push_back(surface); }
    Display* display() const { return display_; }
    Atom netWmName() const { return netWmName_; }
    Atom utf8String() const { return utf8String_; }

    static unsigned Positive(int size) { return size > 0 ? static_cast<unsigned>(size) : 1u; }

private:
    void SetDesktopProperties(::Window xWindow);
    void WatchConnection();
    void ReportGone(EventSink& sink, ::Window xWindow);
    void ReportAllGone(EventSink& sink);
    static void NoteConnectionLost(Display* display, void* backend);

    Display* display_;
    Atom wmProtocols_, wmDeleteWindow_, netWmName_, utf8String_;
    std::map<::Window, HWND> windows_;
    std::set<::Window> gone_;  // destroyed by another client, HWND not yet destroyed
    bool connectionLost_ = false;
    std::vector<cairo_surface_t*> abandonedSurfaces_;
};

// What desktops match a window by: WM_CLASS (the .desktop file's StartupWMClass), the
// process and host it belongs to, and the icon for task bars and window switchers.
void X11Backend::SetDesktopProperties(::Window xWindow) {
    char instanceName[] = "sessionvol", className[] = "Sessionvol";
    XClassHint classHint{instanceName, className};
    XSetClassHint(display_, xWindow, &classHint);

    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        char* hosts[] = {host};
        XTextProperty machine;
        if (XStringListToTextProperty(hosts, 1, &machine)) {
            XSetWMClientMachine(display_, xWindow, &machine);
            XFree(machine.value);
        }
    }

    long pid = static_cast<long>(getpid());
    XChangeProperty(display_, xWindow, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);

    static const std::vector<long> icon = NetWmIcon();
    if (!icon.empty()) {
        XChangeProperty(display_, xWindow, XInternAtom(display_, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(icon.data()), static_cast<int>(icon.size()));
    }
}

// Requests already on their way when another client destroyed a window fail
// (BadWindow, BadDrawable, a picture the server freed with the window), often before
// its DestroyNotify is read. Xlib's default handler would end the process with exit
// code 1 instead of letting the program end through WM_DESTROY, so a protocol error is
// not fatal here. Those that a lost window explains are expected and dropped; any
// other is written to standard error.
int ReportProtocolError(Display* display, XErrorEvent* error) {
    if (anyWindowGone.load()) return 0;
    const X11Backend* backend = backendForErrors.load();
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) && backend != nullptr &&
        backend->Owns(error->resourceid))
        return 0;
    char text[160] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "x11: %s (request %d.%d, resource 0x%lx)\n", text, error->request_code, error->minor_code,
                 error->resourceid);
    return 0;
}

// Xlib's IO error handler must not return unless the display has an exit handler
// (libX11 1.8), which Xlib calls after it instead of exit(). This backend's display
// has one: when it returns, the display answers every further call without doing
// anything, and the windows are reported gone. Other displays keep the default exit.
int ReportConnectionLost(Display* display) {
    std::fprintf(stderr, "x11: lost the connection to display %s\n", DisplayString(display));
    return 0;
}

void X11Backend::NoteConnectionLost(Display*, void* backend) {
    anyWindowGone.store(true);
    static_cast<X11Backend*>(backend)->connectionLost_ = true;
}

void X11Backend::WatchConnection() {
    backendForErrors.store(this);
    XSetErrorHandler(ReportProtocolError);
    XSetIOErrorHandler(ReportConnectionLost);
    XSetIOErrorExitHandler(display_, NoteConnectionLost, this);
}

void X11Backend::ReportGone(EventSink& sink, ::Window xWindow) {
    auto found = windows_.find(xWindow);
    if (found == windows_.end() || !gone_.insert(xWindow).second) return;
    anyWindowGone.store(true);
    sink.OnWindowDestroyed(found->second);
}

void X11Backend::ReportAllGone(EventSink& sink) {
    std::vector<::Window> remaining;
    for (const auto& [xWindow, window] : windows_) remaining.push_back(xWindow);
    for (::Window xWindow : remaining) ReportGone(sink, xWindow);
}

X11Window::X11Window(X11Backend& backend, ::Window xWindow, int width, int height) : backend_(backend), xWindow_(xWindow) {
    Display* display = backend_.display();
    int screen = DefaultScreen(display);
    surface_ = cairo_xlib_surface_create(display, xWindow_, DefaultVisual(display, screen), X11Backend::Positive(width),
                                         X11Backend::Positive(height));
}

X11Window::~X11Window() {
    const bool gone = Gone();
    if (backend_.ConnectionLost()) {
        backend_.Abandon(surface_);
    } else {
        cairo_surface_destroy(surface_);
    }
    backend_.Forget(xWindow_);
    if (gone) return;
    XDestroyWindow(backend_.display(), xWindow_);
    XFlush(backend_.display());
}

bool X11Window::Gone() const { return backend_.IsGone(xWindow_); }

bool X11Window::WantsFrames() const { return !Gone(); }

void X11Window::SetTitle(const std::string& utf8Title) {
    if (Gone()) return;
    Display* display = backend_.display();
    // WM_NAME is Latin-1 by definition; the UTF-8 property is what current window
    // managers show. Setting both keeps old and new ones right for ASCII titles.
    XStoreName(display, xWindow_, utf8Title.c_str());
    XChangeProperty(display, xWindow_, backend_.netWmName(), backend_.utf8String(), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8Title.data()), static_cast<int>(utf8Title.size()));
    XFlush(display);
}

void X11Window::Show(bool visible) {
    if (Gone()) return;
    Display* display = backend_.display();
    if (visible) {
        XMapWindow(display, xWindow_);
    } else {
        XUnmapWindow(display, xWindow_);
    }
    XSync(display, False);
}

void X11Window::Resize(int clientWidth, int clientHeight) {
    if (Gone()) return;
    unsigned width = X11Backend::Positive(clientWidth), height = X11Backend::Positive(clientHeight);
    XResizeWindow(backend_.display(), xWindow_, width, height);
    cairo_xlib_surface_set_size(surface_, static_cast<int>(width), static_cast<int>(height));
    XFlush(backend_.display());
}

void X11Window::Present(cairo_surface_t* clientImage) {
    if (Gone()) return;
    cairo_xlib_surface_set_size(surface_, cairo_image_surface_get_width(clientImage), cairo_image_surface_get_height(clientImage));
    cairo_t* cr = cairo_create(surface_);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, clientImage, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
    XFlush(backend_.display());
}

std::unique_ptr<Backend> CreateX11(std::string& whyNot) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        whyNot = "DISPLAY is not set";
        return nullptr;
    }
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        whyNot = std::string("cannot open display ") + name;
        return nullptr;
    }
    return std::make_unique<X11Backend>(display);
}

}  // namespace

const BackendEntry X11BackendEntry = {"x11", "windows on the X display named by DISPLAY", CreateX11};

}  // namespace platform::video
