// Creating, showing and destroying windows.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/text.h"
#include "window_state.h"

namespace platform::user32 {
namespace {

struct InjectionState {
    std::mutex lock;
    InjectedFailures pending, used;
};

InjectionState& Injection() {
    static InjectionState instance;
    return instance;
}

// WM_DESTROY goes to a window before its children, WM_NCDESTROY after them.
void SendDestroy(HWND handle) {
    Window* window = FindWindow(handle);
    if (!window) return;
    SendMessageA(handle, WM_DESTROY, 0, 0);
    window = FindWindow(handle);
    if (!window) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) {
        if (Window* childWindow = FindWindow(child)) childWindow->destroying = true;
        SendDestroy(child);
    }
}

void FreeTree(HWND handle) {
    Window* window = FindWindow(handle);
    if (!window) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) FreeTree(child);
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    window = FindWindow(handle);
    if (!window) return;
    if (Capture() == handle) ReleaseCapture();
    ForgetInputOwner(*window->queue, handle);
    KillWindowTimers(*window->queue, handle);
    DropMessagesFor(*window->queue, handle);
    if (Window* parent = FindWindow(window->parent)) std::erase(parent->children, handle);
    FreeWindow(handle);
}

void DestroyTree(HWND handle) {
    Window* window = FindWindow(handle);
    if (!window || window->destroying) return;
    window->destroying = true;
    if (window->visible) {
        window->visible = false;
        if (window->native) window->native->Show(false);
        if (Window* parent = FindWindow(window->parent)) InvalidateClient(*parent, &window->rect, true);
    }
    SendDestroy(handle);
    FreeTree(handle);
}

// The steps of CreateWindowExA.

// Where a child goes in its parent's client area: CW_USEDEFAULT means 0.
RECT ChildRect(const CREATESTRUCTA& create) {
    int x = create.x == CW_USEDEFAULT ? 0 : create.x, y = create.y == CW_USEDEFAULT ? 0 : create.y;
    int width = create.cx == CW_USEDEFAULT ? 0 : std::max(0, create.cx);
    int height = create.cy == CW_USEDEFAULT ? 0 : std::max(0, create.cy);
    return RECT{x, y, x + width, y + height};
}

// Where a top-level window goes on the screen, opening the display on first use; none
// when there is no display (or a test made this creation fail). As on Windows, a
// default width makes the height a default too.
std::optional<RECT> TopLevelRect(const CREATESTRUCTA& create) {
    if (ConsumeCreateWindowFailure()) return std::nullopt;
    video::Backend* backend = video::Current();
    if (!backend) return std::nullopt;
    POINT position = create.x == CW_USEDEFAULT ? DefaultWindowPosition() : POINT{create.x, create.y};
    SIZE screen = backend->ScreenSize();
    int width = create.cx == CW_USEDEFAULT ? screen.cx * 3 / 4 : std::max(0, create.cx);
    int height = create.cx == CW_USEDEFAULT ? screen.cy * 3 / 4 : std::max(0, create.cy);
    return BoundToMaxTrack(static_cast<DWORD>(create.style), RECT{position.x, position.y, position.x + width, position.y + height});
}

std::unique_ptr<Window> NewWindow(const WindowClass& windowClass, const CREATESTRUCTA& create, const RECT& rect) {
    const bool child = (create.style & WS_CHILD) != 0;
    auto window = std::make_unique<Window>();
    window->queue = CurrentQueue();
    window->procedure = windowClass.procedure;
    window->classStyle = windowClass.style;
    window->classBackground = windowClass.background;
    window->classAtom = windowClass.atom;
    window->style = static_cast<DWORD>(create.style) & ~WS_VISIBLE;
    window->exStyle = create.dwExStyle;
    window->parent = child ? create.hwndParent : nullptr;
    window->menu = create.hMenu;
    window->instance = create.hInstance;
    window->text = create.lpszName ? create.lpszName : "";
    RECT insets = FrameInsets(window->style);
    window->rect = rect;
    window->clientWidth = std::max(0, static_cast<int>(rect.right - rect.left - insets.left - insets.right));
    window->clientHeight = std::max(0, static_cast<int>(rect.bottom - rect.top - insets.top - insets.bottom));
    ResizeSurface(*window);
    return window;
}

void AttachToDisplay(HWND handle) {
    Window* window = FindWindow(handle);
    // The backend may say the window's scale from within: its surfaces are then made
    // anew at it before anything is drawn.
    std::unique_ptr<video::Window> native =
        video::Current()->CreateWindow(handle, window->clientWidth, window->clientHeight, DisplayEvents());
    window = FindWindow(handle);
    window->native = std::move(native);
    window->native->SetTitle(base::Latin1ToUtf8(window->text));
}

// WM_NCCREATE, then WM_CREATE. False when the window refused or is gone; a window
// that refused WM_NCCREATE is freed without WM_DESTROY, one that refused WM_CREATE
// is destroyed.
bool SendCreationMessages(HWND handle, CREATESTRUCTA& create) {
    if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        FreeTree(handle);
        return false;
    }
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyTree(handle);
        return false;
    }
    return FindWindow(handle) != nullptr;  // it may have destroyed itself meanwhile
}

