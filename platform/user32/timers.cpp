// Timers. A due timer turns into one WM_TIMER when the queue is asked for a message.
// It keeps its schedule: the next period starts where the last one ended, not when the
// message was taken, so lateness does not add up. A timer that falls behind (a busy
// thread, or a test that moves the clock far ahead) fires once, and the periods it
// missed are skipped rather than delivered late.
#include <algorithm>

#include "window_state.h"

namespace platform::user32 {
namespace {

constexpr UINT MinimumPeriod = 10;  // USER_TIMER_MINIMUM
constexpr UINT MaximumPeriod = 0x7FFFFFFF;

Timer* FindTimer(MessageQueue& queue, HWND window, UINT_PTR id) {
    for (Timer& timer : queue.timers) {
        if (timer.window == window && timer.id == id) return &timer;
    }
    return nullptr;
}

}  // namespace

bool TakeDueTimer(MessageQueue& queue, HWND filter, MSG* message) {
    uint64_t now = NowMilliseconds();
    Timer* earliest = nullptr;
    for (Timer& timer : queue.timers) {
        if (timer.due > now || !MatchesWindowFilter(filter, timer.window)) continue;
        if (!earliest || timer.due < earliest->due) earliest = &timer;
    }
    if (!earliest) return false;
    const uint64_t missed = (now - earliest->due) / earliest->period;
    earliest->due += (missed + 1) * earliest->period;
    *message =
        MSG{earliest->window, WM_TIMER, earliest->id, reinterpret_cast<LPARAM>(earliest->procedure), static_cast<DWORD>(now), {}};
    return true;
}

std::optional<uint64_t> NextTimerDue(const MessageQueue& queue) {
    std::optional<uint64_t> next;
    for (const Timer& timer : queue.timers) {
        if (!next || timer.due < *next) next = timer.due;
    }
    return next;
}

void KillWindowTimers(MessageQueue& queue, HWND window) {
    std::erase_if(queue.timers, [window](const Timer& timer) { return timer.window == window; });
}

}  // namespace platform::user32

using namespace platform::user32;

extern "C" {

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    if (hWnd && QueueOf(hWnd) != queue) return 0;  // unknown window, or another thread's
    UINT period = std::clamp(uElapse, MinimumPeriod, MaximumPeriod);
    uint64_t due = NowMilliseconds() + period;
    // A thread timer (no window) gets an id of the system's choosing unless it names
    // one of its existing timers.
    if (!hWnd && !FindTimer(*queue, nullptr, nIDEvent)) nIDEvent = queue->nextThreadTimerId++;
    if (Timer* existing = FindTimer(*queue, hWnd, nIDEvent)) {
        existing->period = period;
        existing->procedure = lpTimerFunc;
        existing->due = due;
    } else {
        queue->timers.push_back(Timer{hWnd, nIDEvent, period, lpTimerFunc, due});
    }
    // Windows answers a window timer with id 0 with 1: success must not read as failure.
    return nIDEvent != 0 ? nIDEvent : 1;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    auto found = std::find_if(queue->timers.begin(), queue->timers.end(),
                              [&](const Timer& timer) { return timer.window == hWnd && timer.id == uIDEvent; });
    if (found == queue->timers.end()) return FALSE;
    queue->timers.erase(found);
    return TRUE;
}

}  // extern "C"
