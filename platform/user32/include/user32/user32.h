// Internals of the window manager that the test surface and the other layers use.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "video/video.h"

namespace platform::user32 {

// The instance handle that main() passes to WinMain.
HINSTANCE ProgramInstance();

// From now on the first SIGTERM, SIGINT or SIGHUP closes the calling thread's
// top-level windows through its message queue, and a second one of the same kind ends
// the process as it would have by default. Signals ignored at start stay ignored.
// main() calls it before WinMain.
void CloseWindowsOnTerminationSignals();

// Where timers get the time. The program uses the monotonic clock; the test driver
// installs a clock that only moves when a test says so.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t NowMilliseconds() = 0;
};
// Null restores the monotonic clock. Set while no window thread runs.
void SetClock(Clock* clock);
uint64_t NowMilliseconds();
// Nanoseconds from now until the clock reads dueMilliseconds; 0 when that has passed.
int64_t NanosecondsUntil(uint64_t dueMilliseconds);

// What a thread does when its queue has nothing to deliver at the current time.
// The program sleeps until the display has events or the next timer is due; the
// test driver runs its next step instead.
class IdleHandler {
public:
    virtual ~IdleHandler() = default;
    // nextTimerDue: the clock time at which the earliest timer of the thread is due.
    virtual void OnIdle(std::optional<uint64_t> nextTimerDue) = 0;
};
// Null restores sleeping. Set while no window thread runs.
void SetIdleHandler(IdleHandler* handler);

// Takes the next message the way GetMessageA would, without waiting. False when
// there is none at the current time.
bool PeekNextMessage(MSG* message);

// Destroys every window (without sending messages), unregisters every class of the
// program, clears the calling thread's queue and timers.
// The layers below keep their state: platform/testing resets
// the whole window system.
void ResetAll();

// The top-level windows of the calling thread, oldest first.
std::vector<HWND> TopLevelWindows();
std::vector<HWND> Children(HWND window);
HMENU ControlId(HWND window);
// A point in window's client area in the client coordinates of its top-level window.
POINT ClientToTopLevel(HWND window, POINT point);
HWND TopLevelOf(HWND window);

// Where the display delivers input and window-manager events: the same calls a
// video backend makes, for a driver that plays the display.
video::EventSink& DisplayEvents();
// The user resizes a top-level window to an outer size: the Windows resize path.
void UserResize(HWND topLevel, int outerWidth, int outerHeight);

}  // namespace platform::user32
