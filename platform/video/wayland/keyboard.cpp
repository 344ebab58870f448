// Keys as the X11 backend maps them, so both backends give the program the same
// messages for the same keys.
#include "wayland/keyboard.h"

#include <sys/mman.h>
#include <unistd.h>
#include <winuser.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace platform::video::wayland {
namespace {

// Wayland's key codes are the kernel's; xkb's are those plus 8, as X numbers them.
constexpr uint32_t EvdevToXkb = 8;

// The virtual-key code of a key, from its unshifted keysym.
UINT VirtualKeyOf(xkb_keysym_t symbol) {
    if (symbol >= XKB_KEY_a && symbol <= XKB_KEY_z) return static_cast<UINT>('A' + (symbol - XKB_KEY_a));
    if (symbol >= XKB_KEY_0 && symbol <= XKB_KEY_9) return static_cast<UINT>('0' + (symbol - XKB_KEY_0));
    if (symbol >= XKB_KEY_F1 && symbol <= XKB_KEY_F12) return static_cast<UINT>(VK_F1 + (symbol - XKB_KEY_F1));
    switch (symbol) {
    case XKB_KEY_space: return VK_SPACE;
    case XKB_KEY_Return:
    case XKB_KEY_KP_Enter: return VK_RETURN;
    case XKB_KEY_Tab:
    case XKB_KEY_ISO_Left_Tab: return VK_TAB;
    case XKB_KEY_BackSpace: return VK_BACK;
    case XKB_KEY_Escape: return VK_ESCAPE;
    case XKB_KEY_Shift_L:
    case XKB_KEY_Shift_R: return VK_SHIFT;
    case XKB_KEY_Control_L:
    case XKB_KEY_Control_R: return VK_CONTROL;
    case XKB_KEY_Alt_L:
    case XKB_KEY_Alt_R:
    case XKB_KEY_Meta_L:
    case XKB_KEY_Meta_R: return VK_MENU;
    case XKB_KEY_Left: return VK_LEFT;
    case XKB_KEY_Up: return VK_UP;
    case XKB_KEY_Right: return VK_RIGHT;
    case XKB_KEY_Down: return VK_DOWN;
    case XKB_KEY_Prior: return VK_PRIOR;
    case XKB_KEY_Next: return VK_NEXT;
    case XKB_KEY_Home: return VK_HOME;
    case XKB_KEY_End: return VK_END;
    case XKB_KEY_Insert: return VK_INSERT;
    case XKB_KEY_Delete: return VK_DELETE;
    default: return 0;
    }
}

}  // namespace

Keyboard::Keyboard() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

Keyboard::~Keyboard() {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

void Keyboard::LoadKeymap(int descriptor, uint32_t size) {
    void* text = size > 0 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0) : MAP_FAILED;
    close(descriptor);
    if (text == MAP_FAILED || context_ == nullptr) return;
    // The keymap is a C string whose size counts its terminating zero.
    xkb_keymap* keymap = xkb_keymap_new_from_buffer(context_, static_cast<const char*>(text), size - 1, XKB_KEYMAP_FORMAT_TEXT_V1,
                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (keymap == nullptr) return;
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = xkb_state_new(keymap_);
}

void Keyboard::UpdateModifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
    if (state_ != nullptr) xkb_state_update_mask(state_, depressed, latched, locked, 0, 0, group);
}

KeyMeaning Keyboard::Meaning(uint32_t key) const {
    KeyMeaning meaning;
    if (state_ == nullptr) return meaning;
    const xkb_keycode_t code = key + EvdevToXkb;
    // The unshifted symbol of the current group, as the X11 backend takes index 0.
    const xkb_keysym_t* symbols = nullptr;
    const xkb_layout_index_t layout = xkb_state_key_get_layout(state_, code);
    if (xkb_keymap_key_get_syms_by_level(keymap_, code, layout, 0, &symbols) > 0) meaning.virtualKey = VirtualKeyOf(symbols[0]);
    // Latin-1 is the Western code page's first 256 characters.
    const uint32_t typed = xkb_state_key_get_utf32(state_, code);
    if (typed > 0 && typed < 256) meaning.character = static_cast<unsigned char>(typed);
    return meaning;
}

bool Keyboard::Repeats(uint32_t key) const { return keymap_ != nullptr && xkb_keymap_key_repeats(keymap_, key + EvdevToXkb) != 0; }

bool Keyboard::AltDown() const {
    return state_ != nullptr && xkb_state_mod_name_is_active(state_, XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0;
}

}  // namespace platform::video::wayland
