// DefWindowProcA: what a window does with the messages its procedure leaves to the
// system, as far as the program and the BUTTON class rely on it.
#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "gdi32/gdi32.h"
#include "window_state.h"

using namespace platform::user32;

extern "C" {

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    case WM_ACTIVATE:
        // An activated window takes the focus, as the main window of a program does.
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hWnd);
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4 closes the top-level window, without the window manager's help.
        if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN)) PostMessageA(TopLevelOf(hWnd), WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_ERASEBKGND: {
        Window* window = FindWindow(hWnd);
        if (!window || !window->classBackground) return 0;
        RECT client{0, 0, window->clientWidth, window->clientHeight};
        return platform::gdi32::FillWithBrush(reinterpret_cast<HDC>(wParam), client, window->classBackground) ? 1 : 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginWindowPaint(hWnd, &paint);
        EndWindowPaint(hWnd, &paint);
        return 0;
    }
    case WM_SETTEXT: {
        Window* window = FindWindow(hWnd);
        if (!window) return FALSE;
        window->text = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
        if (window->native) window->native->SetTitle(platform::base::Latin1ToUtf8(window->text));
        if (window->parent) InvalidateRect(hWnd, nullptr, TRUE);
        return TRUE;
    }
    case WM_GETTEXT: {
        Window* window = FindWindow(hWnd);
        if (!window || wParam == 0 || !lParam) return 0;
        size_t copied = std::min<size_t>(window->text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), window->text.data(), copied);
        reinterpret_cast<char*>(lParam)[copied] = '\0';
        return static_cast<LRESULT>(copied);
    }
    case WM_GETTEXTLENGTH: {
        Window* window = FindWindow(hWnd);
        return window ? static_cast<LRESULT>(window->text.size()) : 0;
    }
    default: return 0;
    }
}

}  // extern "C"
