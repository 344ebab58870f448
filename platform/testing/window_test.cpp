#include "testing/window_test.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "gdi32/gdi32.h"
#include "video/offscreen/offscreen.h"
#include "video/video.h"

namespace platform::test {
namespace {

class VirtualClock final : public user32::Clock {
public:
    uint64_t NowMilliseconds() override { return now_.load(); }
    void Advance(uint32_t milliseconds) { now_.fetch_add(milliseconds); }
    void Restart() { now_.store(0); }

private:
    std::atomic<uint64_t> now_{0};
};

VirtualClock& TestClock() {
    static VirtualClock instance;
    return instance;
}

// A fresh, headless, deterministic window system on the calling thread.
void EnterHeadless(user32::IdleHandler* idle) {
    ResetWindowSystem();
    video::OverrideOrder({"offscreen"});
    TestClock().Restart();
    user32::SetClock(&TestClock());
    user32::SetIdleHandler(idle);
    RecordDrawing(true);
    RecordMessageBoxes(true);
    video::offscreen::RecordPresents(true);
}

void LeaveHeadless() {
    ResetWindowSystem();
    user32::SetIdleHandler(nullptr);
    user32::SetClock(nullptr);
    video::OverrideOrder({});
    RecordDrawing(false);
    RecordMessageBoxes(false);
    video::offscreen::RecordPresents(false);
}

Image ToImage(cairo_surface_t* surface) {
    Image image;
    if (!surface) return image;
    cairo_surface_flush(surface);
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) image.pixels[static_cast<size_t>(y) * image.width + x] = row[x] & 0xFFFFFF;
    }
    return image;
}

class StepRunner final : public user32::IdleHandler {
public:
    StepRunner(std::vector<Step> steps, Program& program) : steps_(std::move(steps)), program_(program) {}

    void OnIdle(std::optional<uint64_t>) override {
        if (next_ < steps_.size()) {
            steps_[next_++](program_);
            return;
        }
        HWND main = program_.MainWindow();
        if (!closePosted_ && main) {
            stepsExhausted = true;
            closePosted_ = true;
            PostMessageA(main, WM_CLOSE, 0, 0);
            return;
        }
        // Still waiting after being asked to close: end the loop so the test can report it.
        forcedQuit = true;
        if (++forcedQuits_ > 1000) {
            std::fprintf(stderr, "window test: the program ignores WM_QUIT; giving up\n");
            std::abort();
        }
        PostQuitMessage(0);
    }

    size_t StepsRun() const { return next_; }

    bool stepsExhausted = false;
    bool forcedQuit = false;

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
    Program& program_;
    bool closePosted_ = false;
    int forcedQuits_ = 0;
};

class IdleActions final : public user32::IdleHandler {
public:
    void OnIdle(std::optional<uint64_t>) override {
        if (actions.empty()) {
            PostQuitMessage(Desktop::IdleQuitCode);
            return;
        }
        std::function<void()> action = std::move(actions.front());
        actions.pop_front();
        action();
    }
    std::deque<std::function<void()>> actions;
};

IdleActions& PendingIdleActions() {
    static IdleActions instance;
    return instance;
}

}  // namespace

Image LoadPng(const std::string& path) {
    const base::SurfacePtr loaded(cairo_image_surface_create_from_png(path.c_str()));
    return cairo_surface_status(loaded.get()) == CAIRO_STATUS_SUCCESS ? ToImage(loaded.get()) : Image{};
}

void ResetWindowSystem() {
    // Top down: windows hold device contexts and display windows.
    user32::ResetAll();
    gdi32::ResetDeviceContexts();
    video::Close();
}

uint32_t Image::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFF;  // never a pixel value
    return pixels[static_cast<size_t>(y) * width + x];
}

ImageDifference Difference(const Image& actual, const Image& expected, const RECT& except) {
    ImageDifference difference;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            if (x >= except.left && x < except.right && y >= except.top && y < except.bottom) continue;
            if (actual.At(x, y) == expected.At(x, y)) continue;
            if (difference.count++ == 0) difference.first = POINT{x, y};
        }
    }
    return difference;
}

void WindowDriver::Click(HWND window) {
    RECT client;
    if (!GetClientRect(window, &client)) return;
    POINT centre = user32::ClientToTopLevel(window, POINT{client.right / 2, client.bottom / 2});
    HWND topLevel = user32::TopLevelOf(window);
    user32::DisplayEvents().OnMouseButton(topLevel, centre.x, centre.y, true);
    user32::DisplayEvents().OnMouseButton(topLevel, centre.x, centre.y, false);
}

