// x11-window: finds a top-level window by its title and closes it the way a window
// manager's close button does (WM_DELETE_WINDOW). Used by scripts/run and the X11
// smoke test, where no window manager runs.
//
//   x11-window wait TITLE [SECONDS]   prints the window's id once it is mapped
//   x11-window close ID               asks the window to close
//   x11-window wait-pixel TITLE X Y RRGGBB [SECONDS]
//                                     prints the wall-clock time (ns since the epoch)
//                                     at which the pixel at client (X, Y) took that colour
//   x11-window wait-change TITLE X Y WIDTH HEIGHT [SECONDS]
//                                     reads the area, prints "ready", then prints the
//                                     wall-clock time (ns) at which the area changed
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "x11_peer.h"

namespace {

std::string WindowTitle(Display* display, Window window) {
    Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, remaining;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count, &remaining, &data) ==
            Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

Window FindByTitle(Display* display, Window parent, const std::string& title) {
    Window root, parentOut, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            WindowTitle(display, children[i]) == title)
            found = children[i];
        else
            found = FindByTitle(display, children[i], title);
    }
    if (children != nullptr) XFree(children);
    return found;
}

int Wait(Display* display, const std::string& title, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Window window = FindByTitle(display, DefaultRootWindow(display), title)) {
            std::printf("0x%lx\n", window);
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "x11-window: no window titled \"%s\" within %.0f s\n", title.c_str(), seconds);
    return 1;
}

long long WallClockNs() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

int WaitPixel(Display* display, const std::string& title, int x, int y, unsigned long rgb, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    Window window = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (window == 0) window = FindByTitle(display, DefaultRootWindow(display), title);
        if (window != 0) {
            if (XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap)) {
                unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
                XDestroyImage(image);
                if (pixel == rgb) {
                    std::printf("%lld\n", WallClockNs());
                    return 0;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::fprintf(stderr, "x11-window: pixel (%d, %d) of \"%s\" never became %06lx\n", x, y, title.c_str(), rgb);
    return 1;
}

std::string ReadArea(Display* display, Window window, int x, int y, int width, int height) {
    std::string pixels;
    if (XImage* image =
            XGetImage(display, window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap)) {
        pixels.assign(image->data, static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height));
        XDestroyImage(image);
    }
    return pixels;
}

int WaitChange(Display* display, const std::string& title, int x, int y, int width, int height, double seconds) {
    Window window = FindByTitle(display, DefaultRootWindow(display), title);
    if (window == 0) {
        std::fprintf(stderr, "x11-window: no window titled \"%s\"\n", title.c_str());
        return 1;
    }
    const std::string before = ReadArea(display, window, x, y, width, height);
    std::printf("ready\n");
    std::fflush(stdout);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadArea(display, window, x, y, width, height) != before) {
            std::printf("%lld\n", WallClockNs());
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::fprintf(stderr, "x11-window: the area never changed\n");
    return 1;
}

int Close(Display* display, Window window) {
    if (!SendDeleteWindow(display, window)) return 1;
    XSync(display, False);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool waitPixel = argc >= 6 && std::strcmp(argv[1], "wait-pixel") == 0;
    const bool waitChange = argc >= 7 && std::strcmp(argv[1], "wait-change") == 0;
    if (!waitPixel && !waitChange && (argc < 3 || (std::strcmp(argv[1], "wait") != 0 && std::strcmp(argv[1], "close") != 0))) {
        std::fprintf(stderr,
                     "usage: x11-window wait TITLE [SECONDS] | close ID | wait-pixel TITLE X Y RRGGBB [SECONDS] | wait-change "
                     "TITLE X Y W H [SECONDS]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11-window: cannot open display \"%s\"\n", XDisplayName(nullptr));
        return 2;
    }
    // A failed request (a window that went away) must not end the tool.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    int status = waitChange  ? WaitChange(display, argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                                          std::atoi(argv[6]), argc > 7 ? std::atof(argv[7]) : 10.0)
                 : waitPixel ? WaitPixel(display, argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                                         std::strtoul(argv[5], nullptr, 16), argc > 6 ? std::atof(argv[6]) : 10.0)
                 : std::strcmp(argv[1], "wait") == 0 ? Wait(display, argv[2], argc > 3 ? std::atof(argv[3]) : 10.0)
                                                     : Close(display, std::strtoul(argv[2], nullptr, 0));
    XCloseDisplay(display);
    return status;
}
