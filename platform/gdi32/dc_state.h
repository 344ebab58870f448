// The objects behind HDC and HGDIOBJ handles; private to the graphics layer.
#pragma once

#include <windows.h>

#include <cairo.h>

#include "base/cairo_ptr.h"

namespace platform::gdi32 {

struct GdiObject {
    enum class Kind { Pen, Brush };
    Kind kind;
    COLORREF color;
    bool invisible;  // NULL_PEN, NULL_BRUSH
};

struct DeviceContext {
    HWND window = nullptr;
    base::SurfacePtr surface;  // a reference of our own; logical units, see LogicalSize
    base::RegionPtr clip;      // null: the whole surface
    base::RegionPtr drawn;     // what drawing calls may have changed; null: nothing
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
// Adds a logical rectangle to cr's path as all the device pixels it touches. Aliased
// drawing fills a pixel only when its centre is inside, so at a fractional scale the
// last, partly covered device pixel of a window's edge would stay unpainted.
void AddRectangle(cairo_t* cr, const DeviceContext& dc, int x, int y, int width, int height);
// A cairo context on the DC's surface, clipped to the DC's clip region, with the
// rasteriser set for crisp one-pixel shapes.
base::ContextPtr BeginDrawing(const DeviceContext& dc);
// Records that a drawing call may change the pixels of bounds, so the window manager
// shows that part, and only that part, when the DC is released.
void NoteDrawn(DeviceContext& dc, const RECT& bounds);
void NoteDrawnEverywhere(DeviceContext& dc);
void SetSourceColor(cairo_t* cr, COLORREF color);

}  // namespace platform::gdi32
