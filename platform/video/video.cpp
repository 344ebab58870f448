// Picks the video backend: the first entry of the requested order that creates.
#include "video/video.h"

#include <mutex>

namespace platform::video {
namespace {

struct Selection {
    std::mutex lock;
    std::unique_ptr<Backend> open;
    std::vector<std::string> overrideOrder;
};

Selection& CurrentSelection() {
    // Never destroyed: windows, their surfaces and the display connection stay valid
    // until the process ends, whatever order static destructors run in.
    static Selection* instance = new Selection;
    return *instance;
}

// A Wayland desktop gets native windows, drawn at its scale; its X server (XWayland),
// where there is one, would stretch or shrink them. Wayland declines at once where
// WAYLAND_DISPLAY is not set, so an X11 desktop opens x11 as before. Without a display
// the program's window cannot be created and the program says so; offscreen is only
// ever asked for by name (tests, screenshots).
const base::ChooserSettings Settings{"video", "PLATFORM_VIDEO", {"wayland", "x11"}};

}  // namespace

std::span<const BackendEntry> AllBackends() {
    static const BackendEntry entries[] = {WaylandBackendEntry, X11BackendEntry, OffscreenBackendEntry};
    return entries;
}

Backend* Current() {
    Selection& state = CurrentSelection();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.open) state.open = base::ChooseBackend(AllBackends(), Settings, state.overrideOrder);
    return state.open.get();
}

Backend* CurrentIfOpen() {
    Selection& state = CurrentSelection();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.open.get();
}

void Close() {
    std::unique_ptr<Backend> closing;
    {
        Selection& state = CurrentSelection();
        std::lock_guard<std::mutex> guard(state.lock);
        closing = std::move(state.open);
    }
}

void OverrideOrder(std::vector<std::string> names) {
    Close();
    Selection& state = CurrentSelection();
    std::lock_guard<std::mutex> guard(state.lock);
    state.overrideOrder = std::move(names);
}

}  // namespace platform::video
