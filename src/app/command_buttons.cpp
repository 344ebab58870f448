#include "app/command_buttons.h"

#include "app/app_state.h"
#include "audio/session_commands.h"

namespace {

struct ButtonLayout {
    const char* text;
    CommandId id;
    int x;
    int width;
    HWND ApplicationState::*handle;
};

constexpr int ButtonTop = 160;
constexpr int ButtonHeight = 30;

constexpr ButtonLayout Buttons[] = {
    {"0", Volume0Command, 10, 60, &ApplicationState::btnVolume0},
    {"0.25", Volume25Command, 80, 60, &ApplicationState::btnVolume25},
    {"0.50", Volume50Command, 150, 60, &ApplicationState::btnVolume50},
    {"1.00", Volume100Command, 220, 60, &ApplicationState::btnVolume100},
    {"Swap Mute", SwapMuteCommand, 320, 150, &ApplicationState::btnSwapMute},
};

}  // namespace

void CreateCommandButtons(HWND window) {
    for (const ButtonLayout& button : Buttons) {
        AppState.*button.handle =
            CreateWindowExA(0, "BUTTON", button.text, WS_CHILD | WS_VISIBLE, button.x, ButtonTop, button.width, ButtonHeight,
                            window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.id)), AppState.hInstance, nullptr);
    }
}

void OnCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case SwapMuteCommand:
        // Decided from the mute the program last learned, without asking the session.
        SetSessionMute(AppState.sink.mute.load(std::memory_order_relaxed) == 0 ? TRUE : FALSE);
        break;
    case Volume0Command: SetSessionVolume(0.0f); break;
    case Volume25Command: SetSessionVolume(0.25f); break;
    case Volume50Command: SetSessionVolume(0.5f); break;
    case Volume100Command: SetSessionVolume(1.0f); break;
    default: break;
    }
}
