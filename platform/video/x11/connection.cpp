// Real windows on an X display: the connection, its events, the keyboard and the
// ways a window or the whole display goes away.
//
// A window that another client destroys, or every window when the connection to the
// X server is lost, is reported to the window manager as gone; it destroys the HWND as
// DestroyWindow does, so the program gets its WM_DESTROY and ends the way it always
// does. From then on nothing is drawn into or asked of that X window.
#include "x11/connection.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/socket.h>
#include <winuser.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "x11/window.h"

namespace platform::video::x11 {
namespace {

// For the protocol error handler, which Xlib calls without a context of ours.
std::atomic<const Connection*> connectionForErrors{nullptr};

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

// Requests already on their way when another client destroyed a window fail
// (BadWindow, BadDrawable), often before its DestroyNotify is read. Xlib's default
// handler would end the process with exit code 1 instead of letting the program end
// through WM_DESTROY, so a protocol error is not fatal here. Those that a window of
// ours explains are expected and dropped; any other is written to standard error.
int ReportProtocolError(Display* display, XErrorEvent* error) {
    const Connection* connection = connectionForErrors.load();
    if (connection != nullptr && connection->ExplainsError(*error)) return 0;
    char text[160] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "x11: %s (request %d.%d, resource 0x%lx)\n", text, error->request_code, error->minor_code,
                 error->resourceid);
    return 0;
}

// A lost connection is found in one of two places. Usually the program waits in
// poll() when the server goes away; the connection then reads as closed before Xlib
// touches it (ServerHungUp), and the windows are reported gone like destroyed ones:
// the program gets WM_DESTROY and WinMain returns 0.
//
// Or Xlib finds it inside one of its calls and calls its IO error handler, then the
// display's exit handler. Neither may return: Xlib would go on with its display lock
// already released (libX11 1.8.4). So the program is ended from there the way it ends:
// its windows are destroyed, it gets WM_DESTROY and releases its session, and the
// process exits with the program's exit code, 0.
int ReportConnectionLost(Display* display) {
    std::fprintf(stderr, "x11: lost the connection to display %s\n", DisplayString(display));
    return 0;
}

// A positive number and nothing else, or nothing.
std::optional<double> PositiveNumber(const char* text) {
    if (text == nullptr) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    while (end != text && (*end == ' ' || *end == '\t')) ++end;
    if (end == text || *end != '\0' || !(value > 0)) return std::nullopt;
    return value;
}

// The scale the desktop publishes is read the way toolkits read it. GDK_SCALE, where
// set, wins, as in GTK: a user's explicit choice for the session. Otherwise Xft.dpi in
// the display's resource database (what xrdb loads, and what GNOME, KDE and Xfce set
// from their scaling settings) over the 96 dpi of scale 1; fractional values stay
// fractional. Without either, scale 1.
std::optional<double> UserScale() {
    const char* gdkScale = std::getenv("GDK_SCALE");
    if (gdkScale == nullptr || *gdkScale == '\0') return std::nullopt;
    if (std::optional<double> scale = PositiveNumber(gdkScale)) return base::ClampScale(*scale);
    std::fprintf(stderr, "x11: GDK_SCALE=%s is not a number; ignored\n", gdkScale);
    return std::nullopt;
}

// resources: the text of the root window's RESOURCE_MANAGER property, or null.
double ResourceScale(const char* resources) {
    if (resources == nullptr || *resources == '\0') return 1.0;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    if (database == nullptr) return 1.0;
    double scale = 1.0;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
        const std::string dpi(value.addr, value.size > 0 && value.addr[value.size - 1] == '\0' ? value.size - 1 : value.size);
        if (std::optional<double> dots = PositiveNumber(dpi.c_str())) scale = base::ClampScale(*dots / 96.0);
    }
    XrmDestroyDatabase(database);
    return scale;
}

}  // namespace

Connection::Connection(Display* display)
    : display_(display),
      userScale_(UserScale()),
      scale_(userScale_ ? *userScale_ : ResourceScale(XResourceManagerString(display))) {
    // The desktop rewrites the root window's resources when its scale changes (xrdb
    // -merge does the same): the window follows, unless the user's GDK_SCALE holds it.
    if (!userScale_) XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
    // The server repeats a held key. By default it sends each repeat as a release and a
    // press, which the program would take as the key let go and struck again: Space
    // held on a focused button would click it at the repeat rate. Asked here, it sends
    // presses only, which become WM_KEYDOWN marked as repeats, as Windows sends them.
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(display_, True, &detectable);
    wmProtocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
    wmDeleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    netWmName_ = XInternAtom(display_, "_NET_WM_NAME", False);
    utf8String_ = XInternAtom(display_, "UTF8_STRING", False);
    WatchConnection();
}

