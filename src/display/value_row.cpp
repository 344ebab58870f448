#include "display/value_row.h"

#include <cstdio>

#include "app/app_state.h"
#include "display/colors.h"
#include "display/layout.h"

namespace {

const char* StateText(INT state) {
    switch (state) {
    case AudioSessionStateInactive: return "Inactive";
    case AudioSessionStateActive: return "Active";
    case AudioSessionStateExpired: return "Expired";
    default: return "no state";
    }
}

// A box of the row at `left`, `width` wide, with text centred in it. Returns where the
// next box starts.
LONG DrawBox(HDC dc, LONG left, int width, const char* text) {
    const RECT& row = AppState.valueRowRect;
    RECT box = {left, row.top, left + width, row.bottom};
    RoundRect(dc, box.left, box.top, box.right, box.bottom, CornerDiameter, CornerDiameter);
    DrawTextA(dc, text, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    return box.right + BoxGap;
}

}  // namespace

void PaintValueRow(HDC dc) {
    HGDIOBJ previousPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextBlack);

    // Read once: a notification landing meanwhile shows at the next tick, because
    // the snapshot below holds exactly what was drawn.
    const SessionEventSink& sink = AppState.sink;
    const float volume = sink.volume.load(relaxed);
    const INT mute = sink.mute.load(relaxed);
    const INT state = sink.state.load(relaxed);
    const DWORD processId = sink.processId;

    LONG left = AppState.valueRowRect.left;
    char text[512];
    std::snprintf(text, sizeof text, "Volume: %0.3f", static_cast<double>(volume));
    left = DrawBox(dc, left, VolumeBoxWidth, text);
    std::snprintf(text, sizeof text, "Mute: %i", mute);
    left = DrawBox(dc, left, MuteBoxWidth, text);
    left = DrawBox(dc, left, StateBoxWidth, StateText(state));
    // A DWORD: IDs above 2^31 are positive numbers too.
    std::snprintf(text, sizeof text, "PUID: %u", static_cast<unsigned>(processId));
    DrawBox(dc, left, ProcessIdBoxWidth, text);

    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);

    AppState.paintedVolume = volume;
    AppState.paintedMute = mute;
    AppState.paintedState = state;
}

void StartRefreshTimer(HWND window) { AppState.timerId = SetTimer(window, RefreshTimerId, RefreshPeriodMs, nullptr); }

void StopRefreshTimer(HWND window) {
    if (AppState.timerId != 0) KillTimer(window, AppState.timerId);
}

LRESULT OnTimer(HWND window, WPARAM timerId) {
    if (timerId != RefreshTimerId) return 0;
    const SessionEventSink& sink = AppState.sink;
    // A NaN on either side counts as a change; +0.0 and -0.0 count as equal.
    const bool changed = sink.mute.load(relaxed) != AppState.paintedMute ||
                         !(sink.volume.load(relaxed) == AppState.paintedVolume) ||
                         sink.state.load(relaxed) != AppState.paintedState;
    if (changed) {
        HDC dc = GetDC(window);
        PaintValueRow(dc);
        ReleaseDC(window, dc);
    }
    return 0;
}
