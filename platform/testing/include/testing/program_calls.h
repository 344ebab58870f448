// What the testing layer sees of the program's own calls into user32 and gdi32: it
// stands at their entry points (the test programs are linked with --wrap for each, see
// CMakeLists.txt). The platform's own drawing and painting goes through the layers'
// internal functions, never through these entry points, so it never reaches it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace platform::test {

struct MessageBoxRecord {
    std::string caption, text;
    UINT type;
};

// Makes the program's next RegisterClassA, and its next CreateWindowExA of a top-level
// window, fail; reports which of them the program has run into since.
struct ProgramCallFailures {
    bool registerClass = false;
    bool createTopLevelWindow = false;
};
void FailProgramCalls(ProgramCallFailures failures);
ProgramCallFailures FailedProgramCalls();

// A drawing call the program made: GetDC, ReleaseDC, BeginPaint, EndPaint,
// GetStockObject, SelectObject, SetBkMode, SetTextColor, RoundRect, DrawTextA/W.
struct GdiCall {
    std::string function;
    HDC dc = nullptr;             // null for GetStockObject
    HWND window = nullptr;        // the window the DC draws into
    std::vector<long long> args;  // integer arguments in call order (RoundRect: l, t, r, b, w, h)
    RECT rect{};                  // DrawText: the rectangle; BeginPaint: rcPaint
    std::string text;             // DrawText: the text as UTF-8, cchText applied
    UINT flags = 0;               // DrawText: the format
    HGDIOBJ object = nullptr;     // SelectObject: selected; GetStockObject: the result
    long long result = 0;         // return value as an integer (SelectObject: see previous)
    HGDIOBJ previous = nullptr;   // SelectObject: the object it returned
    // The DC's state after the call (before it, for ReleaseDC and EndPaint).
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    COLORREF textColor = 0;
    int bkMode = 0;
};

// One line per call, for failure messages.
std::string Describe(const GdiCall& call);

// While enabled, the program's drawing calls are kept; disabling forgets them.
void RecordDrawing(bool enabled);
std::vector<GdiCall> TakeDrawing();

// The next CoInitialize, on any thread, fails with this result (S_OK: none does).
void FailNextCoInitialize(HRESULT result);

// While enabled, the program's message boxes are kept; disabling forgets them.
void RecordMessageBoxes(bool enabled);
std::vector<MessageBoxRecord> TakeMessageBoxes();

}  // namespace platform::test
