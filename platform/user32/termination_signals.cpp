// SIGTERM (a logout, kill), SIGINT (Ctrl+C in the terminal) and SIGHUP (the terminal
// went away) as a close request: the program's top-level windows get WM_CLOSE, as from
// the window manager's close button, so the program gives back what it holds and
// exits as a close ends it. A second signal of the same kind ends the process at once.
//
// The handler only sets a flag and writes to the queue's eventfd, both safe in a
// signal handler; the window thread posts the close when that wakes it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "window_state.h"

namespace platform::user32 {
namespace {

std::atomic<bool> closeRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read and written in a signal handler");
// The queue whose thread closes its windows, and a copy of its wake descriptor: the
// copy stays open after the queue closes its own at exit, so a late signal never
// writes to a descriptor number that was reused meanwhile.
const MessageQueue* signalledQueue = nullptr;
int signalWake = -1;

void RequestClose(int) {
    const int savedErrno = errno;
    closeRequested.store(true, std::memory_order_relaxed);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(signalWake, &one, sizeof one);
    errno = savedErrno;
}

}  // namespace

void CloseWindowsOnTerminationSignals() {
    std::shared_ptr<MessageQueue> queue = CurrentQueue();
    signalWake = fcntl(queue->wakeDescriptor, F_DUPFD_CLOEXEC, 0);
    if (signalWake < 0) return;  // the signals keep their default: better than a close that never comes
    signalledQueue = queue.get();
    struct sigaction action {};
    action.sa_handler = RequestClose;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the first signal of a kind is handled here, the next one acts as
    // if the program had never caught it.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // A signal ignored from the start stays ignored, as the one who started the
        // program asked: nohup for SIGHUP, a shell's background job for SIGINT.
        struct sigaction inherited {};
        if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

void TakeCloseRequest(const MessageQueue& queue) {
    if (&queue != signalledQueue || !closeRequested.load(std::memory_order_relaxed)) return;
    const std::vector<HWND> windows = TopLevelWindows();
    // Before the first window exists the request waits for it.
    if (windows.empty()) return;
    closeRequested.store(false, std::memory_order_relaxed);
    for (HWND window : windows) PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace platform::user32
