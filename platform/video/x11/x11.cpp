// Real windows on an X display. Each top-level window is one X window the size of the
// client area; the window manager draws the real frame around it. Frames are copied
// from the window manager's image surfaces: with XPutImage, rectangle by rectangle,
// where the server takes the surfaces' pixel layout as it is (any 24-bit true-colour
// display), else through cairo-xlib.
//
// An idle program must not talk to the server: events are read only when the
// connection is readable, or when a call of ours may have left some in Xlib's queue
// (a reply read on the way), and the output buffer is flushed only after drawing.
// A window is mapped with its first frame, so the first thing on screen is complete.
#include "video/video.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <winuser.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

namespace platform::video {
namespace {

class X11Backend;

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
    X11Window(X11Backend& backend, HWND window, ::Window xWindow, int width, int height);
    ~X11Window() override;

    void SetTitle(const std::string& utf8Title) override;
    void Show(bool visible) override;
    void Resize(int clientWidth, int clientHeight) override;
    bool WantsFrames() const override { return true; }
    void Present(cairo_surface_t* image, POINT imageOrigin, const cairo_region_t* area) override;
    void Map();

private:
    X11Backend& backend_;
    HWND window_;
    ::Window xWindow_;
    cairo_surface_t* surface_ = nullptr;  // only where XPutImage cannot take our pixels
    bool mapWanted_ = false;
};

class X11Backend final : public Backend {
public:
    explicit X11Backend(Display* display) : display_(display) {
        wmProtocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
        wmDeleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        netWmName_ = XInternAtom(display_, "_NET_WM_NAME", False);
        utf8String_ = XInternAtom(display_, "UTF8_STRING", False);
        putsImages_ = TakesCairoPixels(display_);
    }
    ~X11Backend() override { XCloseDisplay(display_); }

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
        windows_[xWindow] = window;
        return std::make_unique<X11Window>(*this, window, xWindow, clientWidth, clientHeight);
    }

    int EventDescriptor() const override { return ConnectionNumber(display_); }

    void DispatchEvents(EventSink& sink, bool descriptorReadable) override {
        if (descriptorReadable || mayHoldEvents_) {
            mayHoldEvents_ = false;
            XEventsQueued(display_, QueuedAfterReading);
        }
        // Only what Xlib already holds: XPending or XNextEvent on an empty queue would
        // read (or wait on) the connection.
        while (XQLength(display_) > 0) {
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
            case KeyPress:
            case KeyRelease:
                DeliverKey(sink, window, event.xkey);
                mayHoldEvents_ = true;  // the first lookup fetches the keyboard map: a round trip
                break;
            default: break;
            }
        }
    }

    bool PrepareToWait() override {
        if (!awaitingMap_.empty()) {
            // Shown but never presented: mapped now, and drawn when its expose arrives.
            std::set<X11Window*> waiting;
            waiting.swap(awaitingMap_);
            for (X11Window* window : waiting) window->Map();
            XFlush(display_);
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

    void Forget(::Window xWindow) { windows_.erase(xWindow); }
    // After any call that may have read from the connection (a round trip, or cairo's).
    void MayHoldEvents() { mayHoldEvents_ = true; }
    void AwaitMap(X11Window* window, bool waiting) {
        if (waiting) {
            awaitingMap_.insert(window);
        } else {
            awaitingMap_.erase(window);
        }
    }
    bool putsImages() const { return putsImages_; }
    Display* display() const { return display_; }
    Atom netWmName() const { return netWmName_; }
    Atom utf8String() const { return utf8String_; }

    static unsigned Positive(int size) { return size > 0 ? static_cast<unsigned>(size) : 1u; }

private:
    // Whether the default visual stores a pixel as cairo's RGB24 does: 32 bits holding
    // 0x00RRGGBB.
    static bool TakesCairoPixels(Display* display) {
        int screen = DefaultScreen(display);
        const Visual* visual = DefaultVisual(display, screen);
        if (DefaultDepth(display, screen) != 24 || visual->c_class != TrueColor || visual->red_mask != 0xFF0000 ||
            visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF) {
            return false;
        }
        int count = 0;
        XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
        bool fits = false;
        for (int i = 0; i < count; ++i) {
            if (formats[i].depth == 24) fits = formats[i].bits_per_pixel == 32;
        }
        if (formats) XFree(formats);
        return fits;
    }

    Display* display_;
    Atom wmProtocols_, wmDeleteWindow_, netWmName_, utf8String_;
    std::map<::Window, HWND> windows_;
    std::set<X11Window*> awaitingMap_;
    bool mayHoldEvents_ = true;
    bool putsImages_ = false;
};

X11Window::X11Window(X11Backend& backend, HWND window, ::Window xWindow, int width, int height)
    : backend_(backend), window_(window), xWindow_(xWindow) {
    Display* display = backend_.display();
    int screen = DefaultScreen(display);
    if (!backend_.putsImages()) {
        surface_ = cairo_xlib_surface_create(display, xWindow_, DefaultVisual(display, screen), X11Backend::Positive(width),
                                             X11Backend::Positive(height));
    }
}

X11Window::~X11Window() {
    if (surface_) cairo_surface_destroy(surface_);
    backend_.AwaitMap(this, false);
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
        // Mapped with the first frame (or before the thread next sleeps).
        mapWanted_ = true;
        backend_.AwaitMap(this, true);
        return;
    }
    mapWanted_ = false;
    backend_.AwaitMap(this, false);
    XUnmapWindow(display, xWindow_);
    XFlush(display);
}

