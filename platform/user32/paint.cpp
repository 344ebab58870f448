// The paint cycle: update regions, WM_PAINT and WM_ERASEBKGND, device contexts for
// windows, and showing the result.
//
// Every window keeps its client pixels in an image surface of its own. What the user
// sees of a top-level window is its surface with the surfaces of its visible children
// drawn on top, so a parent's drawing never covers a child.
//
// Only what changed goes to the display: a device context reports the part it drew,
// and that part alone is composed and presented when the DC is released. The surfaces
// stay valid in between, so whatever the display loses is shown again from them
// without asking the window procedures to paint.
#include <memory>
#include <utility>
#include <vector>

#include "base/device_pixels.h"
#include "gdi32/gdi32.h"
#include "window_state.h"

namespace platform::user32 {
namespace {

bool HasUpdate(const Window& window) { return window.update && !cairo_region_is_empty(window.update.get()); }

void SetInvalid(Window& window, bool invalid) {
    if (!window.handle || !window.queue) return;
    if (invalid) {
        window.queue->invalidWindows.insert(window.handle);
    } else {
        window.queue->invalidWindows.erase(window.handle);
    }
}

bool ChildrenOverlap(const Window& window, const cairo_rectangle_int_t& area) {
    for (HWND childHandle : window.children) {
        const Window* child = FindWindow(childHandle);
        if (!child || !child->visible) continue;
        if (child->rect.left < area.x + area.width && child->rect.right > area.x && child->rect.top < area.y + area.height &&
            child->rect.bottom > area.y) {
            return true;
        }
    }
    return false;
}

// The layers that show area (top-level client coordinates) of window, whose client
// area starts at (x, y): its own pixels where no visible child covers them, then each
// child's, oldest first, then the child's own children, so that later ones lie on top.
// above: what windows lying over this one cover (its later siblings and its
// ancestors'). A layer may be sent over its whole bounding box only where that box
// shows its window alone: a child the frame does not touch may lie inside the box of
// what it does touch.
void AddLayers(const Window& window, int x, int y, const cairo_region_t* area, const cairo_region_t* above,
               std::vector<video::Layer>& layers, std::vector<base::RegionPtr>& regions) {
    base::RegionPtr own(cairo_region_copy(area));
    base::RegionPtr hidden(cairo_region_copy(above));
    std::vector<std::pair<const Window*, cairo_rectangle_int_t>> children;
    for (HWND childHandle : window.children) {
        const Window* child = FindWindow(childHandle);
        if (!child || !child->visible || !child->surface) continue;
        const cairo_rectangle_int_t covered{x + child->rect.left, y + child->rect.top, child->clientWidth, child->clientHeight};
        cairo_region_subtract_rectangle(own.get(), &covered);
        cairo_region_union_rectangle(hidden.get(), &covered);
        children.emplace_back(child, covered);
    }
    if (!cairo_region_is_empty(own.get())) {
        cairo_rectangle_int_t extents;
        cairo_region_get_extents(own.get(), &extents);
        const bool mayWiden = cairo_region_contains_rectangle(hidden.get(), &extents) == CAIRO_REGION_OVERLAP_OUT;
        layers.push_back(video::Layer{window.surface.get(), POINT{x, y}, own.get(), mayWiden});
        regions.push_back(std::move(own));
    }
    for (size_t i = 0; i < children.size(); ++i) {
        const auto& [child, covered] = children[i];
        base::RegionPtr shown(cairo_region_copy(area));
        cairo_region_intersect_rectangle(shown.get(), &covered);
        if (cairo_region_is_empty(shown.get())) continue;
        base::RegionPtr over(cairo_region_copy(above));
        for (size_t later = i + 1; later < children.size(); ++later)
            cairo_region_union_rectangle(over.get(), &children[later].second);
        AddLayers(*child, covered.x, covered.y, shown.get(), over.get(), layers, regions);
    }
}

// A parent's drawing never covers a child: where children lie, their own pixels are
// sent instead, in the same frame, so no second copy of the window's pixels is made.
void PresentArea(Window& window, const cairo_region_t* area) {
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(area, &extents);
    cairo_surface_flush(window.surface.get());
    if (!ChildrenOverlap(window, extents)) {
        // The common case, a window drawing into itself: its own pixels are the frame,
        // over the whole box of what changed.
        const video::Layer layer{window.surface.get(), POINT{0, 0}, area, true};
        window.native->Present({&layer, 1});
        return;
    }
    std::vector<video::Layer> layers;
    std::vector<base::RegionPtr> regions;
    const base::RegionPtr nothingAbove(cairo_region_create());
    AddLayers(window, 0, 0, area, nothingAbove.get(), layers, regions);
    window.native->Present(layers);
}

void UpdateNow(HWND handle) {
    Window* window = FindWindow(handle);
    if (!window) return;
    if (IsShownOnScreen(*window) && HasUpdate(*window)) {
        SendMessageA(handle, WM_PAINT, 0, 0);
        window = FindWindow(handle);
        if (!window) return;
    }
    std::vector<HWND> children = window->children;
    for (HWND child : children) UpdateNow(child);
}

// Paints the whole tree first and shows it once, so no frame has parts missing.
void UpdateTree(HWND handle) {
    std::shared_ptr<MessageQueue> queue = QueueOf(handle);
    if (!queue) return;
    ++queue->presentHolds;
    UpdateNow(handle);
    --queue->presentHolds;
    PresentChanges(handle);
}

// The end of drawing through a window DC: what it drew goes to the display.
void ReleaseDrawing(HWND window, HDC dc) {
    if (const base::RegionPtr drawn = gdi32::TakeDrawnArea(dc)) NoteChanged(window, drawn.get());
    gdi32::DeleteDc(dc);
    PresentChanges(window);
}

}  // namespace

HDC BeginWindowPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    Window* window = FindWindow(hWnd);
    if (!window || !lpPaint) return nullptr;
    // Drawing is limited to what was invalid; from here on the window is valid again.
    const base::RegionPtr clip = window->update ? std::move(window->update) : base::RegionPtr(cairo_region_create());
    SetInvalid(*window, false);
    const bool erase = window->erasePending;
    window->erasePending = false;

