// Creating, showing and destroying windows.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "gdi32/gdi32.h"
#include "user32/window_state.h"

namespace platform::user32 {
namespace {

struct Injection {
    std::mutex lock;
    InjectedFailures pending, used;
};

Injection& injection() {
    static Injection instance;
    return instance;
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
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

}  // namespace

void InjectFailures(InjectedFailures failures) {
    std::lock_guard<std::mutex> guard(injection().lock);
    injection().pending = failures;
    injection().used = {};
}

InjectedFailures UsedInjectedFailures() {
    std::lock_guard<std::mutex> guard(injection().lock);
    return injection().used;
}

void ResetInjectedFailures() { InjectFailures({}); }

bool ConsumeRegisterClassFailure() {
    std::lock_guard<std::mutex> guard(injection().lock);
    if (!injection().pending.registerClass) return false;
    injection().pending.registerClass = false;
    injection().used.registerClass = true;
    return true;
}

bool ConsumeCreateWindowFailure() {
    std::lock_guard<std::mutex> guard(injection().lock);
    if (!injection().pending.createTopLevelWindow) return false;
    injection().pending.createTopLevelWindow = false;
    injection().used.createTopLevelWindow = true;
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
    gdi32::ResetDeviceContexts();
    video::Close();
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

    auto window = std::make_unique<Window>();
    window->queue = CurrentQueue();
    window->procedure = windowClass->procedure;
    window->classStyle = windowClass->style;
    window->classBackground = windowClass->background;
    window->classAtom = windowClass->atom;
    window->style = dwStyle & ~WS_VISIBLE;
    window->exStyle = dwExStyle;
    window->parent = child ? hWndParent : nullptr;
    window->menu = hMenu;
    window->instance = hInstance;
    window->text = lpWindowName ? lpWindowName : "";

    RECT rect;
    if (child) {
        int x = X == CW_USEDEFAULT ? 0 : X, y = Y == CW_USEDEFAULT ? 0 : Y;
        int width = nWidth == CW_USEDEFAULT ? 0 : std::max(0, nWidth);
        int height = nHeight == CW_USEDEFAULT ? 0 : std::max(0, nHeight);
        rect = RECT{x, y, x + width, y + height};
    } else {
        if (ConsumeCreateWindowFailure()) return nullptr;
        video::Backend* backend = video::Current();
        if (!backend) return nullptr;
        POINT position = X == CW_USEDEFAULT ? DefaultWindowPosition() : POINT{X, Y};
        SIZE screen = backend->ScreenSize();
        int width = nWidth == CW_USEDEFAULT ? screen.cx * 3 / 4 : std::max(0, nWidth);
        int height = nWidth == CW_USEDEFAULT ? screen.cy * 3 / 4 : std::max(0, nHeight);
        rect = BoundToMaxTrack(window->style, RECT{position.x, position.y, position.x + width, position.y + height});
    }
    RECT insets = FrameInsets(window->style);
    window->rect = rect;
    window->clientWidth = std::max(0, static_cast<int>(rect.right - rect.left - insets.left - insets.right));
    window->clientHeight = std::max(0, static_cast<int>(rect.bottom - rect.top - insets.top - insets.bottom));
    ResizeSurface(*window);
    HWND handle = AllocateWindow(std::move(window));
    Window* created = FindWindow(handle);
    if (!child) {
        created->native = video::Current()->CreateWindow(handle, created->clientWidth, created->clientHeight);
        created->native->SetTitle(Latin1ToUtf8(created->text));
    }
    if (parent) parent->children.push_back(handle);

    CREATESTRUCTA create{lpParam,      hInstance,   hMenu,    hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
                         lpWindowName, lpClassName, dwExStyle};
    if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        FreeTree(handle);
        return nullptr;
    }
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyTree(handle);
        return nullptr;
    }
    created = FindWindow(handle);
    if (!created) return nullptr;  // destroyed itself while being created
    // As on Windows, creation ends with the window's first WM_SIZE and WM_MOVE.
    SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(created->clientWidth, created->clientHeight));
    created = FindWindow(handle);
    if (!created) return nullptr;
    POINT origin{created->rect.left + insets.left, created->rect.top + insets.top};
    SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    if (!FindWindow(handle)) return nullptr;
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
    } else {
        window->style &= ~WS_VISIBLE;
        if (Window* parent = FindWindow(window->parent)) InvalidateClient(*parent, &window->rect, true);
    }
    if (window->native) window->native->Show(show);
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
