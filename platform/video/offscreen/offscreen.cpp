// Windows that exist only in memory: the window manager already keeps every client
// area in an image surface, so there is nothing to show. For debugging without a
// display, PLATFORM_VIDEO_DUMP=<directory> writes every presented frame as a PNG.
#include "video/video.h"

#include <cstdio>
#include <cstdlib>

namespace platform::video {
namespace {

class OffscreenWindow final : public Window {
public:
    OffscreenWindow(HWND window, std::string dumpDirectory) : window_(window), dumpDirectory_(std::move(dumpDirectory)) {}

    void SetTitle(const std::string&) override {}
    void Show(bool) override {}
    void Resize(int, int) override {}
    bool WantsFrames() const override { return !dumpDirectory_.empty(); }

    void Present(cairo_surface_t* clientImage) override {
        char path[4096];
        std::snprintf(path, sizeof path, "%s/window-%zx-frame-%05u.png", dumpDirectory_.c_str(),
                      static_cast<size_t>(reinterpret_cast<uintptr_t>(window_)), frameCount_++);
        if (cairo_surface_write_to_png(clientImage, path) != CAIRO_STATUS_SUCCESS) {
            std::fprintf(stderr, "video offscreen: cannot write %s\n", path);
        }
    }

private:
    HWND window_;
    std::string dumpDirectory_;
    unsigned frameCount_ = 0;
};

class OffscreenBackend final : public Backend {
public:
    std::unique_ptr<Window> CreateWindow(HWND window, int, int) override {
        const char* dump = std::getenv("PLATFORM_VIDEO_DUMP");
        return std::make_unique<OffscreenWindow>(window, dump ? dump : "");
    }
    int EventDescriptor() const override { return -1; }
    void DispatchEvents(EventSink&) override {}
    SIZE ScreenSize() const override { return SIZE{1920, 1080}; }
};

std::unique_ptr<Backend> CreateOffscreen(std::string&) { return std::make_unique<OffscreenBackend>(); }

}  // namespace

const BackendEntry OffscreenBackendEntry = {"offscreen", "in-memory windows; frames as PNG with PLATFORM_VIDEO_DUMP",
                                            CreateOffscreen};

}  // namespace platform::video
