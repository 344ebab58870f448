// The objects behind HDC and HGDIOBJ handles; private to the graphics layer.
#pragma once

#include <windows.h>

#include <cairo.h>

namespace platform::gdi32 {

struct GdiObject {
    enum class Kind { Pen, Brush };
    Kind kind;
    COLORREF color;
    bool invisible;  // NULL_PEN, NULL_BRUSH
};

struct DeviceContext {
    HWND window = nullptr;
    cairo_surface_t* surface = nullptr;  // a reference of our own; logical units, see LogicalSize
    cairo_region_t* clip = nullptr;      // null: the whole surface
    cairo_region_t* drawn = nullptr;     // what drawing calls may have changed; null: nothing
    const GdiObject* pen = nullptr;
    const GdiObject* brush = nullptr;
    int bkMode = OPAQUE;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
};

// Null for anything that is not a live device context. Callers use it on the thread
// that owns the DC, as on Windows.
DeviceContext* FindDc(HDC dc);
const GdiObject* FindObject(HGDIOBJ object);
const GdiObject* StockObject(int index);
HGDIOBJ HandleOf(const GdiObject* object);

// The size of a surface in logical pixels: a window's surface holds device pixels at
// the window's scale (its cairo device scale), and a DC draws in logical units on it.
SIZE LogicalSize(cairo_surface_t* surface);
// A cairo context on the DC's surface, clipped to the DC's clip region, with the
// rasteriser set for crisp one-pixel shapes. The caller destroys it.
cairo_t* BeginDrawing(const DeviceContext& dc);
// Records that a drawing call may change the pixels of bounds, so the window manager
// shows that part, and only that part, when the DC is released.
void NoteDrawn(DeviceContext& dc, const RECT& bounds);
void NoteDrawnEverywhere(DeviceContext& dc);
void SetSourceColor(cairo_t* cr, COLORREF color);

}  // namespace platform::gdi32
