// Everything above the buttons: the captions and the identifier panel, then the
// value row. Also lays out the value row for the refresh timer.
#pragma once

#include <windows.h>

void PaintPanel(HWND window, HDC dc);