void WindowDriver::PressKey(HWND topLevel, UINT virtualKey, bool alt) {
    if (alt) Key(topLevel, VK_MENU, true, true);
    Key(topLevel, virtualKey, true, alt);
    Key(topLevel, virtualKey, false, alt);
    if (alt) Key(topLevel, VK_MENU, false, true);
}

void WindowDriver::Key(HWND topLevel, UINT virtualKey, bool pressed, bool alt) {
    user32::DisplayEvents().OnKey(topLevel, virtualKey, pressed, alt, 0);
}

void WindowDriver::AdvanceTime(uint32_t milliseconds) { TestClock().Advance(milliseconds); }
uint64_t WindowDriver::Now() { return TestClock().NowMilliseconds(); }

void WindowDriver::Resize(HWND topLevel, int outerWidth, int outerHeight) { user32::UserResize(topLevel, outerWidth, outerHeight); }

Image WindowDriver::Snapshot(HWND topLevel) { return ToImage(video::offscreen::Screen(topLevel).get()); }

bool WindowDriver::SavePng(HWND topLevel, const std::string& path) {
    const base::SurfacePtr screen = video::offscreen::Screen(topLevel);
    return screen && cairo_surface_write_to_png(screen.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::vector<GdiCall> WindowDriver::TakeTrace() { return TakeDrawing(); }

std::vector<Presented> WindowDriver::TakePresents() {
    std::vector<Presented> presents;
    for (video::offscreen::Presented& present : video::offscreen::TakePresents()) {
        presents.push_back(Presented{present.window, present.area, ToImage(present.screen.get())});
    }
    return presents;
}

void WindowDriver::ExposeArea(HWND topLevel, const RECT& area) { video::offscreen::ExposeArea(topLevel, area); }

HWND Program::MainWindow() {
    std::vector<HWND> topLevel = user32::TopLevelWindows();
    return topLevel.empty() ? nullptr : topLevel.front();
}

HWND Program::Control(int controlId) {
    for (HWND child : user32::Children(MainWindow())) {
        if (user32::ControlId(child) == reinterpret_cast<HMENU>(static_cast<intptr_t>(controlId))) return child;
    }
    return nullptr;
}

void Program::Close() { PostMessageA(MainWindow(), WM_CLOSE, 0, 0); }

RunResult RunWinMain(std::vector<Step> steps, RunOptions options) {
    Program program;
    StepRunner runner(std::move(steps), program);
    EnterHeadless(&runner);
    FailProgramCalls({options.failRegisterClass, options.failCreateWindow});

    char commandLine[] = "";
    RunResult result;
    result.exitCode = WinMain(user32::ProgramInstance(), nullptr, commandLine, SW_SHOWDEFAULT);
    result.stepsRun = runner.StepsRun();
    result.stepsExhausted = runner.stepsExhausted;
    result.forcedQuit = runner.forcedQuit;
    result.messageBoxes = TakeMessageBoxes();
    ProgramCallFailures used = FailedProgramCalls();
    FailProgramCalls({});
    result.registerClassFailed = used.registerClass;
    result.createWindowFailed = used.createTopLevelWindow;
    LeaveHeadless();
    return result;
}

Desktop::Desktop() {
    PendingIdleActions().actions.clear();
    EnterHeadless(&PendingIdleActions());
}

Desktop::~Desktop() {
    LeaveHeadless();
    PendingIdleActions().actions.clear();
}

std::vector<MSG> Desktop::PumpUntilIdle() {
    std::vector<MSG> taken;
    MSG message;
    while (user32::PeekNextMessage(&message)) {
        taken.push_back(message);
        if (message.message == WM_QUIT) break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return taken;
}

void Desktop::AddIdleAction(std::function<void()> action) { PendingIdleActions().actions.push_back(std::move(action)); }

std::vector<MessageBoxRecord> Desktop::TakeMessageBoxes() { return platform::test::TakeMessageBoxes(); }

Canvas::Canvas(int width, int height, uint32_t background, const RECT* clip) {
    surface_.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    {
        const base::ContextPtr cr(cairo_create(surface_.get()));
        cairo_set_source_rgb(cr.get(), ((background >> 16) & 0xFF) / 255.0, ((background >> 8) & 0xFF) / 255.0,
                             (background & 0xFF) / 255.0);
        cairo_paint(cr.get());
    }
    base::RegionPtr region;
    if (clip) {
        const cairo_rectangle_int_t part{clip->left, clip->top, clip->right - clip->left, clip->bottom - clip->top};
        region.reset(cairo_region_create_rectangle(&part));
    }
    dc_ = gdi32::CreateDc(nullptr, surface_.get(), region.get());
}

// The DC holds a reference to the surface, so it goes first.
Canvas::~Canvas() { gdi32::DeleteDc(dc_); }

Image Canvas::Pixels() const { return ToImage(surface_.get()); }

}  // namespace platform::test
