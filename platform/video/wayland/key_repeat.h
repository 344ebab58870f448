// A held key's repeats, on a display that leaves repeating to its clients: the
// compositor says how fast and after how long (wl_keyboard.repeat_info), the keymap
// which keys repeat, and the client makes the repeats itself, as the X server makes
// them for X clients and Windows for WM_KEYDOWN. Times are the monotonic clock's.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace platform::video::wayland {

class KeyRepeat {
public:
    using Clock = std::chrono::steady_clock;

    // wl_keyboard.repeat_info: rate in keys per second (0: no key repeats) and delay in
    // milliseconds from the press to the first repeat.
    void SetTiming(int32_t rate, int32_t delay);
    // key went down at now; it repeats from now + delay when it is a key that repeats.
    // Whatever key repeated before stops, as under X: the last key pressed repeats.
    void Pressed(uint32_t key, bool repeats, Clock::time_point now);
    // key went up: its repeats end. Another key's release leaves the held one repeating.
    void Released(uint32_t key);
    // The keyboard left the window, or its keymap changed: nothing repeats any more.
    void Stop();
    // When the next repeat is due; nothing while no key repeats.
    std::optional<Clock::time_point> NextDue() const;
    // The key whose repeat is due by now, if any. The next one is due a period after
    // this one; periods already missed are skipped, as the program's timers skip them,
    // so a program that was busy gets one repeat, not a burst.
    std::optional<uint32_t> TakeDue(Clock::time_point now);

private:
    Clock::duration period_{};  // zero: no key repeats
    Clock::duration delay_{};
    std::optional<uint32_t> held_;
    Clock::time_point due_{};
};

}  // namespace platform::video::wayland
