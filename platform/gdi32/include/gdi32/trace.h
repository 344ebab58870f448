// A record of the drawing calls the program makes, for tests that check what was
// drawn with which arguments. The platform's own drawing (button faces, erasing the
// background) is not recorded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace platform::gdi32 {

struct GdiCall {
    std::string function;         // "DrawTextA", "RoundRect", "SelectObject", "GetDC", ...
    HDC dc = nullptr;             // null for GetStockObject
    HWND window = nullptr;        // the window the DC draws into
    std::vector<long long> args;  // integer arguments in call order (RoundRect: l, t, r, b, w, h)
    RECT rect{};                  // DrawText: the rectangle; BeginPaint: rcPaint
    std::string text;             // DrawText: the text as UTF-8, cchText applied
    UINT flags = 0;               // DrawText: the format
    HGDIOBJ object = nullptr;     // SelectObject: selected; GetStockObject: the result
    long long result = 0;         // return value as an integer (SelectObject: see previous)
    HGDIOBJ previous = nullptr;   // SelectObject: the object it returned
    // The DC's state after the call.
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    COLORREF textColor = 0;
    int bkMode = 0;
};

// One line per call, for failure messages.
std::string Describe(const GdiCall& call);

void EnableTrace(bool enabled);
std::vector<GdiCall> TakeTrace();
bool TraceWanted();
void Record(GdiCall call);

// While one lives on a thread, that thread's drawing is the platform's own.
class PlatformDrawing {
public:
    PlatformDrawing();
    ~PlatformDrawing();
    PlatformDrawing(const PlatformDrawing&) = delete;
    PlatformDrawing& operator=(const PlatformDrawing&) = delete;
};

}  // namespace platform::gdi32