Connection::~Connection() {
    const Connection* self = this;
    connectionForErrors.compare_exchange_strong(self, nullptr);
    // A connection found closed is left alone: closing it would send requests into it
    // and run into Xlib's IO error path.
    if (!connectionLost_) XCloseDisplay(display_);
}

std::unique_ptr<Window> Connection::CreateWindow(HWND window, int clientWidth, int clientHeight, EventSink& events) {
    auto created = std::make_unique<X11Window>(*this, clientWidth, clientHeight);
    windows_[created->id()] = Known{window, created.get()};
    gone_.erase(created->id());  // an id the server handed out again
    if (scale_ != 1.0) events.OnScaleChanged(window, scale_);
    return created;
}

int Connection::EventDescriptor() const { return connectionLost_ ? -1 : ConnectionNumber(display_); }

void Connection::DispatchEvents(EventSink& sink, bool descriptorReadable) {
    lastSink_ = &sink;
    // A server that went away makes the connection readable: only then is it worth a
    // look.
    if (!connectionLost_ && descriptorReadable && ServerHungUp()) NoteConnectionLost();
    if (!connectionLost_ && (descriptorReadable || mayHoldEvents_)) {
        mayHoldEvents_ = false;
        XEventsQueued(display_, QueuedAfterReading);
    }
    // Only what Xlib already holds: XPending or XNextEvent on an empty queue would
    // read (or wait on) the connection.
    bool resourcesChanged = false;
    while (!connectionLost_ && XQLength(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == PropertyNotify) {
            resourcesChanged |= event.xproperty.atom == XA_RESOURCE_MANAGER;
            continue;
        }
        auto found = windows_.find(event.xany.window);
        if (found == windows_.end()) continue;
        HWND window = found->second.handle;
        switch (event.type) {
        case Expose:
            // Every logical pixel the lost device pixels touch.
            sink.OnExpose(window, RECT{base::LogicalStart(event.xexpose.x, scale_), base::LogicalStart(event.xexpose.y, scale_),
                                       base::LogicalEnd(event.xexpose.x + event.xexpose.width, scale_),
                                       base::LogicalEnd(event.xexpose.y + event.xexpose.height, scale_)});
            break;
        case ConfigureNotify: {
            const int width = base::LogicalSize(event.xconfigure.width, scale_);
            const int height = base::LogicalSize(event.xconfigure.height, scale_);
            found->second.native->NoteClientSize(width, height);
            sink.OnClientResized(window, width, height);
            break;
        }
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
                sink.OnMouseButton(window, base::LogicalPoint(event.xbutton.x, scale_), base::LogicalPoint(event.xbutton.y, scale_),
                                   event.type == ButtonPress);
            }
            break;
        case KeyPress:
        case KeyRelease: DeliverKey(sink, window, event.xkey); break;
        default: break;
        }
    }
    if (resourcesChanged && !connectionLost_) FollowDesktopScale(sink);
    if (connectionLost_) ReportAllGone(sink);
}

// Read anew: Xlib keeps the text it got when the display was opened. Each window then
// becomes its logical size at the new scale and is drawn again at it, as a Wayland
// window that moves to an output of another scale.
void Connection::FollowDesktopScale(EventSink& sink) {
    std::string resources;
    Request([&](Display* display) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, remaining = 0;
        unsigned char* data = nullptr;
        // Xlib's own limit for this property, in 32-bit units.
        if (XGetWindowProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, 0, 100000000L, False, XA_STRING, &type,
                               &format, &items, &remaining, &data) == Success &&
            data != nullptr) {
            if (format == 8) resources.assign(reinterpret_cast<const char*>(data), items);
            XFree(data);
        }
    });
    const double scale = ResourceScale(resources.c_str());
    if (scale == scale_) return;
    scale_ = scale;
    std::vector<::Window> shown;
    for (const auto& [xWindow, known] : windows_) {
        if (!IsGone(xWindow)) shown.push_back(xWindow);
    }
    for (::Window xWindow : shown) {
        auto found = windows_.find(xWindow);
        if (found == windows_.end() || IsGone(xWindow)) continue;
        const HWND window = found->second.handle;
        found->second.native->FollowScale();
        sink.OnScaleChanged(window, scale_);
    }
}

