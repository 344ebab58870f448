// Real windows on an X display. Each top-level window is one X window the size of the
// client area; the window manager draws the real frame around it. Frames are copied
// from the window manager's image surfaces with XPutImage, only the rectangles that
// changed. A window is mapped with its first frame, so the first thing on screen is
// complete.
//
// An idle program must not talk to the server: events are read only when the
// connection polled readable, or when a call of ours may have left some in Xlib's
// queue (a reply read on the way), and the output buffer is flushed only after drawing.
//
// A window that another client destroys, or every window when the connection to the
// X server is lost, is reported to the window manager as gone; it destroys the HWND as
// DestroyWindow does, so the program gets its WM_DESTROY and ends the way it always
// does. From then on nothing is drawn into or asked of that X window.
#include "video/video.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <sys/socket.h>
#include <unistd.h>
#include <winuser.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "video/x11/program_icon.h"

namespace platform::video {
namespace {

class X11Backend;

// An RGB24 pixel (0x00RRGGBB) in a true-colour visual's own layout.
unsigned long VisualPixel(const Visual& visual, uint32_t rgb) {
    auto place = [](unsigned long mask, uint32_t channel) -> unsigned long {
        if (mask == 0) return 0;
        const int shift = std::countr_zero(mask);
        const int bits = std::popcount(mask);
        const unsigned long value = bits >= 8 ? channel << (bits - 8) : channel >> (8 - bits);
        return (value << shift) & mask;
    };
    return place(visual.red_mask, rgb >> 16 & 0xFF) | place(visual.green_mask, rgb >> 8 & 0xFF) |
           place(visual.blue_mask, rgb & 0xFF);
}

// For the protocol error handler, which Xlib calls without a context of ours.
std::atomic<bool> anyWindowGone{false};
std::atomic<const X11Backend*> backendForErrors{nullptr};

// The Windows virtual-key code of a key, from its unshifted keysym; 0 for keys the
// window manager has no code for.
UINT VirtualKeyOf(KeySym symbol) {
    if (symbol >= XK_a && symbol <= XK_z) return static_cast<UINT>('A' + (symbol - XK_a));
    if (symbol >= XK_0 && symbol <= XK_9) return static_cast<UINT>('0' + (symbol - XK_0));
    if (symbol >= XK_F1 && symbol <= XK_F12) return static_cast<UINT>(VK_F1 + (symbol - XK_F1));
    switch (symbol) {
    case XK_space: return VK_SPACE;
    case XK_Return:
    case XK_KP_Enter: return VK_RETURN;
    case XK_Tab:
    case XK_ISO_Left_Tab: return VK_TAB;
    case XK_BackSpace: return VK_BACK;
    case XK_Escape: return VK_ESCAPE;
    case XK_Shift_L:
    case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R: return VK_MENU;
    case XK_Left: return VK_LEFT;
    case XK_Up: return VK_UP;
    case XK_Right: return VK_RIGHT;
    case XK_Down: return VK_DOWN;
    case XK_Prior: return VK_PRIOR;
    case XK_Next: return VK_NEXT;
    case XK_Home: return VK_HOME;
    case XK_End: return VK_END;
    case XK_Insert: return VK_INSERT;
    case XK_Delete: return VK_DELETE;
    default: return 0;
    }
}

class X11Window final : public Window {
public:
    X11Window(X11Backend& backend, ::Window xWindow);
    ~X11Window() override;

    void SetTitle(const std::string& utf8Title) override;
    void Show(bool visible) override;
    void Resize(int clientWidth, int clientHeight) override;
    bool WantsFrames() const override;
    void Present(std::span<const Layer> layers) override;
    void Map();

private:
    bool Gone() const;

    X11Backend& backend_;
    ::Window xWindow_;
    GC gc_;
    bool mapWanted_ = false;
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
        // A connection found closed is left alone: closing it would send requests
        // into it and run into Xlib's IO error path.
        if (!connectionLost_) XCloseDisplay(display_);
    }

