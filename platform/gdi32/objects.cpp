// Stock pens and brushes, selection, text colour and background mode.
#include "dc_state.h"
#include "gdi32/gdi32.h"

namespace platform::gdi32 {
namespace {

// Indexed by the stock object number of wingdi.h.
const GdiObject StockObjects[] = {
    {GdiObject::Kind::Brush, RGB(255, 255, 255), false},  // WHITE_BRUSH
    {GdiObject::Kind::Brush, RGB(192, 192, 192), false},  // LTGRAY_BRUSH
    {GdiObject::Kind::Brush, RGB(128, 128, 128), false},  // GRAY_BRUSH
    {GdiObject::Kind::Brush, RGB(64, 64, 64), false},     // DKGRAY_BRUSH
    {GdiObject::Kind::Brush, RGB(0, 0, 0), false},        // BLACK_BRUSH
    {GdiObject::Kind::Brush, RGB(0, 0, 0), true},         // NULL_BRUSH
    {GdiObject::Kind::Pen, RGB(255, 255, 255), false},    // WHITE_PEN
    {GdiObject::Kind::Pen, RGB(0, 0, 0), false},          // BLACK_PEN
    {GdiObject::Kind::Pen, RGB(0, 0, 0), true},           // NULL_PEN
};
constexpr int StockObjectCount = sizeof StockObjects / sizeof StockObjects[0];

}  // namespace

const GdiObject* StockObject(int index) { return (index >= 0 && index < StockObjectCount) ? &StockObjects[index] : nullptr; }

const GdiObject* FindObject(HGDIOBJ object) {
    for (const GdiObject& stock : StockObjects) {
        if (object == &stock) return &stock;
    }
    return nullptr;
}

HGDIOBJ HandleOf(const GdiObject* object) { return const_cast<GdiObject*>(object); }

COLORREF SystemColor(int index) {
    // Windows 10's default colour scheme.
    switch (index) {
    case COLOR_MENU:
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case 0:  // COLOR_SCROLLBAR
        return RGB(200, 200, 200);
    case 1:  // COLOR_BACKGROUND
        return RGB(0, 0, 0);
    case 16:  // COLOR_BTNSHADOW
        return RGB(160, 160, 160);
    case 20:  // COLOR_BTNHIGHLIGHT
        return RGB(255, 255, 255);
    case 21:  // COLOR_3DDKSHADOW
        return RGB(105, 105, 105);
    case 22:  // COLOR_3DLIGHT
        return RGB(227, 227, 227);
    default: return RGB(0, 0, 0);
    }
}

int SetDcBkMode(HDC hdc, int mode) {
    DeviceContext* dc = FindDc(hdc);
    int previous = 0;
    if (dc && (mode == TRANSPARENT || mode == OPAQUE)) {
        previous = dc->bkMode;
        dc->bkMode = mode;
    }
    return previous;
}

COLORREF SetDcTextColor(HDC hdc, COLORREF color) {
    DeviceContext* dc = FindDc(hdc);
    COLORREF previous = CLR_INVALID;
    if (dc) {
        previous = dc->textColor;
        dc->textColor = color & 0x00FFFFFF;
    }
    return previous;
}

}  // namespace platform::gdi32

using namespace platform::gdi32;

extern "C" {

HGDIOBJ WINAPI GetStockObject(int i) { return HandleOf(StockObject(i)); }

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    DeviceContext* dc = FindDc(hdc);
    const GdiObject* object = FindObject(h);
    HGDIOBJ previous = nullptr;
    if (dc && object) {
        const GdiObject*& slot = object->kind == GdiObject::Kind::Pen ? dc->pen : dc->brush;
        previous = HandleOf(slot);
        slot = object;
    }
    return previous;
}

int WINAPI SetBkMode(HDC hdc, int mode) { return SetDcBkMode(hdc, mode); }

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) { return SetDcTextColor(hdc, color); }

}  // extern "C"
