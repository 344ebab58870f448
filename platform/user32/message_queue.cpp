// The per-thread message queue and message delivery.
//
// GetMessageA hands out, in this order: posted messages, input, the quit message,
// WM_PAINT for a window with an invalid region, WM_TIMER for a due timer. Paint and
// timer messages are made up at the moment they are asked for, so a window has at
// most one WM_PAINT and a timer at most one WM_TIMER pending, as on Windows.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

#include "gdi32/gdi32.h"
#include "base/text.h"
#include "user32/window_state.h"

namespace platform::user32 {
namespace {

std::atomic<IdleHandler*> installedIdleHandler{nullptr};

bool InRange(UINT message, UINT first, UINT last) { return (first == 0 && last == 0) || (message >= first && message <= last); }

bool TakeFrom(std::deque<MSG>& messages, HWND filter, UINT first, UINT last, MSG* message) {
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (MatchesWindowFilter(filter, it->hwnd) && InRange(it->message, first, last)) {
            *message = *it;
            messages.erase(it);
            return true;
        }
    }
    return false;
}

bool TakeNext(MessageQueue& queue, HWND filter, UINT first, UINT last, MSG* message) {
    if (video::Backend* backend = video::CurrentIfOpen()) backend->DispatchEvents(DisplayEvents());
    {
        std::lock_guard<std::mutex> guard(queue.postedLock);
        if (TakeFrom(queue.posted, filter, first, last, message)) return true;
    }
    while (!queue.input.empty()) {
        MSG input;
        bool deliverable = ResolveMouseInput(queue.input.front(), &input);
        if (deliverable && !(MatchesWindowFilter(filter, input.hwnd) && InRange(input.message, first, last))) break;
        queue.input.pop_front();
        if (deliverable) {
            *message = input;
            return true;
        }
    }
    if (queue.quitPending) {
        queue.quitPending = false;
        *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, static_cast<DWORD>(NowMilliseconds()), {}};
        return true;
    }
    if (InRange(WM_PAINT, first, last)) {
        if (HWND window = NextWindowToPaint(queue, filter)) {
            *message = MSG{window, WM_PAINT, 0, 0, static_cast<DWORD>(NowMilliseconds()), {}};
            return true;
        }
    }
    if (InRange(WM_TIMER, first, last) && TakeDueTimer(queue, filter, message)) return true;
    return false;
}

void SleepUntilWork(MessageQueue& queue, std::optional<uint64_t> nextTimerDue) {
    pollfd descriptors[2] = {{queue.wakeDescriptor, POLLIN, 0}, {-1, POLLIN, 0}};
    nfds_t count = 1;
    if (video::Backend* backend = video::CurrentIfOpen()) {
        int descriptor = backend->EventDescriptor();
        if (descriptor >= 0) descriptors[count++].fd = descriptor;
    }
    int timeout = -1;
    if (nextTimerDue) {
        uint64_t now = NowMilliseconds();
        timeout = *nextTimerDue <= now ? 0 : static_cast<int>(std::min<uint64_t>(*nextTimerDue - now, INT_MAX));
    }
    poll(descriptors, count, timeout);
    if (descriptors[0].revents & POLLIN) {
        uint64_t posts;
        [[maybe_unused]] ssize_t drained = read(queue.wakeDescriptor, &posts, sizeof posts);
    }
}

}  // namespace

