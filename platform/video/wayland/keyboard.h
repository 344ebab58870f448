// The compositor's keymap, read through xkbcommon: key codes of wl_keyboard events
// become the window manager's virtual keys and typed characters.
#pragma once

#include <windef.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>

namespace platform::video::wayland {

struct KeyMeaning {
    UINT virtualKey = 0;          // 0: a key the window manager has no code for
    unsigned char character = 0;  // what it types in the Western code page, 0 for none
};

class Keyboard {
public:
    Keyboard();
    ~Keyboard();
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    // wl_keyboard.keymap: the keymap the compositor sent as a file; takes the descriptor.
    void LoadKeymap(int descriptor, uint32_t size);
    // wl_keyboard.modifiers.
    void UpdateModifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group);
    // A wl_keyboard.key code (evdev numbering, as Wayland sends it).
    KeyMeaning Meaning(uint32_t key) const;
    // Whether the keymap says the key repeats while held (modifiers do not).
    bool Repeats(uint32_t key) const;
    bool AltDown() const;

private:
    xkb_context* context_;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
};

}  // namespace platform::video::wayland
