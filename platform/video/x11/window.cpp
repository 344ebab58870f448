// A top-level window on the X display: creation, title, showing, size and frames.
// Every call reaches the display through the connection's Request.
#include "x11/window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "x11/connection.h"
#include "x11/frame_upload.h"
#include "x11/program_icon.h"

namespace platform::video::x11 {
namespace {

unsigned Positive(int size) { return size > 0 ? static_cast<unsigned>(size) : 1u; }

// A logical client size as the X window's size in device pixels.
unsigned DeviceSize(int logical, double scale) { return Positive(base::DeviceEnd(logical, scale)); }

// What desktops match a window by: WM_CLASS (the .desktop file's StartupWMClass), the
// process and host it belongs to, and the icon for task bars and window switchers.
void SetDesktopProperties(Display* display, ::Window xWindow) {
    char instanceName[] = "sessionvol", className[] = "Sessionvol";
    XClassHint classHint{instanceName, className};
    XSetClassHint(display, xWindow, &classHint);

    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        char* hosts[] = {host};
        XTextProperty machine;
        if (XStringListToTextProperty(hosts, 1, &machine)) {
            XSetWMClientMachine(display, xWindow, &machine);
            XFree(machine.value);
        }
    }

    long pid = static_cast<long>(getpid());
    XChangeProperty(display, xWindow, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);

    static const std::vector<long> icon = NetWmIcon();
    if (!icon.empty()) {
        XChangeProperty(display, xWindow, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(icon.data()), static_cast<int>(icon.size()));
    }
}

}  // namespace

X11Window::X11Window(Connection& connection, int clientWidth, int clientHeight)
    : connection_(connection), width_(clientWidth), height_(clientHeight) {
    Atom deleteWindow = connection_.wmDeleteWindow();
    connection_.Request([&](Display* display) {
        const int screen = DefaultScreen(display);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display, screen);
        attributes.event_mask =
            ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask;
        xWindow_ = XCreateWindow(display, RootWindow(display, screen), 0, 0, DeviceSize(clientWidth, connection_.scale()),
                                 DeviceSize(clientHeight, connection_.scale()), 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWBackPixel | CWEventMask, &attributes);
        XSetWMProtocols(display, xWindow_, &deleteWindow, 1);
        SetDesktopProperties(display, xWindow_);
        gc_ = XCreateGC(display, xWindow_, 0, nullptr);
    });
}

X11Window::~X11Window() {
    const bool gone = Gone();
    connection_.AwaitMap(this, false);
    connection_.Forget(xWindow_);
    connection_.Request([&](Display* display) {
        XFreeGC(display, gc_);  // on a lost connection this only frees memory
        if (gone) return;
        XDestroyWindow(display, xWindow_);
        XFlush(display);
    });
}

bool X11Window::Gone() const { return connection_.IsGone(xWindow_); }

bool X11Window::WantsFrames() const { return !Gone(); }

void X11Window::SetTitle(const std::string& utf8Title) {
    if (Gone()) return;
    connection_.Request([&](Display* display) {
        // WM_NAME is Latin-1 by definition; the UTF-8 property is what current window
        // managers show. Setting both keeps old and new ones right for ASCII titles.
        XStoreName(display, xWindow_, utf8Title.c_str());
        XChangeProperty(display, xWindow_, connection_.netWmName(), connection_.utf8String(), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8Title.data()), static_cast<int>(utf8Title.size()));
        XFlush(display);
    });
}

void X11Window::Show(bool visible) {
    if (Gone()) return;
    if (visible) {
        // Mapped with the first frame (or before the thread next sleeps).
        mapWanted_ = true;
        connection_.AwaitMap(this, true);
        return;
    }
    mapWanted_ = false;
    connection_.AwaitMap(this, false);
    connection_.Request([&](Display* display) {
        XUnmapWindow(display, xWindow_);
        XFlush(display);
    });
}

void X11Window::Map(Display* display) {
    if (!mapWanted_ || Gone()) return;
    mapWanted_ = false;
    connection_.AwaitMap(this, false);
    XMapWindow(display, xWindow_);
}

void X11Window::Resize(int clientWidth, int clientHeight) {
    NoteClientSize(clientWidth, clientHeight);
    if (Gone()) return;
    connection_.Request([&](Display* display) {
        XResizeWindow(display, xWindow_, DeviceSize(clientWidth, connection_.scale()),
                      DeviceSize(clientHeight, connection_.scale()));
        XFlush(display);
    });
}

void X11Window::NoteClientSize(int clientWidth, int clientHeight) {
    width_ = clientWidth;
    height_ = clientHeight;
}

void X11Window::FollowScale() { Resize(width_, height_); }

void X11Window::Present(std::span<const Layer> layers) {
    if (Gone()) return;
    connection_.Request([&](Display* display) {
        // The server draws requests in order: mapping first and then drawing shows the
        // window with its frame already in it.
        Map(display);
        for (const Layer& layer : layers) UploadLayer(display, xWindow_, gc_, layer, connection_.scale());
        XFlush(display);
    });
}

}  // namespace platform::video::x11
