#include "testing/program_calls.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "base/text.h"
#include "gdi32/gdi32.h"

extern "C" {
ATOM WINAPI __real_RegisterClassA(const WNDCLASSA* windowClass);
HWND WINAPI __real_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                                   int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
int WINAPI __real_MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type);
HRESULT WINAPI __real_CoInitialize(LPVOID reserved);
HDC WINAPI __real_GetDC(HWND window);
int WINAPI __real_ReleaseDC(HWND window, HDC dc);
HDC WINAPI __real_BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL WINAPI __real_EndPaint(HWND window, const PAINTSTRUCT* paint);
HGDIOBJ WINAPI __real_GetStockObject(int index);
HGDIOBJ WINAPI __real_SelectObject(HDC dc, HGDIOBJ object);
int WINAPI __real_SetBkMode(HDC dc, int mode);
COLORREF WINAPI __real_SetTextColor(HDC dc, COLORREF color);
BOOL WINAPI __real_RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height);
int WINAPI __real_DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format);
int WINAPI __real_DrawTextW(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT format);
}

namespace platform::test {
namespace {

struct Failures {
    std::mutex lock;
    ProgramCallFailures pending, used;
};

Failures& InjectedFailures() {
    static Failures instance;
    return instance;
}

// Takes the pending failure that `member` names, if there is one.
bool Consume(bool ProgramCallFailures::*member) {
    Failures& failures = InjectedFailures();
    std::lock_guard guard(failures.lock);
    if (!(failures.pending.*member)) return false;
    failures.pending.*member = false;
    failures.used.*member = true;
    return true;
}

std::atomic<HRESULT> nextCoInitializeFailure{S_OK};

struct MessageBoxLog {
    std::mutex lock;
    std::atomic<bool> recording{false};
    std::vector<MessageBoxRecord> boxes;
};

MessageBoxLog& MessageBoxes() {
    static MessageBoxLog instance;
    return instance;
}

struct DrawingLog {
    std::mutex lock;
    std::atomic<bool> recording{false};
    std::vector<GdiCall> calls;
};

DrawingLog& Drawing() {
    static DrawingLog instance;
    return instance;
}

bool DrawingWanted() { return Drawing().recording.load(); }

// A call on dc, with what dc holds now.
GdiCall CallOn(const char* function, HDC dc) {
    GdiCall call;
    call.function = function;
    call.dc = dc;
    const gdi32::DcSettings settings = gdi32::SettingsOf(dc);
    call.window = settings.window;
    call.pen = settings.pen;
    call.brush = settings.brush;
    call.textColor = settings.textColor;
    call.bkMode = settings.bkMode;
    return call;
}

void Keep(GdiCall call) {
    std::lock_guard guard(Drawing().lock);
    Drawing().calls.push_back(std::move(call));
}

long long AsInteger(const void* handle) { return static_cast<long long>(reinterpret_cast<uintptr_t>(handle)); }

void KeepText(const char* function, HDC dc, std::string utf8, const RECT* rect, UINT format) {
    GdiCall call = CallOn(function, dc);
    call.text = std::move(utf8);
    if (rect) call.rect = *rect;
    call.flags = format;
    Keep(std::move(call));
}

}  // namespace

std::string Describe(const GdiCall& call) {
    std::string line = call.function + "(dc=" + std::to_string(reinterpret_cast<uintptr_t>(call.dc));
    for (long long argument : call.args) line += ", " + std::to_string(argument);
    if (call.function.rfind("DrawText", 0) == 0) {
        char detail[160];
        std::snprintf(detail, sizeof detail, ", (%d,%d,%d,%d), flags=0x%x, textColor=0x%06x, bkMode=%d", call.rect.left,
                      call.rect.top, call.rect.right, call.rect.bottom, call.flags, call.textColor, call.bkMode);
        line += ", \"" + call.text + "\"" + detail;
    }
    return line + ") = " + std::to_string(call.result);
}

void RecordDrawing(bool enabled) {
    Drawing().recording.store(enabled);
    TakeDrawing();
}

std::vector<GdiCall> TakeDrawing() {
    std::lock_guard guard(Drawing().lock);
    std::vector<GdiCall> taken;
    taken.swap(Drawing().calls);
    return taken;
}

void FailProgramCalls(ProgramCallFailures failures) {
    std::lock_guard guard(InjectedFailures().lock);
    InjectedFailures().pending = failures;
    InjectedFailures().used = {};
}

ProgramCallFailures FailedProgramCalls() {
    std::lock_guard guard(InjectedFailures().lock);
    return InjectedFailures().used;
}

void FailNextCoInitialize(HRESULT result) { nextCoInitializeFailure.store(result); }

void RecordMessageBoxes(bool enabled) {
    MessageBoxes().recording.store(enabled);
    TakeMessageBoxes();
}

std::vector<MessageBoxRecord> TakeMessageBoxes() {
    std::lock_guard guard(MessageBoxes().lock);
    std::vector<MessageBoxRecord> taken;
    taken.swap(MessageBoxes().boxes);
    return taken;
}

}  // namespace platform::test

using namespace platform::test;

// Named to the linker (CMakeLists.txt), so that every program linked with the wraps
// has the wrappers, whichever of its objects calls the wrapped functions.
extern "C" const bool PlatformTestingProgramCalls = true;

