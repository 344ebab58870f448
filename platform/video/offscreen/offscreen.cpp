// Windows that exist only in memory. Each window has a screen image that presents
// draw into, as a display would, so tests can see what reached it and when. For
// debugging without a display, PLATFORM_VIDEO_DUMP=<directory> writes the screen after
// every present as a PNG. PLATFORM_VIDEO_SCALE=<scale> shows the windows at a
// desktop's scale (2 for 200 %): the screens are then in device pixels, the reference
// a real display at that scale is compared with.
#include "video/offscreen/offscreen.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "video/video.h"

namespace platform::video {
namespace {

struct Display {
    std::mutex lock;
    bool recording = false;
    std::vector<offscreen::Presented> presents;
    std::map<HWND, base::SurfacePtr> screens;  // device pixels
    std::map<HWND, double> scales;
    std::deque<std::pair<HWND, RECT>> exposes;
};

Display& display() {
    // Never destroyed, like the other backends' connections.
    static Display* instance = new Display;
    return *instance;
}

// The scale asked for by PLATFORM_VIDEO_SCALE; 1 when it is unset or not a number.
double ScaleFromEnvironment() {
    const char* text = std::getenv("PLATFORM_VIDEO_SCALE");
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    const double scale = std::strtod(text, &end);
    if (end == text || *end != '\0') {
        std::fprintf(stderr, "video offscreen: PLATFORM_VIDEO_SCALE=%s is not a number; using 1\n", text);
        return 1.0;
    }
    return base::ClampScale(scale);
}

cairo_rectangle_int_t ToDevice(const cairo_rectangle_int_t& logical, double scale) {
    const int left = base::DeviceStart(logical.x, scale), top = base::DeviceStart(logical.y, scale);
    return cairo_rectangle_int_t{left, top, base::DeviceEnd(logical.x + logical.width, scale) - left,
                                 base::DeviceEnd(logical.y + logical.height, scale) - top};
}

// The device pixels of an image as they are, without its device scale, so that they
// are copied one for one rather than resampled.
base::SurfacePtr DevicePixelsOf(cairo_surface_t* image) {
    cairo_surface_flush(image);
    return base::SurfacePtr(cairo_image_surface_create_for_data(
        cairo_image_surface_get_data(image), cairo_image_surface_get_format(image), cairo_image_surface_get_width(image),
        cairo_image_surface_get_height(image), cairo_image_surface_get_stride(image)));
}

base::SurfacePtr CopyOf(cairo_surface_t* surface) {
    base::SurfacePtr copy(cairo_image_surface_create(CAIRO_FORMAT_RGB24, cairo_image_surface_get_width(surface),
                                                     cairo_image_surface_get_height(surface)));
    const base::ContextPtr cr(cairo_create(copy.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr.get(), surface, 0, 0);
    cairo_paint(cr.get());
    return copy;
}

// Clips to the device pixels that cover a logical area.
void ClipTo(cairo_t* cr, const cairo_region_t* area, double scale) {
    for (int i = 0; i < cairo_region_num_rectangles(area); ++i) {
        cairo_rectangle_int_t part;
        cairo_region_get_rectangle(area, i, &part);
        part = ToDevice(part, scale);
        cairo_rectangle(cr, part.x, part.y, part.width, part.height);
    }
    cairo_clip(cr);
}

class OffscreenWindow final : public Window {
public:
    OffscreenWindow(HWND window, int width, int height, double scale, std::string dumpDirectory)
        : window_(window), scale_(scale), dumpDirectory_(std::move(dumpDirectory)) {
        std::lock_guard<std::mutex> guard(display().lock);
        display().screens[window_] = NewScreen(width, height);
        display().scales[window_] = scale_;
    }
    ~OffscreenWindow() override {
        std::lock_guard<std::mutex> guard(display().lock);
        display().screens.erase(window_);
        display().scales.erase(window_);
    }

    void SetTitle(const std::string&) override {}
    void Show(bool) override {}
    void Resize(int width, int height) override {
        std::lock_guard<std::mutex> guard(display().lock);
        base::SurfacePtr& screen = display().screens[window_];
        base::SurfacePtr resized = NewScreen(width, height);
        {
            const base::ContextPtr cr(cairo_create(resized.get()));
            cairo_set_source_surface(cr.get(), screen.get(), 0, 0);
            cairo_paint(cr.get());
        }
        screen = std::move(resized);
    }
    bool WantsFrames() const override { return true; }

    void Present(std::span<const Layer> layers) override {
        std::lock_guard<std::mutex> guard(display().lock);
        cairo_surface_t* screen = display().screens[window_].get();
        const base::RegionPtr shown(cairo_region_create());
        for (const Layer& layer : layers) {
            // As far as a layer lets a display go: over its whole box where it may be
            // widened, so that a layer widened wrongly shows in the screen.
            const base::RegionPtr sent(cairo_region_copy(layer.area));
            if (layer.mayWiden) {
                cairo_rectangle_int_t extents;
                cairo_region_get_extents(layer.area, &extents);
                cairo_region_union_rectangle(sent.get(), &extents);
            }
            {
                const base::ContextPtr cr(cairo_create(screen));
                ClipTo(cr.get(), sent.get(), scale_);
                cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
                const base::SurfacePtr pixels = DevicePixelsOf(layer.image);
                const int imageX = base::DeviceStart(layer.origin.x, scale_), imageY = base::DeviceStart(layer.origin.y, scale_);
                // Only where the image has pixels, as on a real display: at 1.25 a button
                // from logical 10 to 70 covers device pixels 12 to 87, yet its image (75
                // pixels from 12) ends before 87, where the screen keeps what it showed.
                cairo_rectangle(cr.get(), imageX, imageY, cairo_image_surface_get_width(pixels.get()),
                                cairo_image_surface_get_height(pixels.get()));
                cairo_clip(cr.get());
                cairo_set_source_surface(cr.get(), pixels.get(), imageX, imageY);
                cairo_paint(cr.get());
            }
            cairo_region_union(shown.get(), sent.get());
        }
        cairo_surface_flush(screen);
        offscreen::Presented record{window_, {}, nullptr};
        for (int i = 0; i < cairo_region_num_rectangles(shown.get()); ++i) {
            cairo_rectangle_int_t part;
            cairo_region_get_rectangle(shown.get(), i, &part);
            record.area.push_back(RECT{part.x, part.y, part.x + part.width, part.y + part.height});
        }
        if (display().recording) {
            record.screen = CopyOf(screen);
            display().presents.push_back(std::move(record));
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
    // The screen of a window of this logical size: device pixels.
    base::SurfacePtr NewScreen(int width, int height) const {
        return base::SurfacePtr(cairo_image_surface_create(CAIRO_FORMAT_RGB24, base::DeviceEnd(std::max(width, 0), scale_),
                                                           base::DeviceEnd(std::max(height, 0), scale_)));
    }

    HWND window_;
    double scale_;
    std::string dumpDirectory_;
    unsigned frameCount_ = 0;
};

class OffscreenBackend final : public Backend {
public:
    explicit OffscreenBackend(double scale) : scale_(scale) {}

    std::unique_ptr<Window> CreateWindow(HWND window, int width, int height, EventSink& events) override {
        const char* dump = std::getenv("PLATFORM_VIDEO_DUMP");
        auto created = std::make_unique<OffscreenWindow>(window, width, height, scale_, dump ? dump : "");
        if (scale_ != 1.0) events.OnScaleChanged(window, scale_);
        return created;
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
    // A 1920 x 1080 screen in logical pixels, whatever the scale: a test sees the same
    // layout at every scale.
    SIZE ScreenSize() const override { return SIZE{1920, 1080}; }

private:
    double scale_;
};

std::unique_ptr<Backend> CreateOffscreen(std::string&) { return std::make_unique<OffscreenBackend>(ScaleFromEnvironment()); }

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
    // The forgotten screens go here, outside the lock.
}

std::vector<Presented> TakePresents() {
    std::lock_guard<std::mutex> guard(display().lock);
    std::vector<Presented> taken;
    taken.swap(display().presents);
    return taken;
}

base::SurfacePtr Screen(HWND window) {
    std::lock_guard<std::mutex> guard(display().lock);
    auto found = display().screens.find(window);
    return found == display().screens.end() ? nullptr : CopyOf(found->second.get());
}

void ExposeArea(HWND window, const RECT& area) {
    std::lock_guard<std::mutex> guard(display().lock);
    auto found = display().screens.find(window);
    if (found == display().screens.end()) return;
    const cairo_rectangle_int_t lost =
        ToDevice({area.left, area.top, area.right - area.left, area.bottom - area.top}, display().scales[window]);
    const base::ContextPtr cr(cairo_create(found->second.get()));
    cairo_rectangle(cr.get(), lost.x, lost.y, lost.width, lost.height);
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
    cairo_fill(cr.get());
    display().exposes.emplace_back(window, area);
}

}  // namespace offscreen
}  // namespace platform::video