    std::unique_ptr<Window> CreateWindow(HWND window, int clientWidth, int clientHeight) override {
        int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display_, screen);
        attributes.event_mask =
            ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask;
        ::Window xWindow =
            XCreateWindow(display_, RootWindow(display_, screen), 0, 0, Positive(clientWidth), Positive(clientHeight), 0,
                          CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        XSetWMProtocols(display_, xWindow, &wmDeleteWindow_, 1);
        SetDesktopProperties(xWindow);
        mayHoldEvents_ = true;  // the atoms' round trips
        windows_[xWindow] = window;
        return std::make_unique<X11Window>(*this, xWindow);
    }

    int EventDescriptor() const override { return connectionLost_ ? -1 : ConnectionNumber(display_); }

    void DispatchEvents(EventSink& sink, bool descriptorReadable) override {
        lastSink_ = &sink;
        // A server that went away makes the connection readable: only then is it worth
        // a look.
        if (!connectionLost_ && descriptorReadable && ServerHungUp()) NoteServerHungUp();
        if (!connectionLost_ && (descriptorReadable || mayHoldEvents_)) {
            mayHoldEvents_ = false;
            XEventsQueued(display_, QueuedAfterReading);
        }
        // Only what Xlib already holds: XPending or XNextEvent on an empty queue would
        // read (or wait on) the connection.
        while (!connectionLost_ && XQLength(display_) > 0) {
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
            case KeyPress:
            case KeyRelease:
                DeliverKey(sink, window, event.xkey);
                mayHoldEvents_ = true;  // the first lookup fetches the keyboard map: a round trip
                break;
            default: break;
            }
        }
        if (connectionLost_) ReportAllGone(sink);
    }

    bool PrepareToWait() override {
        if (connectionLost_) return false;
        if (!awaitingMap_.empty()) {
            // Shown but never presented: mapped now, and drawn when its expose arrives.
            std::set<X11Window*> waiting;
            waiting.swap(awaitingMap_);
            for (X11Window* window : waiting) window->Map();
            XFlush(display_);
            mayHoldEvents_ = true;
        }
        return mayHoldEvents_ || XQLength(display_) > 0;
    }

    SIZE ScreenSize() const override {
        int screen = DefaultScreen(display_);
        return SIZE{DisplayWidth(display_, screen), DisplayHeight(display_, screen)};
    }

    // Alt is Mod1 in the X servers and layouts in use; Alt's own press and release
    // count as Alt held, as Windows reports them.
    static void DeliverKey(EventSink& sink, HWND window, XKeyEvent& key) {
        const KeySym symbol = XLookupKeysym(&key, 0);
        const UINT virtualKey = VirtualKeyOf(symbol);
        if (virtualKey == 0) return;
        const bool pressed = key.type == KeyPress;
        const bool altDown = (key.state & Mod1Mask) != 0 || virtualKey == VK_MENU;
        char typed[8] = {};
        KeySym typedSymbol;
        const int length = XLookupString(&key, typed, sizeof typed, &typedSymbol, nullptr);
        // XLookupString gives Latin-1, the Western code page's first 256 characters.
        const unsigned char character = length == 1 ? static_cast<unsigned char>(typed[0]) : 0;
        sink.OnKey(window, virtualKey, pressed, altDown, character);
    }

    void Forget(::Window xWindow) {
        windows_.erase(xWindow);
        gone_.erase(xWindow);
    }
    bool IsGone(::Window xWindow) const { return connectionLost_ || gone_.count(xWindow) > 0; }
    bool Owns(XID resource) const { return windows_.count(resource) > 0; }
    // mayWiden: the image may be sent over the bounding box of area, because nothing
    // else is drawn there in the same frame.
    void PutImage(::Window xWindow, GC gc, const Layer& layer, bool mayWiden);
    // After any call that may have read from the connection (a round trip).
    void MayHoldEvents() { mayHoldEvents_ = true; }
    void AwaitMap(X11Window* window, bool waiting) {
        if (waiting) {
            awaitingMap_.insert(window);
        } else {
            awaitingMap_.erase(window);
        }
    }
    Display* display() const { return display_; }
    Atom netWmName() const { return netWmName_; }
    Atom utf8String() const { return utf8String_; }