MessageQueue::MessageQueue() : wakeDescriptor(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
MessageQueue::~MessageQueue() {
    if (wakeDescriptor >= 0) close(wakeDescriptor);
}

std::shared_ptr<MessageQueue> CurrentQueue() {
    thread_local std::shared_ptr<MessageQueue> queue = std::make_shared<MessageQueue>();
    return queue;
}

void SetIdleHandler(IdleHandler* handler) { installedIdleHandler.store(handler); }

bool MatchesWindowFilter(HWND filter, HWND window) {
    if (!filter) return true;
    // As on Windows, a window filter also lets through messages for its descendants.
    for (HWND walk = window; walk; walk = GetParent(walk)) {
        if (walk == filter) return true;
    }
    return false;
}

void PostToQueue(MessageQueue& queue, const MSG& message) {
    {
        std::lock_guard<std::mutex> guard(queue.postedLock);
        queue.posted.push_back(message);
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(queue.wakeDescriptor, &one, sizeof one);
}

void DropMessagesFor(MessageQueue& queue, HWND window) {
    auto forWindow = [window](const MSG& message) { return message.hwnd == window; };
    {
        std::lock_guard<std::mutex> guard(queue.postedLock);
        std::erase_if(queue.posted, forWindow);
    }
    std::erase_if(queue.input, [window](const MessageQueue::RawMouseButton& input) { return input.topLevel == window; });
}

void ResetCurrentQueue() {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    {
        std::lock_guard<std::mutex> guard(queue->postedLock);
        queue->posted.clear();
    }
    queue->input.clear();
    queue->quitPending = false;
    queue->quitCode = 0;
    queue->timers.clear();
    queue->nextThreadTimerId = 1;
    queue->capture = nullptr;
}

bool PeekNextMessage(MSG* message) { return TakeNext(*CurrentQueue(), nullptr, 0, 0, message); }

LRESULT CallWindowProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindow(handle);
    // Delivering to another thread's window would need that thread to run the call;
    // nothing in the program does that.
    if (!window || window->queue != CurrentQueue()) return 0;
    WNDPROC procedure = window->procedure;
    return procedure(handle, message, wParam, lParam);
}

}  // namespace platform::user32

using namespace platform::user32;
namespace video = platform::video;

extern "C" {

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) return -1;
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    while (true) {
        if (hWnd && QueueOf(hWnd) != queue) return -1;  // not a window of this thread
        if (TakeNext(*queue, hWnd, wMsgFilterMin, wMsgFilterMax, lpMsg)) return lpMsg->message == WM_QUIT ? 0 : 1;
        std::optional<uint64_t> nextTimerDue = NextTimerDue(*queue);
        if (IdleHandler* handler = installedIdleHandler.load()) {
            handler->OnIdle(nextTimerDue);
        } else {
            SleepUntilWork(*queue, nextTimerDue);
        }
    }
}

BOOL WINAPI TranslateMessage(const MSG*) {
    // No keyboard input reaches the stand-in, so there are no characters to make.
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        auto procedure = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        procedure(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, static_cast<DWORD>(NowMilliseconds()));
        return 0;
    }
    return CallWindowProcedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcedure(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<MessageQueue> queue = hWnd ? QueueOf(hWnd) : CurrentQueue();
    if (!queue) return FALSE;
    PostToQueue(*queue, MSG{hWnd, Msg, wParam, lParam, static_cast<DWORD>(NowMilliseconds()), {}});
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    queue->quitPending = true;
    queue->quitCode = nExitCode;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    case WM_ERASEBKGND: {
        Window* window = FindWindow(hWnd);
        if (!window || !window->classBackground) return 0;
        platform::gdi32::PlatformDrawing ownDrawing;
        RECT client{0, 0, window->clientWidth, window->clientHeight};
        return platform::gdi32::FillWithBrush(reinterpret_cast<HDC>(wParam), client, window->classBackground) ? 1 : 0;
    }
    case WM_PAINT: {
        platform::gdi32::PlatformDrawing ownDrawing;
        PAINTSTRUCT paint;
        BeginPaint(hWnd, &paint);
        EndPaint(hWnd, &paint);
        return 0;
    }
    case WM_SETTEXT: {
        Window* window = FindWindow(hWnd);
        if (!window) return FALSE;
        window->text = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
        if (window->native) window->native->SetTitle(platform::base::Latin1ToUtf8(window->text));
        if (window->parent) InvalidateRect(hWnd, nullptr, TRUE);
        return TRUE;
    }
    case WM_GETTEXT: {
        Window* window = FindWindow(hWnd);
        if (!window || wParam == 0 || !lParam) return 0;
        size_t copied = std::min<size_t>(window->text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), window->text.data(), copied);
        reinterpret_cast<char*>(lParam)[copied] = '\0';
        return static_cast<LRESULT>(copied);
    }
    case WM_GETTEXTLENGTH: {
        Window* window = FindWindow(hWnd);
        return window ? static_cast<LRESULT>(window->text.size()) : 0;
    }
    default: return 0;
    }
}

}  // extern "C"
