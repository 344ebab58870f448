// The per-thread message queue and message delivery; the thread sleeps in
// message_wait.cpp when there is nothing to deliver.
//
// GetMessageA hands out, in this order: posted messages, input, the quit message,
// WM_PAINT for a window with an invalid region, WM_TIMER for a due timer. Paint and
// timer messages are made up at the moment they are asked for, so a window has at
// most one WM_PAINT and a timer at most one WM_TIMER pending, as on Windows.
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "window_state.h"

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
    if (video::Backend* backend = video::CurrentIfOpen()) {
        backend->DispatchEvents(DisplayEvents(), queue.displayReadable);
        queue.displayReadable = false;
    }
    {
        std::lock_guard<std::mutex> guard(queue.postedLock);
        if (TakeFrom(queue.posted, filter, first, last, message)) return true;
    }
    while (!queue.input.empty()) {
        MSG input;
        const MessageQueue::RawInput raw = queue.input.front();
        bool deliverable = ResolveInput(queue, raw, &input);
        if (deliverable && !(MatchesWindowFilter(filter, input.hwnd) && InRange(input.message, first, last))) break;
        queue.input.pop_front();
        NoteInputTaken(queue, raw, deliverable ? &input : nullptr);
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
    std::erase_if(queue.input, [window](const MessageQueue::RawInput& input) { return input.topLevel == window; });
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
    queue->focus = nullptr;
    queue->active = nullptr;
    queue->keysDown.reset();
    queue->lastKeyDown = MSG{};
    queue->lastKeyCharacter = 0;
    queue->invalidWindows.clear();
    queue->displayReadable = false;
    queue->presentHolds = 0;
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

extern "C" {

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) return -1;
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    while (true) {
        if (hWnd && QueueOf(hWnd) != queue) return -1;  // not a window of this thread
        TakeCloseRequest(*queue);
        if (TakeNext(*queue, hWnd, wMsgFilterMin, wMsgFilterMax, lpMsg)) return lpMsg->message == WM_QUIT ? 0 : 1;
        std::optional<uint64_t> nextTimerDue = NextTimerDue(*queue);
        if (IdleHandler* handler = installedIdleHandler.load()) {
            handler->OnIdle(nextTimerDue);
        } else {
            SleepUntilWork(*queue, nextTimerDue);
        }
    }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN)) return FALSE;
    // The character comes from the key press as it was taken from the input; a message
    // made up by the program types what the key types on a US layout.
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    const MSG& taken = queue->lastKeyDown;
    const bool same = taken.hwnd == lpMsg->hwnd && taken.message == lpMsg->message && taken.wParam == lpMsg->wParam &&
                      taken.lParam == lpMsg->lParam && taken.time == lpMsg->time;
    unsigned char character = same ? queue->lastKeyCharacter : CharacterOfKey(static_cast<UINT>(lpMsg->wParam));
    if (character == 0) return FALSE;
    PostToQueue(*queue, MSG{lpMsg->hwnd,
                            lpMsg->message == WM_KEYDOWN ? static_cast<UINT>(WM_CHAR) : WM_SYSCHAR,
                            character,
                            lpMsg->lParam,
                            lpMsg->time,
                            {}});
    return TRUE;
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

}  // extern "C"
