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

HINSTANCE ProgramInstance() {
    // The address Windows loads a program's image at; any non-null value would do.
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
}

}  // namespace platform::user32