    *lpPaint = PAINTSTRUCT{};
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(clip.get(), &extents);
    lpPaint->rcPaint = RECT{extents.x, extents.y, extents.x + extents.width, extents.y + extents.height};
    lpPaint->hdc = platform::gdi32::CreateDc(hWnd, window->surface.get(), clip.get());

    if (erase) {
        LRESULT erased = SendMessageA(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(lpPaint->hdc), 0);
        lpPaint->fErase = erased == 0;
    }
    return lpPaint->hdc;
}

BOOL EndWindowPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (!lpPaint) return FALSE;
    ReleaseDrawing(hWnd, lpPaint->hdc);
    return TRUE;
}

void InvalidateClient(Window& window, const RECT* rect, bool erase) {
    RECT area{0, 0, window.clientWidth, window.clientHeight};
    if (rect) {
        area.left = std::max(area.left, rect->left);
        area.top = std::max(area.top, rect->top);
        area.right = std::min(area.right, rect->right);
        area.bottom = std::min(area.bottom, rect->bottom);
    }
    if (area.right <= area.left || area.bottom <= area.top) return;
    if (!window.update) window.update.reset(cairo_region_create());
    cairo_rectangle_int_t part{area.left, area.top, area.right - area.left, area.bottom - area.top};
    cairo_region_union_rectangle(window.update.get(), &part);
    if (erase) window.erasePending = true;
    SetInvalid(window, true);
}

void InvalidateTree(HWND handle) {
    Window* window = FindWindow(handle);
    if (!window) return;
    InvalidateClient(*window, nullptr, true);
    for (HWND child : window->children) InvalidateTree(child);
}

HWND NextWindowToPaint(const MessageQueue& queue, HWND filter) {
    for (HWND handle : queue.invalidWindows) {
        const Window* window = FindWindow(handle);
        if (window && HasUpdate(*window) && IsShownOnScreen(*window) && MatchesWindowFilter(filter, handle)) return handle;
    }
    return nullptr;
}

void NoteChanged(HWND handle, const cairo_region_t* area) {
    if (!area || cairo_region_is_empty(area)) return;
    HWND topLevel = TopLevelOf(handle);
    Window* top = FindWindow(topLevel);
    if (!top) return;
    POINT origin = ClientToTopLevel(handle, POINT{0, 0});
    const base::RegionPtr moved(cairo_region_copy(area));
    cairo_region_translate(moved.get(), origin.x, origin.y);
    if (!top->unpresented) top->unpresented.reset(cairo_region_create());
    cairo_region_union(top->unpresented.get(), moved.get());
}

