#include "display/panel.h"

#include "app/app_state.h"
#include "display/colors.h"
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
    RECT r = {client.left + 10, client.top + 10, client.right - 10, client.top + 10 + 20};

    SetTextColor(dc, CaptionGrey);
    DrawTextA(dc, "Current Connected Audio Session Identifier:", -1, &r, DT_SINGLELINE | DT_VCENTER);

    SetTextColor(dc, TextBlack);
    const LONG b = r.bottom;
    RoundRect(dc, r.left - 4, b + 1, r.right + 4, b + 59, 7, 7);
    r.top = b + 5;
    r.bottom = b + 55;
    // Wrapped between words and clipped to the panel: what does not fit is not shown.
    DrawTextW(dc, AppState.sink.sessionId, UnitLength(AppState.sink.sessionId), &r, DT_WORDBREAK);

    const LONG y = r.bottom;
    AppState.valueRowRect = {r.left, y + 40, r.right, y + 70};

    r.top = y + 15;
    r.bottom = y + 35;
    SetTextColor(dc, CaptionGrey);
    DrawTextA(dc, "Current Volume Level / Mute State / state / Process ID:", -1, &r, DT_SINGLELINE | DT_VCENTER);

    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);

    PaintValueRow(dc);
}