// As on Windows, creation ends with the window's first WM_SIZE and WM_MOVE. False
// when the window is gone.
bool SendFirstSizeAndMove(HWND handle) {
    Window* window = FindWindow(handle);
    SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->clientWidth, window->clientHeight));
    window = FindWindow(handle);
    if (!window) return false;
    RECT insets = FrameInsets(window->style);
    POINT origin{window->rect.left + insets.left, window->rect.top + insets.top};
    SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    return FindWindow(handle) != nullptr;
}

}  // namespace

void InjectFailures(InjectedFailures failures) {
    std::lock_guard<std::mutex> guard(Injection().lock);
    Injection().pending = failures;
    Injection().used = {};
}

InjectedFailures UsedInjectedFailures() {
    std::lock_guard<std::mutex> guard(Injection().lock);
    return Injection().used;
}

void ResetInjectedFailures() { InjectFailures({}); }

bool ConsumeRegisterClassFailure() {
    std::lock_guard<std::mutex> guard(Injection().lock);
    if (!Injection().pending.registerClass) return false;
    Injection().pending.registerClass = false;
    Injection().used.registerClass = true;
    return true;
}

bool ConsumeCreateWindowFailure() {
    std::lock_guard<std::mutex> guard(Injection().lock);
    if (!Injection().pending.createTopLevelWindow) return false;
    Injection().pending.createTopLevelWindow = false;
    Injection().used.createTopLevelWindow = true;
    return true;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> topLevel;
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    for (HWND handle : AllWindows()) {
        const Window* window = FindWindow(handle);
        if (window && !window->parent && window->queue == queue) topLevel.push_back(handle);
    }
    return topLevel;
}

std::vector<HWND> Children(HWND handle) {
    const Window* window = FindWindow(handle);
    return window ? window->children : std::vector<HWND>{};
}

HMENU ControlId(HWND handle) {
    const Window* window = FindWindow(handle);
    return window && window->parent ? window->menu : nullptr;
}

void ResetAll() {
    // Quietly: the program whose windows these were is no longer running.
    for (HWND handle : AllWindows()) FreeWindow(handle);
    ResetCurrentQueue();
    ResetClasses();
    RegisterSystemClasses();
    ResetMessageBoxes();
    ResetInjectedFailures();
}

}  // namespace platform::user32

using namespace platform::user32;
namespace video = platform::video;

extern "C" {

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y, int nWidth,
                            int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
    RegisterSystemClasses();
    std::optional<WindowClass> windowClass = FindClass(lpClassName);
    if (!windowClass) return nullptr;
    const bool child = (dwStyle & WS_CHILD) != 0;
    Window* parent = child ? FindWindow(hWndParent) : nullptr;
    if (child && !parent) return nullptr;  // a child needs a parent
    if (parent && parent->queue != CurrentQueue()) return nullptr;

    CREATESTRUCTA create{lpParam,      hInstance,   hMenu,    hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
                         lpWindowName, lpClassName, dwExStyle};
    std::optional<RECT> rect = child ? ChildRect(create) : TopLevelRect(create);
    if (!rect) return nullptr;
    HWND handle = AllocateWindow(NewWindow(*windowClass, create, *rect));
    if (!child) AttachToDisplay(handle);
    if (parent) parent->children.push_back(handle);

    if (!SendCreationMessages(handle, create)) return nullptr;
    if (!SendFirstSizeAndMove(handle)) return nullptr;
    InvalidateRect(handle, nullptr, TRUE);
    if (dwStyle & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return FindWindow(handle) ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    Window* window = FindWindow(hWnd);
    if (!window || window->queue != CurrentQueue()) return FALSE;
    DestroyTree(hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) { return hWnd && FindWindow(hWnd) ? TRUE : FALSE; }

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    Window* window = FindWindow(hWnd);
    if (!window) return FALSE;
    const bool wasVisible = window->visible;
    const bool show = nCmdShow != SW_HIDE;
    if (show == wasVisible) return wasVisible;
    SendMessageA(hWnd, WM_SHOWWINDOW, show, 0);
    window = FindWindow(hWnd);
    if (!window) return wasVisible;
    window->visible = show;
    if (show) {
        window->style |= WS_VISIBLE;
        InvalidateTree(hWnd);
        // A window coming onto the display needs all of it there, painted or not.
        if (window->native) NoteChangedRect(hWnd, RECT{0, 0, window->clientWidth, window->clientHeight});
    } else {
        window->style &= ~WS_VISIBLE;
        if (Window* parent = FindWindow(window->parent)) InvalidateClient(*parent, &window->rect, true);
    }
    if (window->native) window->native->Show(show);
    if (!window->parent) {
        if (show) {
            Activate(hWnd);  // as Windows does for a window shown without SW_SHOWNA
        } else if (window->queue->active == hWnd) {
            ForgetInputOwner(*window->queue, hWnd);
            if (HWND focus = window->queue->focus; focus && TopLevelOf(focus) == hWnd) window->queue->focus = nullptr;
        }
    }
    return wasVisible;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (!lpString || nMaxCount <= 0) return 0;
    lpString[0] = '\0';
    return static_cast<int>(DefWindowProcA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

HWND WINAPI GetParent(HWND hWnd) {
    Window* window = FindWindow(hWnd);
    return window ? window->parent : nullptr;
}

}  // extern "C"
