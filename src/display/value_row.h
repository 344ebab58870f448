// The row of four boxes with the bound session's volume, mute, state and process ID,
// and the 30 ms timer that redraws it when the audio service reported a change.
#pragma once

#include <windows.h>

inline constexpr UINT_PTR RefreshTimerId = 16325;
inline constexpr UINT RefreshPeriodMs = 30;

// Draws the row into AppState.valueRowRect and records what it drew.
void PaintValueRow(HDC dc);

void StartRefreshTimer(HWND window);
void StopRefreshTimer(HWND window);

// WM_TIMER: redraws only the row, and only when volume, mute or state differ from
// what was last drawn.
LRESULT OnTimer(HWND window, WPARAM timerId);
