// The built-in "BUTTON" class: a push button with the classic 3D face that reports a
// click to its parent as WM_COMMAND / BN_CLICKED. A click gives it the focus, which it
// shows with a dotted rectangle; Space then presses it like the mouse does.
#include "base/text.h"
#include "gdi32/gdi32.h"
#include "window_state.h"

namespace platform::user32 {
namespace {

constexpr int ColorBtnShadow = 16;
constexpr int ColorBtnHighlight = 20;
constexpr int ColorDarkShadow = 21;
constexpr int ColorLight = 22;

void PaintButton(HWND handle) {
    PAINTSTRUCT paint;
    HDC dc = BeginWindowPaint(handle, &paint);
    const Window* window = FindWindow(handle);
    if (!dc || !window) return;
    const int right = window->clientWidth - 1, bottom = window->clientHeight - 1;
    const bool pressed = window->buttonPressed;
    gdi32::FillWithColor(dc, RECT{0, 0, window->clientWidth, window->clientHeight}, gdi32::SystemColor(COLOR_BTNFACE));

    // Raised: light from the top left. Pressed: the same edges swapped, so the face sinks.
    COLORREF outerTopLeft = gdi32::SystemColor(pressed ? ColorDarkShadow : ColorBtnHighlight);
    COLORREF innerTopLeft = gdi32::SystemColor(pressed ? ColorBtnShadow : ColorLight);
    COLORREF outerBottomRight = gdi32::SystemColor(pressed ? ColorBtnHighlight : ColorDarkShadow);
    COLORREF innerBottomRight = gdi32::SystemColor(pressed ? ColorLight : ColorBtnShadow);
    if (right >= 1 && bottom >= 1) {
        gdi32::DrawPixelLine(dc, 0, 0, right - 1, 0, outerTopLeft);
        gdi32::DrawPixelLine(dc, 0, 0, 0, bottom - 1, outerTopLeft);
        gdi32::DrawPixelLine(dc, 0, bottom, right, bottom, outerBottomRight);
        gdi32::DrawPixelLine(dc, right, 0, right, bottom, outerBottomRight);
    }
    if (right >= 3 && bottom >= 3) {
        gdi32::DrawPixelLine(dc, 1, 1, right - 2, 1, innerTopLeft);
        gdi32::DrawPixelLine(dc, 1, 1, 1, bottom - 2, innerTopLeft);
        gdi32::DrawPixelLine(dc, 1, bottom - 1, right - 1, bottom - 1, innerBottomRight);
        gdi32::DrawPixelLine(dc, right - 1, 1, right - 1, bottom - 1, innerBottomRight);
    }

    RECT textArea{2, 2, window->clientWidth - 2, window->clientHeight - 2};
    if (pressed) {
        ++textArea.left;
        ++textArea.top;
        ++textArea.right;
        ++textArea.bottom;
    }
    std::string text = window->text;
    gdi32::SetDcBkMode(dc, TRANSPARENT);
    gdi32::SetDcTextColor(dc, RGB(0, 0, 0));
    gdi32::DrawTextUtf8(dc, base::Latin1ToUtf8(text), &textArea, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    if (GetFocus() == handle) {
        // The classic focus rectangle: black dots on every other pixel, inside the face.
        RECT focus{3, 3, window->clientWidth - 3, window->clientHeight - 3};
        gdi32::DrawDottedRectangle(dc, focus, RGB(0, 0, 0));
    }
    EndWindowPaint(handle, &paint);
}

void Press(HWND handle) {
    Window* window = FindWindow(handle);
    if (!window) return;
    window->buttonPressed = true;
    SetCapture(handle);
    InvalidateRect(handle, nullptr, FALSE);
}

// The press ends; true when it was one of this button's and so counts as a click if
// it ends over the button.
bool Release(HWND handle) {
    Window* window = FindWindow(handle);
    if (!window) return false;
    const bool wasPressed = window->buttonPressed && Capture() == handle;
    window->buttonPressed = false;
    if (Capture() == handle) ReleaseCapture();
    InvalidateRect(handle, nullptr, FALSE);
    return wasPressed;
}

void NotifyParent(HWND handle) {
    const Window* window = FindWindow(handle);
    if (!window || !window->parent) return;
    HWND parent = window->parent;
    WORD id = LOWORD(reinterpret_cast<uintptr_t>(window->menu));
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(handle));
}

}  // namespace

LRESULT CALLBACK ButtonProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
        SetFocus(handle);
        Press(handle);
        return 0;
    case WM_LBUTTONUP: {
        const bool wasPressed = Release(handle);
        const Window* window = FindWindow(handle);
        if (!window) return 0;
        // Released outside the button: the user changed their mind, no click.
        int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
        bool inside = x >= 0 && y >= 0 && x < window->clientWidth && y < window->clientHeight;
        if (wasPressed && inside) NotifyParent(handle);
        return 0;
    }
    case WM_KEYDOWN:
        // A held key repeats its WM_KEYDOWN; the press is already on.
        if (wParam == VK_SPACE && !(HIWORD(lParam) & KF_REPEAT)) Press(handle);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && Release(handle)) NotifyParent(handle);
        return 0;
    case WM_SETFOCUS: InvalidateRect(handle, nullptr, FALSE); return 0;
    case WM_KILLFOCUS:
        // A press the focus leaves behind is dropped without a click.
        if (Capture() == handle) Release(handle);
        InvalidateRect(handle, nullptr, FALSE);
        return 0;
    case BM_CLICK:
        SendMessageA(handle, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageA(handle, WM_LBUTTONUP, 0, 0);
        return 0;
    case WM_ERASEBKGND: return 1;  // the face covers everything
    case WM_PAINT: PaintButton(handle); return 0;
    default: return DefWindowProcA(handle, message, wParam, lParam);
    }
}

}  // namespace platform::user32
