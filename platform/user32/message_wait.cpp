// The window thread's sleep when its queue has nothing to deliver: one ppoll over the
// queue's wake descriptor (other threads' posts, termination signals) and the open
// display's event descriptor, bounded by the next timer to the nanosecond.
//
// ppoll registers both descriptors anew on every call. An epoll set that kept them
// registered made no difference to the idle cost that a user could notice
// (bench/idle_cpu.sh): not worth a second wait, nor the bookkeeping that notices a
// display reopened on a reused descriptor.
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>

#include "window_state.h"

namespace platform::user32 {

void SleepUntilWork(MessageQueue& queue, std::optional<uint64_t> nextTimerDue) {
    int displayDescriptor = -1;
    bool eventsHeld = false;
    if (video::Backend* backend = video::CurrentIfOpen()) {
        eventsHeld = backend->PrepareToWait();
        displayDescriptor = backend->EventDescriptor();
    }
    // Events the backend already holds are taken at once: the wait then only looks.
    timespec timeout{0, 0};
    if (nextTimerDue && !eventsHeld) {
        const int64_t wait = NanosecondsUntil(*nextTimerDue);
        timeout = timespec{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
    }
    const timespec* bound = nextTimerDue || eventsHeld ? &timeout : nullptr;

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
