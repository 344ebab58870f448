// Windows that exist only in memory. Each window has a screen image that presents
// draw into, as a display would, so tests can see what reached it and when. For
// debugging without a display, PLATFORM_VIDEO_DUMP=<directory> writes the screen after
// every present as a PNG.
#include "video/offscreen/offscreen.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "video/video.h"

namespace platform::video {
namespace {

struct Display {
    std::mutex lock;
    bool recording = false;
    std::vector<offscreen::Presented> presents;
    std::map<HWND, cairo_surface_t*> screens;
    std::deque<std::pair<HWND, RECT>> exposes;
};

Display& display() {
    // Never destroyed, like the other backends' connections.
    static Display* instance = new Display;
    return *instance;
}

cairo_surface_t* CopyOf(cairo_surface_t* surface) {
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cairo_image_surface_get_width(surface),
                                                       cairo_image_surface_get_height(surface));
    cairo_t* cr = cairo_create(copy);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return copy;
}

void ClipTo(cairo_t* cr, const cairo_region_t* area) {
    for (int i = 0; i < cairo_region_num_rectangles(area); ++i) {
        cairo_rectangle_int_t part;
        cairo_region_get_rectangle(area, i, &part);
        cairo_rectangle(cr, part.x, part.y, part.width, part.height);
    }
    cairo_clip(cr);
}

class OffscreenWindow final : public Window {
public:
    OffscreenWindow(HWND window, int width, int height, std::string dumpDirectory)
        : window_(window), dumpDirectory_(std::move(dumpDirectory)) {
        std::lock_guard<std::mutex> guard(display().lock);
        display().screens[window_] = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 0), std::max(height, 0));
    }
    ~OffscreenWindow() override {
        std::lock_guard<std::mutex> guard(display().lock);
        cairo_surface_destroy(display().screens[window_]);
        display().screens.erase(window_);
    }

    void SetTitle(const std::string&) override {}
    void Show(bool) override {}
    void Resize(int width, int height) override {
        std::lock_guard<std::mutex> guard(display().lock);
        cairo_surface_t*& screen = display().screens[window_];
        cairo_surface_t* resized = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 0), std::max(height, 0));
        cairo_t* cr = cairo_create(resized);
        cairo_set_source_surface(cr, screen, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(screen);
        screen = resized;
    }
    bool WantsFrames() const override { return true; }

    void Present(std::span<const Layer> layers) override {
        std::lock_guard<std::mutex> guard(display().lock);
        cairo_surface_t* screen = display().screens[window_];
        cairo_region_t* shown = cairo_region_create();
        for (const Layer& layer : layers) {
            // As far as a layer lets a display go: over its whole box where it may be
            // widened, so that a layer widened wrongly shows in the screen.
            cairo_region_t* sent = cairo_region_copy(layer.area);
            if (layer.mayWiden) {
                cairo_rectangle_int_t extents;
                cairo_region_get_extents(layer.area, &extents);
                cairo_region_union_rectangle(sent, &extents);
            }
            cairo_t* cr = cairo_create(screen);
            ClipTo(cr, sent);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_surface(cr, layer.image, layer.origin.x, layer.origin.y);
            cairo_paint(cr);
            cairo_destroy(cr);
            cairo_region_union(shown, sent);
            cairo_region_destroy(sent);
        }
        cairo_surface_flush(screen);
        offscreen::Presented record{window_, {}, nullptr};
        for (int i = 0; i < cairo_region_num_rectangles(shown); ++i) {
            cairo_rectangle_int_t part;
            cairo_region_get_rectangle(shown, i, &part);
            record.area.push_back(RECT{part.x, part.y, part.x + part.width, part.y + part.height});
        }
        cairo_region_destroy(shown);
        if (display().recording) {
            record.screen = CopyOf(screen);
            display().presents.push_back(record);
        }
        if (!dumpDirectory_.empty()) {
            char path[4096];
            std::snprintf(path, sizeof path, "%s/window-%zx-frame-%05u.png", dumpDirectory_.c_str(),
                          static_cast<size_t>(reinterpret_cast<uintptr_t>(window_)), frameCount_++);
            if (cairo_surface_write_to_png(screen, path) != CAIRO_STATUS_SUCCESS) {
                std::fprintf(stderr, "video offscreen: cannot write %s\n", path);
            }
        }
    }

private:
    HWND window_;
    std::string dumpDirectory_;
    unsigned frameCount_ = 0;
};

class OffscreenBackend final : public Backend {
public:
    std::unique_ptr<Window> CreateWindow(HWND window, int width, int height) override {
        const char* dump = std::getenv("PLATFORM_VIDEO_DUMP");
        return std::make_unique<OffscreenWindow>(window, width, height, dump ? dump : "");
    }
    int EventDescriptor() const override { return -1; }
    void DispatchEvents(EventSink& sink, bool) override {
        while (true) {
            std::pair<HWND, RECT> expose;
            {
                std::lock_guard<std::mutex> guard(display().lock);
                if (display().exposes.empty()) return;
                expose = display().exposes.front();
                display().exposes.pop_front();
            }
            sink.OnExpose(expose.first, expose.second);
        }
    }
    bool PrepareToWait() override {
        std::lock_guard<std::mutex> guard(display().lock);
        return !display().exposes.empty();
    }
    SIZE ScreenSize() const override { return SIZE{1920, 1080}; }
};

std::unique_ptr<Backend> CreateOffscreen(std::string&) { return std::make_unique<OffscreenBackend>(); }

}  // namespace

const BackendEntry OffscreenBackendEntry = {"offscreen", "in-memory windows; frames as PNG with PLATFORM_VIDEO_DUMP",
                                            CreateOffscreen};

namespace offscreen {

void RecordPresents(bool enabled) {
    std::vector<Presented> forgotten;
    {
        std::lock_guard<std::mutex> guard(display().lock);
        display().recording = enabled;
        display().exposes.clear();
        if (!enabled) forgotten.swap(display().presents);
    }
    for (Presented& present : forgotten) cairo_surface_destroy(present.screen);
}

std::vector<Presented> TakePresents() {
    std::lock_guard<std::mutex> guard(display().lock);
    std::vector<Presented> taken;
    taken.swap(display().presents);
    return taken;
}

cairo_surface_t* Screen(HWND window) {
    std::lock_guard<std::mutex> guard(display().lock);
    auto found = display().screens.find(window);
    return found == display().screens.end() ? nullptr : CopyOf(found->second);
}

void ExposeArea(HWND window, const RECT& area) {
    std::lock_guard<std::mutex> guard(display().lock);
    auto found = display().screens.find(window);
    if (found == display().screens.end()) return;
    cairo_t* cr = cairo_create(found->second);
    cairo_rectangle(cr, area.left, area.top, area.right - area.left, area.bottom - area.top);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    cairo_destroy(cr);
    display().exposes.emplace_back(window, area);
}

}  // namespace offscreen
}  // namespace platform::video