void X11Window::Map() {
    if (!mapWanted_) return;
    mapWanted_ = false;
    backend_.AwaitMap(this, false);
    XMapWindow(backend_.display(), xWindow_);
}

void X11Window::Resize(int clientWidth, int clientHeight) {
    unsigned width = X11Backend::Positive(clientWidth), height = X11Backend::Positive(clientHeight);
    XResizeWindow(backend_.display(), xWindow_, width, height);
    if (surface_) cairo_xlib_surface_set_size(surface_, static_cast<int>(width), static_cast<int>(height));
    XFlush(backend_.display());
}

void X11Window::Present(cairo_surface_t* image, POINT imageOrigin, const cairo_region_t* area) {
    Display* display = backend_.display();
    // The server draws requests in order: mapping first and then drawing shows the
    // window with its frame already in it.
    Map();
    const int rectangles = cairo_region_num_rectangles(area);
    if (surface_) {
        cairo_t* cr = cairo_create(surface_);
        for (int i = 0; i < rectangles; ++i) {
            cairo_rectangle_int_t part;
            cairo_region_get_rectangle(area, i, &part);
            cairo_rectangle(cr, part.x, part.y, part.width, part.height);
        }
        cairo_clip(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, image, imageOrigin.x, imageOrigin.y);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface_);
        backend_.MayHoldEvents();
    } else {
        XImage pixels{};
        pixels.width = cairo_image_surface_get_width(image);
        pixels.height = cairo_image_surface_get_height(image);
        pixels.format = ZPixmap;
        pixels.data = reinterpret_cast<char*>(cairo_image_surface_get_data(image));
        pixels.byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
        pixels.bitmap_unit = 32;
        pixels.bitmap_bit_order = pixels.byte_order;
        pixels.bitmap_pad = 32;
        pixels.depth = 24;
        pixels.bytes_per_line = cairo_image_surface_get_stride(image);
        pixels.bits_per_pixel = 32;
        pixels.red_mask = 0xFF0000;
        pixels.green_mask = 0xFF00;
        pixels.blue_mask = 0xFF;
        XInitImage(&pixels);
        GC gc = DefaultGC(display, DefaultScreen(display));
        for (int i = 0; i < rectangles; ++i) {
            cairo_rectangle_int_t part;
            cairo_region_get_rectangle(area, i, &part);
            int x = std::max(part.x, 0), y = std::max(part.y, 0);
            // The server clips to the window; the image must cover what is sent.
            int right = std::min(part.x + part.width, imageOrigin.x + pixels.width);
            int bottom = std::min(part.y + part.height, imageOrigin.y + pixels.height);
            if (right <= x || bottom <= y || x < imageOrigin.x || y < imageOrigin.y) continue;
            XPutImage(display, xWindow_, gc, &pixels, x - imageOrigin.x, y - imageOrigin.y, x, y, static_cast<unsigned>(right - x),
                      static_cast<unsigned>(bottom - y));
        }
    }
    XFlush(display);
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
