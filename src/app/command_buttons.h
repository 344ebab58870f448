// The five push buttons under the display, and the commands they send.
#pragma once

#include <windows.h>

enum CommandId : WORD {
    SwapMuteCommand = 100,
    Volume0Command = 110,
    Volume25Command = 111,
    Volume50Command = 112,
    Volume100Command = 113,
};

// Creates the buttons as children of `window`; a button that fails to appear does
// not stop the others.
void CreateCommandButtons(HWND window);

// WM_COMMAND: the control identifier in the low word of wParam picks the command.
void OnCommand(WPARAM wParam);
