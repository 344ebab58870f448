// The table of live windows. Handles are small numbers that are never reused, so a
// stale HWND fails cleanly instead of reaching a newer window.
#include <map>

#include "window_state.h"

namespace platform::user32 {
namespace {

struct WindowTable {
    std::mutex lock;
    std::map<HWND, std::unique_ptr<Window>> live;  // ordered by handle: oldest first
    uintptr_t nextHandle = 0x10010;
};

WindowTable& Windows() {
    // Never destroyed: windows, their surfaces and the display connection stay valid
    // until the process ends, whatever order static destructors run in.
    static WindowTable* instance = new WindowTable;
    return *instance;
}

}  // namespace

Window* FindWindow(HWND handle) {
    WindowTable& state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    auto found = state.live.find(handle);
    return found == state.live.end() ? nullptr : found->second.get();
}

std::shared_ptr<MessageQueue> QueueOf(HWND handle) {
    WindowTable& state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    auto found = state.live.find(handle);
    return found == state.live.end() ? nullptr : found->second->queue;
}

HWND AllocateWindow(std::unique_ptr<Window> window) {
    WindowTable& state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    HWND handle = reinterpret_cast<HWND>(state.nextHandle);
    state.nextHandle += 2;
    window->handle = handle;
    state.live[handle] = std::move(window);
    return handle;
}

void FreeWindow(HWND handle) {
    std::unique_ptr<Window> freed;
    {
        WindowTable& state = Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        auto found = state.live.find(handle);
        if (found == state.live.end()) return;
        freed = std::move(found->second);
        state.live.erase(found);
    }
    DropSurface(*freed);
}

std::vector<HWND> AllWindows() {
    WindowTable& state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    std::vector<HWND> handles;
    for (const auto& [handle, window] : state.live) handles.push_back(handle);
    return handles;
}

}  // namespace platform::user32
