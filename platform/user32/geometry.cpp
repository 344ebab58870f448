// Window geometry with Windows 10's metrics at 96 DPI.
//
// A top-level window's size is its outer size: a sizing frame of 8 pixels on the
// left, right and bottom (SM_CXFRAME 4 plus SM_CXPADDEDBORDER 4) and 31 on top (the
// same 8 plus a caption of SM_CYCAPTION 23). WS_OVERLAPPEDWINDOW at 800 x 400 has a
// client area of 784 x 361. On a real display the window manager draws its own frame;
// the sizes reported here stay these.
//
// As on Windows, a top-level window is never larger than the largest tracking size:
// the screen plus the sizing frame on each side. Without that bound a drag or a
// MoveWindow could ask for surfaces of gigabytes.
#include <algorithm>

#include "window_state.h"

namespace platform::user32 {
namespace {

constexpr int Caption = 23;
constexpr int SizingFrame = 4;
constexpr int PaddedBorder = 4;
constexpr int FixedFrame = 3;
constexpr POINT DefaultPosition = {26, 26};
constexpr SIZE DefaultScreen = {1920, 1080};

POINT ClientOriginOnScreen(const Window& window) {
    if (!window.parent) {
        RECT insets = FrameInsets(window.style);
        return POINT{window.rect.left + insets.left, window.rect.top + insets.top};
    }
    const Window* parent = FindWindow(window.parent);
    POINT origin = parent ? ClientOriginOnScreen(*parent) : POINT{0, 0};
    return POINT{origin.x + window.rect.left, origin.y + window.rect.top};
}

void InvalidateIfNotEmpty(Window& window, const RECT& area) {
    if (area.right > area.left && area.bottom > area.top) InvalidateClient(window, &area, true);
}

}  // namespace

RECT FrameInsets(DWORD style) {
    if (style & WS_CHILD) return RECT{0, 0, 0, 0};
    int side = 0;
    if (style & WS_THICKFRAME) {
        side = SizingFrame + PaddedBorder;
    } else if (style & WS_DLGFRAME) {
        side = FixedFrame;
    } else if (style & WS_BORDER) {
        side = 1;
    }
    int top = side + ((style & WS_CAPTION) == WS_CAPTION ? Caption : 0);
    return RECT{side, top, side, side};
}

POINT DefaultWindowPosition() { return DefaultPosition; }

SIZE MaxTrackSize() {
    video::Backend* backend = video::CurrentIfOpen();
    const SIZE screen = backend ? backend->ScreenSize() : DefaultScreen;
    constexpr int frame = SizingFrame + PaddedBorder;
    return SIZE{screen.cx + 2 * frame, screen.cy + 2 * frame};
}

RECT BoundToMaxTrack(DWORD style, RECT rect) {
    // The windows Windows bounds: overlapped ones, and popups with a sizing frame.
    const bool bounded = !(style & WS_CHILD) && ((style & WS_THICKFRAME) || !(style & WS_POPUP));
    if (!bounded) return rect;
    const SIZE max = MaxTrackSize();
    rect.right = rect.left + std::min<LONG>(rect.right - rect.left, max.cx);
    rect.bottom = rect.top + std::min<LONG>(rect.bottom - rect.top, max.cy);
    return rect;
}

bool IsShownOnScreen(const Window& window) {
    for (const Window* walk = &window; walk; walk = walk->parent ? FindWindow(walk->parent) : nullptr) {
        if (!walk->visible) return false;
    }
    return true;
}

void SetWindowGeometry(HWND handle, const RECT& requested, bool repaint, bool fromDisplay) {
    Window* window = FindWindow(handle);
    if (!window) return;
    const RECT rect = BoundToMaxTrack(window->style, requested);
    const bool clamped = rect.right != requested.right || rect.bottom != requested.bottom;
    const RECT oldRect = window->rect;
    const int oldWidth = window->clientWidth, oldHeight = window->clientHeight;
    RECT insets = FrameInsets(window->style);
    window->rect = rect;
    window->clientWidth = std::max(0, static_cast<int>(rect.right - rect.left - insets.left - insets.right));
    window->clientHeight = std::max(0, static_cast<int>(rect.bottom - rect.top - insets.top - insets.bottom));
    const int width = window->clientWidth, height = window->clientHeight;
    const bool moved = oldRect.left != rect.left || oldRect.top != rect.top;
    const bool resized = width != oldWidth || height != oldHeight;

    if (resized) ResizeSurface(*window);
    // A display that made the window larger than the bound is told the size it has.
    if (window->native && ((resized && !fromDisplay) || (clamped && fromDisplay))) window->native->Resize(width, height);
    if (repaint && resized) {
        // CS_HREDRAW / CS_VREDRAW: the layout depends on the size, so all of it is redrawn;
        // otherwise only what the new size uncovers.
        bool redrawAll =
            ((window->classStyle & CS_HREDRAW) && width != oldWidth) || ((window->classStyle & CS_VREDRAW) && height != oldHeight);
        if (redrawAll) {
            InvalidateClient(*window, nullptr, true);
        } else {
            InvalidateIfNotEmpty(*window, RECT{oldWidth, 0, width, height});
            InvalidateIfNotEmpty(*window, RECT{0, oldHeight, std::min(oldWidth, width), height});
        }
    }
    if (repaint && window->parent && (moved || resized)) {
        if (Window* parent = FindWindow(window->parent)) InvalidateIfNotEmpty(*parent, oldRect);
        // The child's pixels are valid where it now lies, but not yet on the display.
        NoteChangedRect(window->parent, rect);
    }
    POINT origin = window->parent ? POINT{rect.left, rect.top} : ClientOriginOnScreen(*window);
    if (moved) SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    if (resized) SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

POINT ClientToTopLevel(HWND handle, POINT point) {
    for (Window* window = FindWindow(handle); window && window->parent; window = FindWindow(window->parent)) {
        point.x += window->rect.left;
        point.y += window->rect.top;
    }
    return point;
}

HWND TopLevelOf(HWND handle) {
    Window* window = FindWindow(handle);
    while (window && window->parent) window = FindWindow(window->parent);
    return window ? window->handle : nullptr;
}

void UserResize(HWND topLevel, int outerWidth, int outerHeight) {
    Window* window = FindWindow(topLevel);
    if (!window) return;
    RECT rect = window->rect;
    rect.right = rect.left + std::max(0, outerWidth);
    rect.bottom = rect.top + std::max(0, outerHeight);
    SetWindowGeometry(topLevel, rect, true, false);
}

}  // namespace platform::user32

using namespace platform::user32;
namespace video = platform::video;

extern "C" {

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    Window* window = FindWindow(hWnd);
    if (!window || !lpRect) return FALSE;
    *lpRect = RECT{0, 0, window->clientWidth, window->clientHeight};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    Window* window = FindWindow(hWnd);
    if (!window || !lpRect) return FALSE;
    if (!window->parent) {
        *lpRect = window->rect;
    } else {
        POINT origin = ClientOriginOnScreen(*window);
        *lpRect = RECT{origin.x, origin.y, origin.x + window->clientWidth, origin.y + window->clientHeight};
    }
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    if (!FindWindow(hWnd)) return FALSE;
    SetWindowGeometry(hWnd, RECT{X, Y, X + std::max(0, nWidth), Y + std::max(0, nHeight)}, bRepaint != FALSE, false);
    return TRUE;
}

int WINAPI GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        video::Backend* backend = video::CurrentIfOpen();
        SIZE screen = backend ? backend->ScreenSize() : DefaultScreen;
        return nIndex == SM_CXSCREEN ? screen.cx : screen.cy;
    }
    case SM_CYCAPTION: return Caption;
    case SM_CXFRAME:
    case SM_CYFRAME: return SizingFrame;
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME: return FixedFrame;
    case SM_CXPADDEDBORDER: return PaddedBorder;
    case SM_CXMAXTRACK: return MaxTrackSize().cx;
    case SM_CYMAXTRACK: return MaxTrackSize().cy;
    default: return 0;
    }
}

}  // extern "C"
