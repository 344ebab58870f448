// Finding a window on an X display by its name, for the tests and benchmarks that
// watch the program from another connection.
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
