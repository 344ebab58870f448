// Keys on the wayland backend under a real compositor. Run by tests/wayland_sway.sh,
// which starts sway, finds this test's window and types on the X server sway is nested
// in, with that server's own key repeat turned off.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "provisioned.h"
#include "testing/window_test.h"
#include "video/video.h"

namespace {

// The compositor sends a held key's press once and leaves the repeats to the client, at
// the rate and after the delay it gives (sway: 25 a second after 600 ms). The script
// holds Shift for 1.2 s, then "a" for 1.5 s, and taps "b" a second after releasing "a".
// The loop has no timer but a one-minute guard, so only the backend's own deadline can
// wake it for a repeat while the key is held.
TEST(WaylandKeyRepeatTest, AHeldKeyRepeatsUntilReleasedAndAModifierDoesNot) {
    const char* compositor = std::getenv("WAYLAND_DISPLAY");
    if (!compositor || !*compositor)
        SKIP_FOR_MISSING("wayland") << "WAYLAND_DISPLAY is not set (tests/wayland_sway.sh starts sway)";
    platform::test::ResetWindowSystem();
    platform::video::OverrideOrder({"wayland"});
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "WaylandKeyRepeatTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "WaylandKeyRepeatTest", "key repeat", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 800, 400, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr) << "no window on the compositor " << compositor;
    UpdateWindow(window);

    SetTimer(window, 1, 60000, nullptr);  // a guard against a run that never types, not a deadline
    std::vector<MSG> keys;
    MSG message;
    bool typed = false;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        if (message.message == WM_KEYDOWN || message.message == WM_KEYUP) keys.push_back(message);
        if (message.message == WM_KEYUP && message.wParam == 'B') {
            typed = true;
            break;
        }
        DispatchMessageA(&message);
    }
    platform::test::ResetWindowSystem();
    platform::video::OverrideOrder({});
    ASSERT_TRUE(typed) << "\"b\" was never released: the script's keys did not reach the window";

    auto count = [&](UINT kind, WPARAM key) {
        int seen = 0;
        for (const MSG& each : keys) seen += each.message == kind && each.wParam == key;
        return seen;
    };
    // Modifiers do not repeat.
    EXPECT_EQ(count(WM_KEYDOWN, VK_SHIFT), 1);
    EXPECT_EQ(count(WM_KEYUP, VK_SHIFT), 1);
    // "a": one press, then repeats that say the key was already down, as Windows sends
    // them (repeat count 1 each), and no release before the real one.
    EXPECT_EQ(count(WM_KEYUP, 'A'), 1);
    int presses = 0, repeats = 0;
    bool released = false;
    for (const MSG& each : keys) {
        if (each.wParam != 'A') continue;
        if (each.message == WM_KEYUP) {
            released = true;
            continue;
        }
        EXPECT_FALSE(released) << "\"a\" repeated after its release";
        EXPECT_EQ(LOWORD(each.lParam), 1);
        if (HIWORD(each.lParam) & KF_REPEAT) {
            ++repeats;
        } else {
            ++presses;
        }
    }
    EXPECT_EQ(presses, 1);
    EXPECT_GE(repeats, 2) << "\"a\" held for 1.5 s did not repeat";
    // A tapped key is pressed and released once.
    EXPECT_EQ(count(WM_KEYDOWN, 'B'), 1);
}

}  // namespace