// Alt is Mod1 in the X servers and layouts in use; Alt's own press and release count
// as Alt held, as Windows reports them.
void Connection::DeliverKey(EventSink& sink, HWND window, XKeyEvent& key) {
    UINT virtualKey = 0;
    unsigned char character = 0;
    // The first lookup fetches the keyboard map: a round trip.
    Request([&](Display*) {
        virtualKey = VirtualKeyOf(XLookupKeysym(&key, 0));
        char typed[8] = {};
        KeySym typedSymbol;
        const int length = XLookupString(&key, typed, sizeof typed, &typedSymbol, nullptr);
        // XLookupString gives Latin-1, the Western code page's first 256 characters.
        if (length == 1) character = static_cast<unsigned char>(typed[0]);
    });
    if (virtualKey == 0) return;
    const bool altDown = (key.state & Mod1Mask) != 0 || virtualKey == VK_MENU;
    sink.OnKey(window, virtualKey, key.type == KeyPress, altDown, character);
}

bool Connection::PrepareToWait() {
    if (connectionLost_) return false;
    if (!awaitingMap_.empty()) {
        // Shown but never presented: mapped now, and drawn when its expose arrives.
        std::set<X11Window*> waiting;
        waiting.swap(awaitingMap_);
        Request([&](Display* display) {
            for (X11Window* window : waiting) window->Map(display);
            XFlush(display);
        });
    }
    return mayHoldEvents_ || XQLength(display_) > 0;
}

SIZE Connection::ScreenSize() const {
    int screen = DefaultScreen(display_);
    return SIZE{base::LogicalSize(DisplayWidth(display_, screen), scale_),
                base::LogicalSize(DisplayHeight(display_, screen), scale_)};
}

void Connection::AwaitMap(X11Window* window, bool waiting) {
    if (waiting) {
        awaitingMap_.insert(window);
    } else {
        awaitingMap_.erase(window);
    }
}

bool Connection::IsGone(::Window xWindow) const { return connectionLost_ || gone_.count(xWindow) > 0; }

void Connection::Forget(::Window xWindow) { windows_.erase(xWindow); }

bool Connection::ExplainsError(const XErrorEvent& error) const {
    if (error.error_code != BadWindow && error.error_code != BadDrawable) return false;
    return windows_.count(error.resourceid) > 0 || gone_.count(error.resourceid) > 0;
}

bool Connection::ServerHungUp() const {
    char byte;
    const ssize_t peeked = recv(ConnectionNumber(display_), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void Connection::NoteConnectionLost() {
    std::fprintf(stderr, "x11: lost the connection to display %s\n", DisplayString(display_));
    connectionLost_ = true;
}

void Connection::EndAfterConnectionLost(Display*, void* data) {
    auto* connection = static_cast<Connection*>(data);
    connection->connectionLost_ = true;
    if (connection->lastSink_ != nullptr) connection->ReportAllGone(*connection->lastSink_);
    std::exit(0);
}

void Connection::WatchConnection() {
    // Xlib writes to the connection with writev. A server that goes away between
    // libxcb's poll and its write raises SIGPIPE, whose default action ends the process
    // at once (exit status 141): no WM_DESTROY, no session given back. Ignored, the
    // write fails with EPIPE and the IO error path below ends the program the normal
    // way. A handler the process installed itself is left alone.
    struct sigaction brokenPipe {};
    if (sigaction(SIGPIPE, nullptr, &brokenPipe) == 0 && brokenPipe.sa_handler == SIG_DFL) {
        brokenPipe.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &brokenPipe, nullptr);
    }
    connectionForErrors.store(this);
    XSetErrorHandler(ReportProtocolError);
    XSetIOErrorHandler(ReportConnectionLost);
    XSetIOErrorExitHandler(display_, EndAfterConnectionLost, this);
}

void Connection::ReportGone(EventSink& sink, ::Window xWindow) {
    auto found = windows_.find(xWindow);
    if (found == windows_.end() || !gone_.insert(xWindow).second) return;
    sink.OnWindowDestroyed(found->second.handle);
}

void Connection::ReportAllGone(EventSink& sink) {
    std::vector<::Window> remaining;
    for (const auto& [xWindow, known] : windows_) remaining.push_back(xWindow);
    for (::Window xWindow : remaining) ReportGone(sink, xWindow);
}

namespace {

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
    return std::make_unique<Connection>(display);
}

}  // namespace
}  // namespace platform::video::x11

namespace platform::video {

const BackendEntry X11BackendEntry = {"x11", "windows on the X display named by DISPLAY", x11::CreateX11};

}  // namespace platform::video
