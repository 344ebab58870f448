// Mouse input and the display's window-manager events, as they reach windows.
#include "user32/window_state.h"

namespace platform::user32 {
namespace {

// The deepest visible window under point, which is in handle's client coordinates;
// point comes back in that window's client coordinates. Later children lie on top.
HWND HitTest(HWND handle, POINT& point) {
    const Window* window = FindWindow(handle);
    if (!window) return nullptr;
    for (auto it = window->children.rbegin(); it != window->children.rend(); ++it) {
        const Window* child = FindWindow(*it);
        if (!child || !child->visible) continue;
        if (point.x >= child->rect.left && point.x < child->rect.right && point.y >= child->rect.top &&
            point.y < child->rect.bottom) {
            POINT inChild{point.x - child->rect.left, point.y - child->rect.top};
            HWND hit = HitTest(*it, inChild);
            point = inChild;
            return hit;
        }
    }
    return handle;
}

void InvalidateArea(HWND handle, const RECT& area) {
    Window* window = FindWindow(handle);
    if (!window) return;
    InvalidateClient(*window, &area, true);
    for (HWND childHandle : window->children) {
        const Window* child = FindWindow(childHandle);
        if (!child) continue;
        RECT inChild{area.left - child->rect.left, area.top - child->rect.top, area.right - child->rect.left,
                     area.bottom - child->rect.top};
        InvalidateArea(childHandle, inChild);
    }
}

class DisplayEventSink final : public video::EventSink {
public:
    void OnExpose(HWND window, const RECT& area) override { InvalidateArea(window, area); }

    void OnClientResized(HWND handle, int clientWidth, int clientHeight) override {
        Window* window = FindWindow(handle);
        if (!window || (window->clientWidth == clientWidth && window->clientHeight == clientHeight)) return;
        RECT insets = FrameInsets(window->style);
        RECT rect = window->rect;
        rect.right = rect.left + insets.left + clientWidth + insets.right;
        rect.bottom = rect.top + insets.top + clientHeight + insets.bottom;
        SetWindowGeometry(handle, rect, true, true);
    }

    void OnCloseRequest(HWND window) override { PostMessageA(window, WM_CLOSE, 0, 0); }

    // Destroyed, as by DestroyWindow: the window has nothing left to show, so the
    // program gets WM_DESTROY and ends the way it always ends, rather than being
    // asked to close (WM_CLOSE) a window it could not keep.
    void OnWindowDestroyed(HWND window) override { DestroyWindow(window); }

    void OnMouseButton(HWND window, int x, int y, bool pressed) override { InjectMouseButton(window, x, y, pressed); }
};

}  // namespace

void SetCapture(HWND window) { CurrentQueue()->capture = window; }
void ReleaseCapture() { CurrentQueue()->capture = nullptr; }
HWND Capture() { return CurrentQueue()->capture; }

video::EventSink& DisplayEvents() {
    static DisplayEventSink sink;
    return sink;
}

void InjectMouseButton(HWND topLevel, int x, int y, bool pressed) {
    Window* top = FindWindow(topLevel);
    if (!top) return;
    top->queue->input.push_back({topLevel, POINT{x, y}, pressed, static_cast<DWORD>(NowMilliseconds())});
}

bool ResolveMouseInput(const MessageQueue::RawMouseButton& input, MSG* message) {
    const Window* top = FindWindow(input.topLevel);
    if (!top) return false;
    HWND target;
    POINT point = input.point;
    HWND captured = Capture();
    if (captured && TopLevelOf(captured) == input.topLevel) {
        // A window that captured the mouse gets it wherever it goes, as a pressed button does.
        POINT origin = ClientToTopLevel(captured, POINT{0, 0});
        point = POINT{input.point.x - origin.x, input.point.y - origin.y};
        target = captured;
    } else {
        target = HitTest(input.topLevel, point);
    }
    if (!target) return false;
    RECT insets = FrameInsets(top->style);
    POINT screen{top->rect.left + insets.left + input.point.x, top->rect.top + insets.top + input.point.y};
    *message = MSG{target,
                   input.pressed ? static_cast<UINT>(WM_LBUTTONDOWN) : WM_LBUTTONUP,
                   input.pressed ? static_cast<WPARAM>(MK_LBUTTON) : 0,
                   MAKELPARAM(point.x, point.y),
                   input.time,
                   screen};
    return true;
}

}  // namespace platform::user32
