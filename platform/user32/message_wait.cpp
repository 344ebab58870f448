// The window thread's sleep when its queue has nothing to deliver: one ppoll over the
// queue's wake descriptor (other threads' posts, termination signals) and the open
// display's event descriptor, bounded by the next timer to the nanosecond, or sooner by
// input the display's backend makes itself (a held key's repeat on Wayland).
//
// ppoll registers both descriptors anew on every call. An epoll set that kept them
// registered made no difference to the idle cost that a user could notice
// (bench/idle_cpu.sh): not worth a second wait, nor the bookkeeping that notices a
// display reopened on a reused descriptor.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>

#include "window_state.h"

namespace platform::user32 {

void SleepUntilWork(MessageQueue& queue, std::optional<uint64_t> nextTimerDue) {
    int displayDescriptor = -1;
    bool eventsHeld = false;
    std::optional<std::chrono::steady_clock::time_point> ownInputDue;
    if (video::Backend* backend = video::CurrentIfOpen()) {
        eventsHeld = backend->PrepareToWait();
        displayDescriptor = backend->EventDescriptor();
        ownInputDue = backend->NextOwnInput();
    }
    // Nanoseconds to wait at most; none: until something arrives. Events the backend
    // already holds are taken at once: the wait then only looks.
    std::optional<int64_t> wait;
    if (nextTimerDue) wait = NanosecondsUntil(*nextTimerDue);
    if (ownInputDue) {
        const auto untilInput =
            std::chrono::duration_cast<std::chrono::nanoseconds>(*ownInputDue - std::chrono::steady_clock::now());
        wait = std::min(wait.value_or(INT64_MAX), std::max<int64_t>(untilInput.count(), 0));
    }
    if (eventsHeld) wait = 0;
    timespec timeout{0, 0};
    if (wait) timeout = timespec{static_cast<time_t>(*wait / 1000000000), static_cast<long>(*wait % 1000000000)};
    const timespec* bound = wait ? &timeout : nullptr;

    // One system call when nothing happens: the wait itself. A signal that interrupts
    // it (EINTR) leaves every revents at zero and is only a wake-up.
    pollfd descriptors[2] = {{queue.wakeDescriptor, POLLIN, 0}, {displayDescriptor, POLLIN, 0}};
    ppoll(descriptors, displayDescriptor >= 0 ? 2 : 1, bound, nullptr);
    // Hang-up and error count as readable: the backend finds out what happened.
    if (descriptors[1].revents != 0) queue.displayReadable = true;
    if (descriptors[0].revents & POLLIN) {
        uint64_t posts;
        [[maybe_unused]] ssize_t drained = read(queue.wakeDescriptor, &posts, sizeof posts);
    }
}

}  // namespace platform::user32
