// Internals of the graphics layer that the window manager and the test surface use.
#pragma once

#include <windows.h>

#include <cairo.h>

#include <memory>
#include <mutex>
#include <string>

#include "base/cairo_ptr.h"

namespace platform::gdi32 {

// A device context drawing into surface (the window's client pixels, or a test's
// memory surface). clip, when not null, limits all drawing and is copied.
HDC CreateDc(HWND window, cairo_surface_t* surface, const cairo_region_t* clip);
bool DeleteDc(HDC dc);
bool IsDc(HDC dc);
HWND DcWindow(HDC dc);
// The part of the surface that drawing through dc may have changed, within its clip;
// null when nothing was drawn.
base::RegionPtr TakeDrawnArea(HDC dc);

// The colour of a system colour index (COLOR_xxx) as Windows 10 shows it by default.
COLORREF SystemColor(int index);
// Fills rect with brush: a GDI brush or a system-colour value COLOR_xxx + 1, as the
// hbrBackground of a window class may be. False when brush is neither.
bool FillWithBrush(HDC dc, const RECT& rect, HBRUSH brush);
void FillWithColor(HDC dc, const RECT& rect, COLORREF color);
// A one-pixel line from (x0, y0) to (x1, y1), both ends included: horizontal or vertical.
void DrawPixelLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF color);
// The outline of rect (right and bottom excluded) in dots on every other pixel, as
// the classic focus rectangle looks.
void DrawDottedRectangle(HDC dc, const RECT& rect, COLORREF color);

// Metrics of the default font in pixels.
struct FontMetrics {
    int ascent;
    int lineHeight;
};
FontMetrics DefaultFontMetrics();

// The text shaper, held under the text lock while this lives: lines of UTF-8 text in
// the default font, shaped by Pango with fallback to other installed fonts for
// characters it lacks, measured and drawn with the fixed options so pixels do not
// depend on the desktop's settings. Lines that are drawn, or measured to be drawn, are
// kept shaped for the next time.
class LockedShaper {
public:
    LockedShaper();
    ~LockedShaper();
    LockedShaper(const LockedShaper&) = delete;
    LockedShaper& operator=(const LockedShaper&) = delete;
    // The advance of a whole line that is to be drawn, in pixels.
    double Width(const std::string& utf8);
    // The same for text only measured, as a line break candidate: nothing is kept.
    double TrialWidth(const std::string& utf8);
    // Draws the line with its start at x and its baseline at baseline.
    void Show(cairo_t* cr, const std::string& utf8, double x, double baseline);

private:
    std::lock_guard<std::mutex> guard_;
};

// What a device context holds now; all null and zero for an unknown one.
struct DcSettings {
    HWND window = nullptr;  // the window it draws into
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    COLORREF textColor = 0;
    int bkMode = 0;
};
DcSettings SettingsOf(HDC dc);

// What SetBkMode, SetTextColor and DrawTextA/W do, for the platform's own drawing
// (button faces), which does not go through the program's entry points.
int SetDcBkMode(HDC dc, int mode);
COLORREF SetDcTextColor(HDC dc, COLORREF color);
int DrawTextUtf8(HDC dc, const std::string& utf8, LPRECT rect, UINT format);

// Forgets every device context (a reset between test runs). Stock objects remain.
void ResetDeviceContexts();

}  // namespace platform::gdi32
