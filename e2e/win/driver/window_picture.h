// The window's pixels against a reference drawing: the driver draws what the program
// should show (captions, identifier panel, value row) into a memory device context
// with the same GDI calls and the DC's default font, and compares the result with the
// client area captured from the program's window.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

struct ShownStatus {
    std::wstring identifier;
    float volume = 0.0f;
    int mute = 0;
    int state = 0;
    DWORD processId = 0;
};

// The two regions compared: the captions with the identifier panel, and the value row.
enum class Region { Panel, ValueRow };

// Waits (generously) until `region` of the window's client area shows `expected`;
// on timeout, `why` says how many pixels differ and where the first one is.
bool WaitForPicture(HWND window, const ShownStatus& expected, Region region, DWORD timeoutMs, std::string* why);

// One comparison, no waiting: true when `region` shows `expected` right now.
bool ShowsNow(HWND window, const ShownStatus& expected, Region region, std::string* why);

// Writes the captured client area and the reference drawing as BMP files (for a
// person looking into a failure).
void SavePictures(HWND window, const ShownStatus& expected, const std::string& stem);

}  // namespace driver
