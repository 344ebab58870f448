#include "display/panel.h"

#include "app/app_state.h"
#include "display/colors.h"
#include "display/layout.h"
#include "display/value_row.h"

namespace {

int UnitLength(const WCHAR* text) {
    int length = 0;
    while (text[length] != 0) ++length;
    return length;
}

}  // namespace

void PaintPanel(HWND window, HDC dc) {
    HGDIOBJ previousPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SetBkMode(dc, TRANSPARENT);

    RECT client;
    GetClientRect(window, &client);
    RECT r = {client.left + PanelMargin, client.top + PanelMargin, client.right - PanelMargin,
              client.top + PanelMargin + CaptionHeight};

    SetTextColor(dc, CaptionGrey);
    DrawTextA(dc, "Current Connected Audio Session Identifier:", -1, &r, DT_SINGLELINE | DT_VCENTER);

    SetTextColor(dc, TextBlack);
    const LONG frameTop = r.bottom + FrameGap;
    const LONG frameBottom = frameTop + FrameHeight;
    RoundRect(dc, r.left - FramePadding, frameTop, r.right + FramePadding, frameBottom, CornerDiameter, CornerDiameter);
    r.top = frameTop + FramePadding;
    r.bottom = frameBottom - FramePadding;
    // Wrapped between words and clipped to the panel: what does not fit is not shown.
    DrawTextW(dc, AppState.sink.sessionId, UnitLength(AppState.sink.sessionId), &r, DT_WORDBREAK);

    r.top = r.bottom + SecondCaptionGap;
    r.bottom = r.top + CaptionHeight;
    AppState.valueRowRect = {r.left, r.bottom + ValueRowGap, r.right, r.bottom + ValueRowGap + ValueRowHeight};

    SetTextColor(dc, CaptionGrey);
    DrawTextA(dc, "Current Volume Level / Mute State / state / Process ID:", -1, &r, DT_SINGLELINE | DT_VCENTER);

    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);

    PaintValueRow(dc);
}