    static unsigned Positive(int size) { return size > 0 ? static_cast<unsigned>(size) : 1u; }

private:
    void SetDesktopProperties(::Window xWindow);
    void WatchConnection();
    void ReportGone(EventSink& sink, ::Window xWindow);
    void ReportAllGone(EventSink& sink);
    bool ServerHungUp() const;
    void NoteServerHungUp();
    [[noreturn]] static void EndAfterConnectionLost(Display* display, void* backend);

    Display* display_;
    Atom wmProtocols_, wmDeleteWindow_, netWmName_, utf8String_;
    std::map<::Window, HWND> windows_;
    std::set<::Window> gone_;  // destroyed by another client, HWND not yet destroyed
    bool connectionLost_ = false;
    EventSink* lastSink_ = nullptr;
    std::set<X11Window*> awaitingMap_;
    bool mayHoldEvents_ = true;  // the atoms' round trips at start
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
// (BadWindow, BadDrawable), often before its DestroyNotify is read. Xlib's default
// handler would end the process with exit code 1 instead of letting the program end
// through WM_DESTROY, so a protocol error is not fatal here. Those that a lost window
// explains are expected and dropped; any other is written to standard error.
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

// A lost connection is found in one of two places. Usually the program waits in
// poll() when the server goes away; the connection then reads as closed before Xlib
// touches it, and the windows are reported gone like destroyed ones: the program gets
// WM_DESTROY and WinMain returns 0.
bool X11Backend::ServerHungUp() const {
    char byte;
    const ssize_t peeked = recv(ConnectionNumber(display_), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void X11Backend::NoteServerHungUp() {
    std::fprintf(stderr, "x11: lost the connection to display %s\n", DisplayString(display_));
    anyWindowGone.store(true);
    connectionLost_ = true;
}

// Or Xlib finds it inside one of its calls and calls its IO error handler, then the
// display's exit handler. Neither may return: Xlib would go on with its display lock
// already released (libX11 1.8.4). So the program is ended from here the way it ends:
// its windows are destroyed, it gets WM_DESTROY and releases its session, and the
// process exits with the program's exit code, 0.
int ReportConnectionLost(Display* display) {
    std::fprintf(stderr, "x11: lost the connection to display %s\n", DisplayString(display));
    return 0;
}

void X11Backend::EndAfterConnectionLost(Display*, void* data) {
    auto* backend = static_cast<X11Backend*>(data);
    anyWindowGone.store(true);
    backend->connectionLost_ = true;
    if (backend->lastSink_ != nullptr) backend->ReportAllGone(*backend->lastSink_);
    std::exit(0);
}

void X11Backend::WatchConnection() {
    backendForErrors.store(this);
    XSetErrorHandler(ReportProtocolError);
    XSetIOErrorHandler(ReportConnectionLost);
    XSetIOErrorExitHandler(display_, EndAfterConnectionLost, this);
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

X11Window::X11Window(X11Backend& backend, ::Window xWindow)
    : backend_(backend), xWindow_(xWindow), gc_(XCreateGC(backend.display(), xWindow, 0, nullptr)) {}

X11Window::~X11Window() {
    const bool gone = Gone();
    backend_.AwaitMap(this, false);
    backend_.Forget(xWindow_);
    XFreeGC(backend_.display(), gc_);  // on a lost connection this only frees memory
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
    backend_.MayHoldEvents();
}

void X11Window::Show(bool visible) {
    if (Gone()) return;
    if (visible) {
        // Mapped with the first frame (or before the thread next sleeps).
        mapWanted_ = true;
        backend_.AwaitMap(this, true);
        return;
    }
    mapWanted_ = false;
    backend_.AwaitMap(this, false);
    XUnmapWindow(backend_.display(), xWindow_);
    XFlush(backend_.display());
    backend_.MayHoldEvents();
}

void X11Window::Map() {
    if (!mapWanted_ || Gone()) return;
    mapWanted_ = false;
    backend_.AwaitMap(this, false);
    XMapWindow(backend_.display(), xWindow_);
}

void X11Window::Resize(int clientWidth, int clientHeight) {
    if (Gone()) return;
    unsigned width = X11Backend::Positive(clientWidth), height = X11Backend::Positive(clientHeight);
    XResizeWindow(backend_.display(), xWindow_, width, height);
    XFlush(backend_.display());
    backend_.MayHoldEvents();
}

void X11Window::Present(std::span<const Layer> layers) {
    if (Gone()) return;
    // The server draws requests in order: mapping first and then drawing shows the
    // window with its frame already in it.
    Map();
    for (const Layer& layer : layers) {
        cairo_rectangle_int_t extents;
        cairo_region_get_extents(layer.area, &extents);
        bool mayWiden = true;
        for (const Layer& other : layers) {
            if (&other != &layer && cairo_region_contains_rectangle(other.area, &extents) != CAIRO_REGION_OVERLAP_OUT)
                mayWiden = false;
        }
        cairo_surface_flush(layer.image);
        backend_.PutImage(xWindow_, gc_, layer, mayWiden);
    }
    XFlush(backend_.display());
    // A frame larger than the socket's buffer makes the library wait until it can
    // write, reading whatever arrives meanwhile into its own queue: the connection
    // then no longer polls readable although events wait.
    backend_.MayHoldEvents();
}

// Plain XPutImage rather than cairo-xlib: cairo's shared-memory path waits for the
// server to have read each image, which a server that has gone away never does, so a
// lost connection in the middle of a frame would hang the program. Xlib itself turns
// every call on a lost connection into nothing.
void X11Backend::PutImage(::Window xWindow, GC gc, const Layer& layer, bool mayWiden) {
    cairo_surface_t* image = layer.image;
    const POINT imageOrigin = layer.origin;
    const cairo_region_t* area = layer.area;
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    unsigned char* pixels = cairo_image_surface_get_data(image);
    if (pixels == nullptr || width <= 0 || height <= 0) return;
    const int screen = DefaultScreen(display_);
    Visual* visual = DefaultVisual(display_, screen);
    const int depth = DefaultDepth(display_, screen);
    XImage* frame = XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 32, 0);
    if (frame == nullptr) return;
    const bool sameLayout =
        frame->bits_per_pixel == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
    if (sameLayout) {
        // cairo's pixels are 32-bit words in this machine's byte order; Xlib swaps
        // them for a server of the other order.
        frame->data = reinterpret_cast<char*>(pixels);
        frame->bytes_per_line = stride;
        frame->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    } else {
        // Any other true-colour layout (a 16-bit display, say): pixel by pixel.
        frame->data = static_cast<char*>(std::malloc(static_cast<size_t>(frame->bytes_per_line) * static_cast<size_t>(height)));
        if (frame->data == nullptr) {
            XDestroyImage(frame);
            return;
        }
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < width; ++x) XPutPixel(frame, x, y, VisualPixel(*visual, row[x]));
        }
    }
    // Only the rectangles asked for; the server clips to the window, the image must
    // cover what is sent. An image too big for Xlib's buffer costs a write of its own,
    // far more than sending the pixels between nearby rectangles, so rectangles that
    // fill most of their bounding box (the boxes of a row, say) go as that one box.
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(area, &extents);
    int64_t covered = 0;
    for (int i = 0; i < cairo_region_num_rectangles(area); ++i) {
        cairo_rectangle_int_t part;
        cairo_region_get_rectangle(area, i, &part);
        covered += static_cast<int64_t>(part.width) * part.height;
    }
    const bool asOne = mayWiden && 2 * covered >= static_cast<int64_t>(extents.width) * extents.height;
    const int parts = asOne ? 1 : cairo_region_num_rectangles(area);
    for (int i = 0; i < parts; ++i) {
        cairo_rectangle_int_t part = extents;
        if (!asOne) cairo_region_get_rectangle(area, i, &part);
        const int left = std::max(part.x, static_cast<int>(imageOrigin.x)), top = std::max(part.y, static_cast<int>(imageOrigin.y));
        const int right = std::min(part.x + part.width, static_cast<int>(imageOrigin.x) + width);
        const int bottom = std::min(part.y + part.height, static_cast<int>(imageOrigin.y) + height);
        if (right <= left || bottom <= top) continue;
        XPutImage(display_, xWindow, gc, frame, left - imageOrigin.x, top - imageOrigin.y, left, top,
                  static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
    }
    if (sameLayout) frame->data = nullptr;  // cairo's, not Xlib's to free
    XDestroyImage(frame);
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
