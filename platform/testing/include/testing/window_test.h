// Driving the window side of the stand-in from tests: the program's WinMain run end
// to end, headless and deterministic, or windows of a test's own.
//
// Both run on the offscreen video backend with a virtual clock that starts at 0 and
// moves only when a test advances it, so timers fire exactly when a test says so.
#pragma once

#include <windows.h>

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/cairo_ptr.h"
#include "testing/program_calls.h"
#include "user32/user32.h"

namespace platform::test {

// Pixels as 0xRRGGBB (note: COLORREF is 0x00BBGGRR; see PixelOf).
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const;
};
// A PNG file's pixels, as Snapshot would give them; empty when it cannot be read.
Image LoadPng(const std::string& path);
// Where two images of the same size differ outside except: how many pixels, and the
// first of them in reading order ((-1, -1) when none).
struct ImageDifference {
    int count = 0;
    POINT first{-1, -1};
};
ImageDifference Difference(const Image& actual, const Image& expected, const RECT& except = RECT{});
constexpr uint32_t PixelOf(COLORREF color) {
    return (static_cast<uint32_t>(GetRValue(color)) << 16) | (static_cast<uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
}

// One present to the display: the rectangles of a top-level window's client area
// that were sent, and what the display showed of the window right after.
struct Presented {
    HWND window = nullptr;
    std::vector<RECT> area;
    Image screen;
};

class Program;
using Step = std::function<void(Program&)>;

struct RunOptions {
    bool failRegisterClass = false;  // the program's first RegisterClassA fails
    bool failCreateWindow = false;   // the program's first top-level CreateWindowExA fails
};

struct RunResult {
    int exitCode = 0;
    size_t stepsRun = 0;          // how many of the steps ran, in order from the first
    bool stepsExhausted = false;  // the program still waited after the last step
    std::vector<MessageBoxRecord> messageBoxes;
    // Which of the RunOptions failures the program actually ran into.
    bool registerClassFailed = false;
    bool createWindowFailed = false;
    // After the steps ran out and WM_CLOSE was posted, the program went idle again
    // instead of quitting, and the driver ended the loop with WM_QUIT (code 0).
    bool forcedQuit = false;
};

// Forgets every window, class, queue, timer, message box, device context and the open
// video backend, without sending messages: the program whose windows these were is
// no longer running.
void ResetWindowSystem();

// Runs WinMain(instance, nullptr, "", SW_SHOWDEFAULT) on the calling thread with the
// offscreen backend and a virtual clock starting at 0. Each time the message loop has
// nothing to do at the current virtual time (no posted message, no input, no paint,
// no due timer), the next step runs on the window thread. If the steps run out while
// the program still waits, the run ends: stepsExhausted = true and the driver posts
// WM_CLOSE to the main window so the program shuts down normally. All window state
// (classes, windows, timers, queue, trace, message boxes) is reset before and after.
RunResult RunWinMain(std::vector<Step> steps, RunOptions options = {});

// Actions on the windows of the calling thread, shared by Program and Desktop.
class WindowDriver {
public:
    // Mouse down and up at the centre of window through the input path, as a user's
    // click: the messages are queued and handled when the loop next runs.
    void Click(HWND window);
    // A key pressed and released on topLevel's keyboard through the input path, with
    // Alt held around it when alt is set (Alt down, key down, key up, Alt up).
    void PressKey(HWND topLevel, UINT virtualKey, bool alt = false);
    // One half of a key stroke, for a key held down.
    void Key(HWND topLevel, UINT virtualKey, bool pressed, bool alt = false);
    // The virtual clock; timers that become due fire before the next step.
    void AdvanceTime(uint32_t milliseconds);
    uint64_t Now();
    // The user drags the frame: outer size, the Windows resize path (WM_SIZE,
    // invalidation by the class styles).
    void Resize(HWND topLevel, int outerWidth, int outerHeight);
    // What the display shows of a top-level window's client area: the pixels the
    // window manager presented, as the offscreen backend received them. Only presents
    // change it. Empty for an unknown window.
    Image Snapshot(HWND topLevel);
    bool SavePng(HWND topLevel, const std::string& path);
    // GDI and DrawText calls the program made since the last take (or the start), with
    // GetDC/ReleaseDC/BeginPaint/EndPaint; the platform's own drawing is left out.
    std::vector<GdiCall> TakeTrace();
    // Presents since the last take (or the start), oldest first.
    std::vector<Presented> TakePresents();
    // The display loses area of a top-level window's client area (it turns black) and
    // reports it with an expose event, handled when the loop next runs.
    void ExposeArea(HWND topLevel, const RECT& area);
};

// The program as RunWinMain runs it, handed to each step.
class Program {
public:
    HWND MainWindow();            // the program's first top-level window, or null
    HWND Control(int controlId);  // child of the main window with that id, or null
    void Click(HWND button) { driver_.Click(button); }
    void PressKey(UINT virtualKey, bool alt = false) { driver_.PressKey(MainWindow(), virtualKey, alt); }
    void Key(UINT virtualKey, bool pressed) { driver_.Key(MainWindow(), virtualKey, pressed); }
    void AdvanceTime(uint32_t milliseconds) { driver_.AdvanceTime(milliseconds); }
    void Resize(int outerWidth, int outerHeight) { driver_.Resize(MainWindow(), outerWidth, outerHeight); }
    void Close();  // the user closes the main window: WM_CLOSE posted
    Image Snapshot() { return driver_.Snapshot(MainWindow()); }
    bool SavePng(const std::string& path) { return driver_.SavePng(MainWindow(), path); }
    std::vector<GdiCall> TakeTrace() { return driver_.TakeTrace(); }
    std::vector<Presented> TakePresents() { return driver_.TakePresents(); }
    void ExposeArea(const RECT& area) { driver_.ExposeArea(MainWindow(), area); }
    uint64_t Now() { return driver_.Now(); }

private:
    WindowDriver driver_;
};

// Windows of a test's own: while one exists, the calling thread has a fresh window
// system (offscreen, virtual clock at 0, trace and message boxes recorded). Messages
// are taken with PumpUntilIdle, or with the test's own GetMessageA loop: when the
// queue is idle, GetMessageA runs the next idle action, and when none is left it
// returns 0 with the quit code IdleQuitCode.
class Desktop : public WindowDriver {
public:
    static constexpr int IdleQuitCode = 0x1D1E;

    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Takes and dispatches messages until none is ready at the current time; returns
    // them in the order they were taken. Stops after WM_QUIT, which is not dispatched.
    std::vector<MSG> PumpUntilIdle();
    void AddIdleAction(std::function<void()> action);
    std::vector<MessageBoxRecord> TakeMessageBoxes();
};

// A memory surface with a device context on it, for drawing tests without windows.
class Canvas {
public:
    // clip, when given, limits what drawing through dc() may change, as a paint's
    // update region does.
    Canvas(int width, int height, uint32_t background = 0xFFFFFF, const RECT* clip = nullptr);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC dc() const { return dc_; }
    Image Pixels() const;

private:
    base::SurfacePtr surface_;
    HDC dc_;
};

}  // namespace platform::test
