#include "app/main_window.h"

#include "app/command_buttons.h"
#include "audio/session_binding.h"
#include "display/panel.h"
#include "display/value_row.h"

namespace {

// Runs inside CreateWindowExA, before AppState.hwndMain is set: every handler works
// with the window handle it is given.
void OnCreate(HWND window) {
    CreateCommandButtons(window);
    BindAudioSession();
    StartRefreshTimer(window);
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintPanel(window, dc);
    EndPaint(window, &paint);
}

void OnDestroy(HWND window) {
    StopRefreshTimer(window);
    ReleaseAudioSession();
    PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(window); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_TIMER: return OnTimer(window, wParam);
    case WM_COMMAND: OnCommand(wParam); return 0;
    // Closing posts WM_DESTROY instead of destroying the window: its handler gives
    // everything back and ends the loop, and the window goes with the process.
    case WM_CLOSE: PostMessageA(window, WM_DESTROY, 0, 0); return 0;
    case WM_DESTROY: OnDestroy(window); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
