#pragma once

#include <windows.h>

inline constexpr COLORREF CaptionGrey = RGB(80, 80, 80);
inline constexpr COLORREF TextBlack = RGB(0, 0, 0);
