// Mouse and keyboard input, focus and activation, and the display's window-manager
// events, as they reach windows.
#include "window_state.h"

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

class DisplayEventSink final : public video::EventSink {
public:
    void OnScaleChanged(HWND topLevel, double scale) override { SetTreeScale(topLevel, scale); }

    // The windows' surfaces still hold what the display lost: no window paints for it.
    void OnExpose(HWND window, const RECT& area) override { PresentAgain(window, area); }

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

    void OnKey(HWND window, UINT virtualKey, bool pressed, bool altDown, unsigned char character) override {
        InjectKey(window, virtualKey, pressed, altDown, character);
    }
};

bool ResolveMouseInput(const MessageQueue::RawInput& input, MSG* message) {
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

// Keys go to the focus window. With Alt held, or when no window has the focus, they
// are system keys and go to the focus or else the active window, as on Windows.
bool ResolveKeyInput(const MessageQueue& queue, const MessageQueue::RawInput& input, MSG* message) {
    HWND target = FindWindow(queue.focus) ? queue.focus : nullptr;
    const bool system = input.altDown || !target;
    if (!target) target = FindWindow(queue.active) ? queue.active : nullptr;
    const UINT key = input.virtualKey & 0xFF;
    const bool wasDown = queue.keysDown.test(key);
    if (!target) return false;
    // The high word carries the flags: Alt held, the key's previous state, key up.
    WORD flags = 0;
    if (input.altDown) flags |= KF_ALTDOWN;
    if (wasDown || !input.pressed) flags |= KF_REPEAT;
    if (!input.pressed) flags |= KF_UP;
    UINT kind = input.pressed ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    *message = MSG{target, kind, key, MAKELPARAM(1, flags), input.time, {}};
    return true;
}

// Input goes to the queue of the thread that owns the top-level window it arrived at,
// stamped with the time it arrived.
void Enqueue(HWND topLevel, MessageQueue::RawInput input) {
    Window* top = FindWindow(topLevel);
    if (!top) return;
    input.topLevel = topLevel;
    input.time = static_cast<DWORD>(NowMilliseconds());
    top->queue->input.push_back(input);
}

}  // namespace

void SetCapture(HWND window) { CurrentQueue()->capture = window; }
void ReleaseCapture() { CurrentQueue()->capture = nullptr; }
HWND Capture() { return CurrentQueue()->capture; }

video::EventSink& DisplayEvents() {
    static DisplayEventSink sink;
    return sink;
}

void InjectMouseButton(HWND topLevel, int x, int y, bool pressed) {
    MessageQueue::RawInput button{};
    button.kind = MessageQueue::RawInput::Kind::MouseButton;
    button.pressed = pressed;
    button.point = POINT{x, y};
    Enqueue(topLevel, button);
}

bool ResolveInput(const MessageQueue& queue, const MessageQueue::RawInput& input, MSG* message) {
    return input.kind == MessageQueue::RawInput::Kind::Key ? ResolveKeyInput(queue, input, message)
                                                           : ResolveMouseInput(input, message);
}

void NoteInputTaken(MessageQueue& queue, const MessageQueue::RawInput& input, const MSG* delivered) {
    if (input.kind != MessageQueue::RawInput::Kind::Key) return;
    queue.keysDown.set(input.virtualKey & 0xFF, input.pressed);
    if (delivered && input.pressed) {
        queue.lastKeyDown = *delivered;
        queue.lastKeyCharacter = input.character ? input.character : CharacterOfKey(input.virtualKey);
    }
}

void InjectKey(HWND topLevel, UINT virtualKey, bool pressed, bool altDown, unsigned char character) {
    MessageQueue::RawInput key{};
    key.kind = MessageQueue::RawInput::Kind::Key;
    key.pressed = pressed;
    key.virtualKey = virtualKey;
    key.altDown = altDown;
    key.character = character;
    Enqueue(topLevel, key);
}

unsigned char CharacterOfKey(UINT virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') return static_cast<unsigned char>(virtualKey - 'A' + 'a');
    if (virtualKey >= '0' && virtualKey <= '9') return static_cast<unsigned char>(virtualKey);
    switch (virtualKey) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_TAB: return '\t';
    case VK_BACK: return '\b';
    case VK_ESCAPE: return 0x1B;
    default: return 0;
    }
}

void Activate(HWND topLevel) {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    if (queue->active == topLevel) return;
    HWND previous = queue->active;
    queue->active = topLevel;
    if (FindWindow(previous)) SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(topLevel));
    if (FindWindow(topLevel)) SendMessageA(topLevel, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
}

void ForgetInputOwner(MessageQueue& queue, HWND window) {
    if (queue.focus == window) queue.focus = nullptr;
    if (queue.active == window) queue.active = nullptr;
}

}  // namespace platform::user32

using namespace platform::user32;

extern "C" {

HWND WINAPI SetFocus(HWND hWnd) {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    HWND previous = FindWindow(queue->focus) ? queue->focus : nullptr;
    if (hWnd) {
        Window* window = FindWindow(hWnd);
        if (!window || window->queue != queue) return nullptr;
    }
    if (hWnd == previous) return previous;
    queue->focus = hWnd;
    if (previous) SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    // The window procedure of the old focus may have moved the focus on already.
    if (hWnd && queue->focus == hWnd) SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

HWND WINAPI GetFocus(void) {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    return FindWindow(queue->focus) ? queue->focus : nullptr;
}

HWND WINAPI GetActiveWindow(void) {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    return FindWindow(queue->active) ? queue->active : nullptr;
}

}  // extern "C"
