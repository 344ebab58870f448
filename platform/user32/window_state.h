// The objects behind HWNDs and the per-thread message queues; private to user32.
#pragma once

#include <windows.h>

#include <cairo.h>

#include <bitset>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/cairo_ptr.h"
#include "user32/user32.h"
#include "video/video.h"

namespace platform::user32 {

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
    HBRUSH background = nullptr;
    bool system = false;  // built in, like "BUTTON"
};

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT period;
    TIMERPROC procedure;
    uint64_t due;
};

// One per thread that creates windows or posts to itself. Other threads may post, so
// posted messages sit behind a lock; everything else belongs to the owner thread.
struct MessageQueue {
    MessageQueue();
    ~MessageQueue();

    std::mutex postedLock;
    std::deque<MSG> posted;
    int wakeDescriptor = -1;  // an eventfd written by threads that post here

    // Input as the display reported it. Which window gets it is decided when it is
    // taken, as on Windows, so a capture taken by a press applies to the release and
    // the focus a click gave applies to the keys typed after it.
    struct RawInput {
        enum class Kind { MouseButton, Key };
        Kind kind;
        HWND topLevel;
        bool pressed;             // button or key down
        POINT point;              // mouse: top-level client coordinates
        UINT virtualKey;          // key: VK_xxx
        bool altDown;             // key: Alt is held
        unsigned char character;  // key: what it types (Western code page), 0 for none
        DWORD time;
    };
    std::deque<RawInput> input;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimerId = 1;
    HWND capture = nullptr;
    HWND focus = nullptr;   // gets the keys
    HWND active = nullptr;  // the top-level window the user works in
    std::bitset<256> keysDown;
    // The last key press handed out and the character it types, for TranslateMessage.
    MSG lastKeyDown{};
    unsigned char lastKeyCharacter = 0;

    // Windows of this queue whose update region is not empty, so that finding one to
    // paint costs nothing when all are valid. Ordered by handle: oldest first.
    std::set<HWND> invalidWindows;
    // The display's descriptor polled readable since its events were last read.
    bool displayReadable = false;
    // While above zero, changed pixels are collected and shown together afterwards.
    int presentHolds = 0;
};

std::shared_ptr<MessageQueue> CurrentQueue();

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<MessageQueue> queue;
    WNDPROC procedure = nullptr;
    UINT classStyle = 0;
    HBRUSH classBackground = nullptr;
    ATOM classAtom = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;
    HMENU menu = nullptr;  // a child's control id
    HINSTANCE instance = nullptr;
    std::string text;

    // Top-level: the outer rectangle in screen coordinates. Child: its rectangle in the
    // parent's client coordinates.
    RECT rect{};
    int clientWidth = 0, clientHeight = 0;
    bool visible = false;
    bool destroying = false;

    // Top-level only: the display's device pixels per logical pixel, which the whole
    // tree's surfaces are kept at (EventSink::OnScaleChanged).
    double scale = 1.0;
    base::SurfacePtr surface;  // the client area's pixels, at the tree's scale
    base::RegionPtr update;    // invalid part of the client area
    // Top-level only: the part of the client area, children included, whose pixels
    // changed since they were last shown on the display.
    base::RegionPtr unpresented;
    bool erasePending = false;
    std::unique_ptr<video::Window> native;  // top-level windows only
    std::vector<HWND> children;             // oldest first

    bool buttonPressed = false;
};

// The window behind a handle, or null. Only the owner thread may use the result, and
// only until it calls out to a window procedure (which may destroy the window).
Window* FindWindow(HWND handle);
std::shared_ptr<MessageQueue> QueueOf(HWND handle);
HWND AllocateWindow(std::unique_ptr<Window> window);
void FreeWindow(HWND handle);
// Every live handle, oldest first.
std::vector<HWND> AllWindows();

std::optional<WindowClass> FindClass(LPCSTR nameOrAtom);
void ResetClasses();
void RegisterSystemClasses();

