// Real windows on an X display. Each top-level window is one X window the size of the
// client area; the window manager draws the real frame around it. Frames are copied
// from the window manager's image surfaces through cairo-xlib.
#include "video/video.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <cstdlib>
#include <map>

namespace platform::video {
namespace {

class X11Backend;

class X11Window final : public Window {
public:
    X11Window(X11Backend& backend, HWND window, ::Window xWindow, int width, int height);
    ~X11Window() override;

    void SetTitle(const std::string& utf8Title) override;
    void Show(bool visible) override;
    void Resize(int clientWidth, int clientHeight) override;
    bool WantsFrames() const override { return true; }
    void Present(cairo_surface_t* clientImage) override;

private:
    X11Backend& backend_;
    [[maybe_unused]] HWND window_;  // for debugging: the window this shows
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
    }
    ~X11Backend() override { XCloseDisplay(display_); }

    std::unique_ptr<Window> CreateWindow(HWND window, int clientWidth, int clientHeight) override {
        int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = WhitePixel(display_, screen);
        attributes.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask;
        ::Window xWindow =
            XCreateWindow(display_, RootWindow(display_, screen), 0, 0, Positive(clientWidth), Positive(clientHeight), 0,
                          CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        XSetWMProtocols(display_, xWindow, &wmDeleteWindow_, 1);
        windows_[xWindow] = window;
        return std::make_unique<X11Window>(*this, window, xWindow, clientWidth, clientHeight);
    }

    int EventDescriptor() const override {
        XFlush(display_);
        return ConnectionNumber(display_);
    }

    void DispatchEvents(EventSink& sink) override {
        XFlush(display_);
        while (XPending(display_) > 0) {
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
    }

    SIZE ScreenSize() const override {
        int screen = DefaultScreen(display_);
        return SIZE{DisplayWidth(display_, screen), DisplayHeight(display_, screen)};
    }

    void Forget(::Window xWindow) { windows_.erase(xWindow); }
    Display* display() const { return display_; }
    Atom netWmName() const { return netWmName_; }
    Atom utf8String() const { return utf8String_; }

    static unsigned Positive(int size) { return size > 0 ? static_cast<unsigned>(size) : 1u; }

private:
    Display* display_;
    Atom wmProtocols_, wmDeleteWindow_, netWmName_, utf8String_;
    std::map<::Window, HWND> windows_;
};

X11Window::X11Window(X11Backend& backend, HWND window, ::Window xWindow, int width, int height)
    : backend_(backend), window_(window), xWindow_(xWindow) {
    Display* display = backend_.display();
    int screen = DefaultScreen(display);
    surface_ = cairo_xlib_surface_create(display, xWindow_, DefaultVisual(display, screen), X11Backend::Positive(width),
                                         X11Backend::Positive(height));
}

X11Window::~X11Window() {
    cairo_surface_destroy(surface_);
    backend_.Forget(xWindow_);
    XDestroyWindow(backend_.display(), xWindow_);
    XFlush(backend_.display());
}

void X11Window::SetTitle(const std::string& utf8Title) {
    Display* display = backend_.display();
    // WM_NAME is Latin-1 by definition; the UTF-8 property is what current window
    // managers show. Setting both keeps old and new ones right for ASCII titles.
    XStoreName(display, xWindow_, utf8Title.c_str());
    XChangeProperty(display, xWindow_, backend_.netWmName(), backend_.utf8String(), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8Title.data()), static_cast<int>(utf8Title.size()));
    XFlush(display);
}

void X11Window::Show(bool visible) {
    Display* display = backend_.display();
    if (visible) {
        XMapWindow(display, xWindow_);
    } else {
        XUnmapWindow(display, xWindow_);
    }
    XSync(display, False);
}

void X11Window::Resize(int clientWidth, int clientHeight) {
    unsigned width = X11Backend::Positive(clientWidth), height = X11Backend::Positive(clientHeight);
    XResizeWindow(backend_.display(), xWindow_, width, height);
    cairo_xlib_surface_set_size(surface_, static_cast<int>(width), static_cast<int>(height));
    XFlush(backend_.display());
}

void X11Window::Present(cairo_surface_t* clientImage) {
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
