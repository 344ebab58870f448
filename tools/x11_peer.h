// What the tests, tools and benchmarks that watch the program from another X
// connection do to its window: find it by name, and ask it to close.
#pragma once

#include <X11/Xlib.h>

#include <string>

// The first window below parent, depth first, whose WM_NAME is accepted by
// accept(window, name); 0 when there is none.
template <typename Accept>
::Window FindNamedWindow(Display* display, ::Window parent, Accept accept) {
    ::Window root, grandparent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &grandparent, &children, &count)) return 0;
    ::Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (accept(children[i], std::string(name))) found = children[i];
            XFree(name);
        }
        if (!found) found = FindNamedWindow(display, children[i], accept);
    }
    if (children) XFree(children);
    return found;
}

// What a window manager sends when the user clicks the close button. False when the
// request could not be sent; it is flushed, not waited for.
inline bool SendDeleteWindow(Display* display, ::Window window) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    if (!XSendEvent(display, window, False, NoEventMask, &close)) return false;
    XFlush(display);
    return true;
}