extern "C" {

ATOM WINAPI __wrap_RegisterClassA(const WNDCLASSA* windowClass) {
    if (Consume(&ProgramCallFailures::registerClass)) return 0;
    return __real_RegisterClassA(windowClass);
}

HWND WINAPI __wrap_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                                   int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter) {
    if ((style & WS_CHILD) == 0 && Consume(&ProgramCallFailures::createTopLevelWindow)) return nullptr;
    return __real_CreateWindowExA(exStyle, className, windowName, style, x, y, width, height, parent, menu, instance, parameter);
}

int WINAPI __wrap_MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type) {
    int answer = __real_MessageBoxA(window, text, caption, type);
    if (MessageBoxes().recording.load()) {
        std::lock_guard guard(MessageBoxes().lock);
        MessageBoxes().boxes.push_back(MessageBoxRecord{caption ? caption : "Error", text ? text : "", type});
    }
    return answer;
}

HRESULT WINAPI __wrap_CoInitialize(LPVOID reserved) {
    HRESULT failure = nextCoInitializeFailure.exchange(S_OK);
    return failure != S_OK ? failure : __real_CoInitialize(reserved);
}

HDC WINAPI __wrap_GetDC(HWND window) {
    HDC dc = __real_GetDC(window);
    if (DrawingWanted()) {
        GdiCall call = CallOn("GetDC", dc);
        call.window = window;
        call.result = AsInteger(dc);
        Keep(std::move(call));
    }
    return dc;
}

int WINAPI __wrap_ReleaseDC(HWND window, HDC dc) {
    GdiCall call = CallOn("ReleaseDC", dc);  // before: releasing forgets the DC
    const int result = __real_ReleaseDC(window, dc);
    if (DrawingWanted()) {
        call.window = window;
        call.result = result;
        Keep(std::move(call));
    }
    return result;
}

HDC WINAPI __wrap_BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    HDC dc = __real_BeginPaint(window, paint);
    if (DrawingWanted() && paint) {
        GdiCall call = CallOn("BeginPaint", dc);
        call.window = window;
        call.rect = paint->rcPaint;
        call.result = AsInteger(dc);
        Keep(std::move(call));
    }
    return dc;
}

BOOL WINAPI __wrap_EndPaint(HWND window, const PAINTSTRUCT* paint) {
    GdiCall call = CallOn("EndPaint", paint ? paint->hdc : nullptr);  // before: ending forgets the DC
    const BOOL result = __real_EndPaint(window, paint);
    if (DrawingWanted() && paint) {
        call.window = window;
        call.rect = paint->rcPaint;
        call.result = result;
        Keep(std::move(call));
    }
    return result;
}

HGDIOBJ WINAPI __wrap_GetStockObject(int index) {
    HGDIOBJ object = __real_GetStockObject(index);
    if (DrawingWanted()) {
        GdiCall call = CallOn("GetStockObject", nullptr);
        call.args = {index};
        call.object = object;
        call.result = AsInteger(object);
        Keep(std::move(call));
    }
    return object;
}

HGDIOBJ WINAPI __wrap_SelectObject(HDC dc, HGDIOBJ object) {
    HGDIOBJ previous = __real_SelectObject(dc, object);
    if (DrawingWanted()) {
        GdiCall call = CallOn("SelectObject", dc);
        call.object = object;
        call.previous = previous;
        call.result = AsInteger(previous);
        Keep(std::move(call));
    }
    return previous;
}

int WINAPI __wrap_SetBkMode(HDC dc, int mode) {
    const int previous = __real_SetBkMode(dc, mode);
    if (DrawingWanted()) {
        GdiCall call = CallOn("SetBkMode", dc);
        call.args = {mode};
        call.result = previous;
        Keep(std::move(call));
    }
    return previous;
}

COLORREF WINAPI __wrap_SetTextColor(HDC dc, COLORREF color) {
    const COLORREF previous = __real_SetTextColor(dc, color);
    if (DrawingWanted()) {
        GdiCall call = CallOn("SetTextColor", dc);
        call.args = {static_cast<long long>(color)};
        call.result = previous;
        Keep(std::move(call));
    }
    return previous;
}

BOOL WINAPI __wrap_RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height) {
    const BOOL result = __real_RoundRect(dc, left, top, right, bottom, width, height);
    if (DrawingWanted()) {
        GdiCall call = CallOn("RoundRect", dc);
        call.args = {left, top, right, bottom, width, height};
        call.result = result;
        Keep(std::move(call));
    }
    return result;
}

int WINAPI __wrap_DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format) {
    const int result = __real_DrawTextA(dc, text, length, rect, format);
    if (DrawingWanted() && text) {
        const size_t units = length < 0 ? std::char_traits<char>::length(text) : static_cast<size_t>(length);
        KeepText("DrawTextA", dc, platform::base::Latin1ToUtf8({text, units}), rect, format);
    }
    return result;
}

int WINAPI __wrap_DrawTextW(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT format) {
    const int result = __real_DrawTextW(dc, text, length, rect, format);
    if (DrawingWanted() && text) {
        const size_t units = length < 0 ? std::char_traits<char16_t>::length(text) : static_cast<size_t>(length);
        KeepText("DrawTextW", dc, platform::base::Utf16ToUtf8({text, units}), rect, format);
    }
    return result;
}

}  // extern "C"
