// Device contexts: a surface, a clip region and the selected objects and colours.
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "base/device_pixels.h"
#include "dc_state.h"
#include "gdi32/gdi32.h"

namespace platform::gdi32 {
namespace {

struct DcTable {
    std::mutex lock;
    std::map<HDC, std::unique_ptr<DeviceContext>> live;
    uintptr_t nextHandle = 0x1000;
};

DcTable& DeviceContexts() {
    // Never destroyed: windows, their surfaces and the display connection stay valid
    // until the process ends, whatever order static destructors run in.
    static DcTable* instance = new DcTable;
    return *instance;
}

}  // namespace

HDC CreateDc(HWND window, cairo_surface_t* surface, const cairo_region_t* clip) {
    auto dc = std::make_unique<DeviceContext>();
    dc->window = window;
    dc->surface.reset(cairo_surface_reference(surface));
    if (clip) dc->clip.reset(cairo_region_copy(clip));
    // A new DC starts with the stock black pen and white brush, as on Windows.
    dc->pen = StockObject(BLACK_PEN);
    dc->brush = StockObject(WHITE_BRUSH);
    DcTable& state = DeviceContexts();
    std::lock_guard<std::mutex> guard(state.lock);
    // Handles are never reused, so a stale HDC cannot reach a newer context.
    HDC handle = reinterpret_cast<HDC>(state.nextHandle);
    state.nextHandle += 0x10;
    state.live[handle] = std::move(dc);
    return handle;
}

bool DeleteDc(HDC handle) {
    std::unique_ptr<DeviceContext> dc;
    {
        DcTable& state = DeviceContexts();
        std::lock_guard<std::mutex> guard(state.lock);
        auto found = state.live.find(handle);
        if (found == state.live.end()) return false;
        dc = std::move(found->second);
        state.live.erase(found);
    }
    // dc goes here, outside the lock, with its surface and regions.
    return true;
}

DeviceContext* FindDc(HDC handle) {
    DcTable& state = DeviceContexts();
    std::lock_guard<std::mutex> guard(state.lock);
    auto found = state.live.find(handle);
    return found == state.live.end() ? nullptr : found->second.get();
}

bool IsDc(HDC handle) { return FindDc(handle) != nullptr; }

HWND DcWindow(HDC handle) {
    DeviceContext* dc = FindDc(handle);
    return dc ? dc->window : nullptr;
}

void NoteDrawn(DeviceContext& dc, const RECT& bounds) {
    if (bounds.right <= bounds.left || bounds.bottom <= bounds.top) return;
    if (!dc.drawn) dc.drawn.reset(cairo_region_create());
    cairo_rectangle_int_t part{bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top};
    cairo_region_union_rectangle(dc.drawn.get(), &part);
}

SIZE LogicalSize(cairo_surface_t* surface) {
    double scaleX = 1, scaleY = 1;
    cairo_surface_get_device_scale(surface, &scaleX, &scaleY);
    return SIZE{base::LogicalSize(cairo_image_surface_get_width(surface), scaleX),
                base::LogicalSize(cairo_image_surface_get_height(surface), scaleY)};
}

void NoteDrawnEverywhere(DeviceContext& dc) {
    const SIZE size = LogicalSize(dc.surface.get());
    NoteDrawn(dc, RECT{0, 0, size.cx, size.cy});
}

base::RegionPtr TakeDrawnArea(HDC handle) {
    DeviceContext* dc = FindDc(handle);
    if (!dc || !dc->drawn) return nullptr;
    base::RegionPtr drawn = std::move(dc->drawn);
    if (dc->clip) cairo_region_intersect(drawn.get(), dc->clip.get());
    const SIZE size = LogicalSize(dc->surface.get());
    const cairo_rectangle_int_t surface{0, 0, size.cx, size.cy};
    cairo_region_intersect_rectangle(drawn.get(), &surface);
    return drawn;
}

void ResetDeviceContexts() {
    DcTable& state = DeviceContexts();
    std::lock_guard<std::mutex> guard(state.lock);
    state.live.clear();
}

DcSettings SettingsOf(HDC handle) {
    DcSettings settings;
    if (const DeviceContext* dc = FindDc(handle)) {
        settings.window = dc->window;
        settings.pen = HandleOf(dc->pen);
        settings.brush = HandleOf(dc->brush);
        settings.textColor = dc->textColor;
        settings.bkMode = dc->bkMode;
    }
    return settings;
}

void AddRectangle(cairo_t* cr, const DeviceContext& dc, int x, int y, int width, int height) {
    double scale = 1, scaleY = 1;
    cairo_surface_get_device_scale(dc.surface.get(), &scale, &scaleY);
    if (scale == 1 && scaleY == 1) {
        cairo_rectangle(cr, x, y, width, height);
        return;
    }
    const int left = base::DeviceStart(x, scale), top = base::DeviceStart(y, scaleY);
    const int right = base::DeviceEnd(x + width, scale), bottom = base::DeviceEnd(y + height, scaleY);
    cairo_rectangle(cr, left / scale, top / scaleY, (right - left) / scale, (bottom - top) / scaleY);
}

base::ContextPtr BeginDrawing(const DeviceContext& dc) {
    base::ContextPtr context(cairo_create(dc.surface.get()));
    cairo_t* cr = context.get();
    if (dc.clip) {
        int count = cairo_region_num_rectangles(dc.clip.get());
        for (int i = 0; i < count; ++i) {
            cairo_rectangle_int_t part;
            cairo_region_get_rectangle(dc.clip.get(), i, &part);
            AddRectangle(cr, dc, part.x, part.y, part.width, part.height);
        }
        cairo_clip(cr);
    }
    // GDI draws aliased shapes; pixel-exact edges also keep frames identical between runs.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    return context;
}

void SetSourceColor(cairo_t* cr, COLORREF color) {
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

void FillWithColor(HDC handle, const RECT& rect, COLORREF color) {
    DeviceContext* dc = FindDc(handle);
    if (!dc || rect.right <= rect.left || rect.bottom <= rect.top) return;
    NoteDrawn(*dc, rect);
    const base::ContextPtr context = BeginDrawing(*dc);
    cairo_t* cr = context.get();
    SetSourceColor(cr, color);
    AddRectangle(cr, *dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    cairo_fill(cr);
}

bool FillWithBrush(HDC handle, const RECT& rect, HBRUSH brush) {
    uintptr_t value = reinterpret_cast<uintptr_t>(brush);
    // A window class may name a system colour as COLOR_xxx + 1 instead of a brush.
    if (value >= 1 && value <= 31) {
        FillWithColor(handle, rect, SystemColor(static_cast<int>(value - 1)));
        return true;
    }
    const GdiObject* object = FindObject(brush);
    if (!object || object->kind != GdiObject::Kind::Brush) return false;
    if (!object->invisible) FillWithColor(handle, rect, object->color);
    return true;
}

void DrawPixelLine(HDC handle, int x0, int y0, int x1, int y1, COLORREF color) {
    RECT line{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
    FillWithColor(handle, line, color);
}

void DrawDottedRectangle(HDC handle, const RECT& rect, COLORREF color) {
    DeviceContext* dc = FindDc(handle);
    if (!dc || rect.right - rect.left < 2 || rect.bottom - rect.top < 2) return;
    NoteDrawn(*dc, rect);
    const base::ContextPtr context = BeginDrawing(*dc);
    cairo_t* cr = context.get();
    SetSourceColor(cr, color);
    auto dot = [&](int x, int y) {
        if (((x - rect.left) + (y - rect.top)) % 2 == 0) cairo_rectangle(cr, x, y, 1, 1);
    };
    for (int x = rect.left; x < rect.right; ++x) {
        dot(x, rect.top);
        dot(x, rect.bottom - 1);
    }
    for (int y = rect.top + 1; y < rect.bottom - 1; ++y) {
        dot(rect.left, y);
        dot(rect.right - 1, y);
    }
    cairo_fill(cr);
}

}  // namespace platform::gdi32
