#include "wayland/key_repeat.h"

#include <algorithm>

namespace platform::video::wayland {

void KeyRepeat::SetTiming(int32_t rate, int32_t delay) {
    period_ = rate > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(1000000000 / rate))
                       : Clock::duration::zero();
    delay_ = std::chrono::milliseconds(std::max(delay, 0));
    if (period_ == Clock::duration::zero()) held_.reset();
}

void KeyRepeat::Pressed(uint32_t key, bool repeats, Clock::time_point now) {
    held_.reset();
    if (!repeats || period_ == Clock::duration::zero()) return;
    held_ = key;
    due_ = now + delay_;
}

void KeyRepeat::Released(uint32_t key) {
    if (held_ == key) held_.reset();
}

void KeyRepeat::Stop() { held_.reset(); }

std::optional<KeyRepeat::Clock::time_point> KeyRepeat::NextDue() const {
    if (!held_) return std::nullopt;
    return due_;
}

std::optional<uint32_t> KeyRepeat::TakeDue(Clock::time_point now) {
    if (!held_ || now < due_) return std::nullopt;
    const auto periodsPassed = (now - due_) / period_ + 1;
    due_ += periodsPassed * period_;
    return held_;
}

}  // namespace platform::video::wayland
