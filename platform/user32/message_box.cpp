// Message boxes. There is no one to click a box on Linux: the caption and text go to
// standard error as one line and the box answers IDOK at once.
#include <cstdio>
#include <string>

#include "window_state.h"

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    std::string caption = lpCaption ? lpCaption : "Error";  // Windows' caption when none is given
    std::string text = lpText ? lpText : "";
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return IDOK;
}
