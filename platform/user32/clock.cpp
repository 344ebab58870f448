#include <atomic>
#include <chrono>

#include "user32/user32.h"

namespace platform::user32 {
namespace {

std::atomic<Clock*> installedClock{nullptr};

}  // namespace

void SetClock(Clock* clock) { installedClock.store(clock); }

uint64_t NowMilliseconds() {
    if (Clock* clock = installedClock.load()) return clock->NowMilliseconds();
    auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count());
}

int64_t NanosecondsUntil(uint64_t dueMilliseconds) {
    if (Clock* clock = installedClock.load()) {
        uint64_t now = clock->NowMilliseconds();
        return dueMilliseconds > now ? static_cast<int64_t>(dueMilliseconds - now) * 1000000 : 0;
    }
    // From the monotonic clock itself, not from whole milliseconds: a sleep measured
    // from a truncated reading would end up to a millisecond late.
    auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceBoot).count();
    int64_t due = static_cast<int64_t>(dueMilliseconds) * 1000000;
    return due > now ? due - now : 0;
}

HINSTANCE ProgramInstance() {
    // The address Windows loads a program's image at; any non-null value would do.
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
}

}  // namespace platform::user32