void NoteChangedRect(HWND handle, const RECT& area) {
    if (area.right <= area.left || area.bottom <= area.top) return;
    cairo_rectangle_int_t part{area.left, area.top, area.right - area.left, area.bottom - area.top};
    const base::RegionPtr region(cairo_region_create_rectangle(&part));
    NoteChanged(handle, region.get());
}

void PresentChanges(HWND anyWindowOfTheTree) {
    Window* window = FindWindow(TopLevelOf(anyWindowOfTheTree));
    if (!window || !window->unpresented || window->queue->presentHolds > 0) return;
    const base::RegionPtr area = std::move(window->unpresented);
    cairo_rectangle_int_t client{0, 0, window->clientWidth, window->clientHeight};
    cairo_region_intersect_rectangle(area.get(), &client);
    // A hidden window shows nothing; showing it again repaints the whole tree.
    if (!cairo_region_is_empty(area.get()) && window->native && window->visible && window->surface &&
        window->native->WantsFrames()) {
        PresentArea(*window, area.get());
    }
}

void PresentAgain(HWND topLevel, const RECT& area) {
    NoteChangedRect(topLevel, area);
    PresentChanges(topLevel);
}

double ScaleOf(const Window& window) {
    const Window* top = &window;
    while (top->parent) {
        const Window* parent = FindWindow(top->parent);
        if (!parent) break;
        top = parent;
    }
    return top->scale;
}

void ResizeSurface(Window& window) {
    // Device pixels enough to cover the logical size; cairo's device scale lets every
    // drawing call, and Pango's glyphs, stay in logical units and land sharp.
    const double scale = ScaleOf(window);
    base::SurfacePtr resized(cairo_image_surface_create(CAIRO_FORMAT_RGB24, base::DeviceEnd(window.clientWidth, scale),
                                                        base::DeviceEnd(window.clientHeight, scale)));
    cairo_surface_set_device_scale(resized.get(), scale, scale);
    if (window.surface) {
        const base::ContextPtr cr(cairo_create(resized.get()));
        cairo_set_source_surface(cr.get(), window.surface.get(), 0, 0);
        cairo_paint(cr.get());
    }
    window.surface = std::move(resized);
    if (window.update) {
        cairo_rectangle_int_t client{0, 0, window.clientWidth, window.clientHeight};
        cairo_region_intersect_rectangle(window.update.get(), &client);
        SetInvalid(window, HasUpdate(window));
    }
}

void SetTreeScale(HWND topLevel, double scale) {
    Window* top = FindWindow(topLevel);
    scale = base::ClampScale(scale);
    if (!top || top->parent || top->scale == scale) return;
    top->scale = scale;
    // Pixels of another scale are no use at this one: everything is drawn again.
    std::vector<HWND> tree{topLevel};
    for (size_t i = 0; i < tree.size(); ++i) {
        Window* window = FindWindow(tree[i]);
        if (!window) continue;
        window->surface.reset();
        ResizeSurface(*window);
        tree.insert(tree.end(), window->children.begin(), window->children.end());
    }
    InvalidateTree(topLevel);
    NoteChangedRect(topLevel, RECT{0, 0, top->clientWidth, top->clientHeight});
    UpdateTree(topLevel);
}

void DropSurface(Window& window) {
    window.native.reset();
    SetInvalid(window, false);
    window.surface.reset();
    window.update.reset();
    window.unpresented.reset();
}

}  // namespace platform::user32

using namespace platform::user32;

extern "C" {

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    if (!hWnd) {
        // As on Windows: no window means all of them.
        for (HWND topLevel : TopLevelWindows()) InvalidateTree(topLevel);
        return TRUE;
    }
    Window* window = FindWindow(hWnd);
    if (!window) return FALSE;
    InvalidateClient(*window, lpRect, bErase != FALSE);
    return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    if (!FindWindow(hWnd)) return FALSE;
    UpdateTree(hWnd);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) { return BeginWindowPaint(hWnd, lpPaint); }

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) { return EndWindowPaint(hWnd, lpPaint); }

HDC WINAPI GetDC(HWND hWnd) {
    Window* window = FindWindow(hWnd);
    HDC dc = window ? platform::gdi32::CreateDc(hWnd, window->surface.get(), nullptr) : nullptr;
    return dc;
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    bool ours = hDC && platform::gdi32::IsDc(hDC) && platform::gdi32::DcWindow(hDC) == hWnd;
    if (!ours) return 0;
    ReleaseDrawing(hWnd, hDC);
    return 1;
}

}  // extern "C"