LRESULT CALLBACK ButtonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Geometry (geometry.cpp).
RECT FrameInsets(DWORD style);
POINT DefaultWindowPosition();
// The largest tracking size (SM_CXMAXTRACK, SM_CYMAXTRACK), and a window's outer
// rectangle with its size kept within it where Windows keeps it.
SIZE MaxTrackSize();
RECT BoundToMaxTrack(DWORD style, RECT rect);
void SetWindowGeometry(HWND handle, const RECT& rect, bool repaint, bool fromDisplay);
bool IsShownOnScreen(const Window& window);

// Painting (paint.cpp).
void InvalidateClient(Window& window, const RECT* rect, bool erase);
void InvalidateTree(HWND handle);
// Marks area (in window's client coordinates) as changed; PresentChanges shows every
// changed part of a tree, unless presents are held.
void NoteChanged(HWND window, const cairo_region_t* area);
void NoteChangedRect(HWND window, const RECT& area);
void PresentChanges(HWND anyWindowOfTheTree);
// Shows area of a top-level window again from the pixels its windows keep, without
// painting: what the display lost (an expose) is still valid here.
void PresentAgain(HWND topLevel, const RECT& area);
HWND NextWindowToPaint(const MessageQueue& queue, HWND filter);
// What BeginPaint and EndPaint do, for the platform's own painting (button faces,
// DefWindowProcA), which does not go through the program's entry points.
HDC BeginWindowPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndWindowPaint(HWND window, const PAINTSTRUCT* paint);
void DropSurface(Window& window);
// Makes the surface the client size at the tree's scale, keeping what it can.
void ResizeSurface(Window& window);
// The scale of window's tree: its top-level window's.
double ScaleOf(const Window& window);
// The display presents topLevel at scale from now on: every surface of the tree is
// made anew at it, and the tree is painted and shown again.
void SetTreeScale(HWND topLevel, double scale);

// Timers (timers.cpp).
bool TakeDueTimer(MessageQueue& queue, HWND filter, MSG* message);
std::optional<uint64_t> NextTimerDue(const MessageQueue& queue);
void KillWindowTimers(MessageQueue& queue, HWND window);

// Messages (message_queue.cpp).
// True when a message for window passes GetMessageA's window filter.
bool MatchesWindowFilter(HWND filter, HWND window);
LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void DropMessagesFor(MessageQueue& queue, HWND window);
void PostToQueue(MessageQueue& queue, const MSG& message);
void ResetCurrentQueue();

// The wait (message_wait.cpp): sleeps until another thread posts, the display has
// events, or nextTimerDue comes; notes in queue which of them woke it.
void SleepUntilWork(MessageQueue& queue, std::optional<uint64_t> nextTimerDue);

// Termination signals (termination_signals.cpp): posts WM_CLOSE to the calling
// thread's top-level windows when a signal asked for it and queue is the one the
// signals wake.
void TakeCloseRequest(const MessageQueue& queue);

// Input (input.cpp).
void SetCapture(HWND window);
void ReleaseCapture();
HWND Capture();
// The message for raw input, addressed to the window that gets it: the mouse to the
// window under it (or the capture), keys to the focus (or the active window). False
// when no window gets it.
bool ResolveInput(const MessageQueue& queue, const MessageQueue::RawInput& input, MSG* message);
// Input leaves the queue: the key state moves on, and a delivered key press is kept
// for TranslateMessage. delivered is null when no window got the input.
void NoteInputTaken(MessageQueue& queue, const MessageQueue::RawInput& input, const MSG* delivered);
// Makes a shown top-level window the active one, which gives it the focus through
// DefWindowProc's WM_ACTIVATE.
void Activate(HWND topLevel);
// A window that goes away stops being the focus or the active window.
void ForgetInputOwner(MessageQueue& queue, HWND window);
// The character TranslateMessage makes of a key, as the US layout types it unshifted.
unsigned char CharacterOfKey(UINT virtualKey);

}  // namespace platform::user32
