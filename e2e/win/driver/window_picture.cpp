#include "driver/window_picture.h"

#include <cstdio>
#include <vector>

namespace driver {
namespace {

constexpr COLORREF Grey = RGB(80, 80, 80);
constexpr COLORREF Black = RGB(0, 0, 0);

// A 32-bit top-down DIB section selected into a memory DC made like the window's.
class Canvas {
public:
    Canvas(HDC like, int width, int height) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(like);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(like, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        if (dc_ != nullptr && bitmap_ != nullptr) previous_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool Ready() const { return previous_ != nullptr && bits_ != nullptr; }
    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    DWORD Pixel(int x, int y) const { return bits_[y * width_ + x] & 0x00FFFFFF; }

    void Save(const std::string& path) const {
        GdiFlush();
        BITMAPFILEHEADER file = {};
        BITMAPINFOHEADER header = {};
        header.biSize = sizeof header;
        header.biWidth = width_;
        header.biHeight = -height_;
        header.biPlanes = 1;
        header.biBitCount = 32;
        DWORD size = static_cast<DWORD>(width_ * height_ * 4);
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof header;
        file.bfSize = file.bfOffBits + size;
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) return;
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&header, sizeof header, 1, out);
        std::fwrite(bits_, size, 1, out);
        std::fclose(out);
    }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    DWORD* bits_ = nullptr;
};

// The program's drawing, call for call: captions and identifier panel...
void DrawPanel(HDC dc, const RECT& client, const std::wstring& identifier) {
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    RECT r = {client.left + 10, client.top + 10, client.right - 10, client.top + 30};
    SetTextColor(dc, Grey);
    DrawTextA(dc, "Current Connected Audio Session Identifier:", -1, &r, DT_SINGLELINE | DT_VCENTER);
    SetTextColor(dc, Black);
    LONG b = r.bottom;
    RoundRect(dc, r.left - 4, b + 1, r.right + 4, b + 59, 7, 7);
    r.top = b + 5;
    r.bottom = b + 55;
    DrawTextW(dc, identifier.c_str(), static_cast<int>(identifier.size()), &r, DT_WORDBREAK);
    LONG y = r.bottom;
    r.top = y + 15;
    r.bottom = y + 35;
    SetTextColor(dc, Grey);
    DrawTextA(dc, "Current Volume Level / Mute State / state / Process ID:", -1, &r, DT_SINGLELINE | DT_VCENTER);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

// ... and the value row, at the place the panel lays out for it.
void DrawValueRow(HDC dc, const ShownStatus& status) {
    const LONG left = 10;
    const LONG top = 125;
    const LONG bottom = 155;
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Black);
    const char* stateText = status.state == 0   ? "Inactive"
                            : status.state == 1 ? "Active"
                            : status.state == 2 ? "Expired"
                                                : "no state";
    char volume[64];
    char mute[64];
    char process[64];
    std::snprintf(volume, sizeof volume, "Volume: %0.3f", static_cast<double>(status.volume));
    std::snprintf(mute, sizeof mute, "Mute: %i", status.mute);
    std::snprintf(process, sizeof process, "PUID: %i", static_cast<int>(status.processId));
    struct Box {
        LONG from;
        LONG to;
        const char* text;
    } boxes[] = {{0, 300, volume}, {310, 460, mute}, {470, 620, stateText}, {630, 730, process}};
    for (const Box& box : boxes) {
        RECT r = {left + box.from, top, left + box.to, bottom};
        RoundRect(dc, r.left, r.top, r.right, r.bottom, 7, 7);
        DrawTextA(dc, box.text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

void DrawReference(HDC dc, const RECT& client, const ShownStatus& status) {
    FillRect(dc, &client, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1)));
    DrawPanel(dc, client, status.identifier);
    DrawValueRow(dc, status);
    GdiFlush();
}

RECT RegionRect(Region region, const RECT& client) {
    if (region == Region::Panel) return {0, 0, client.right, 122};
    return {0, 122, client.right, 158};
}

bool Compare(HWND window, const ShownStatus& expected, Region region, std::string* why, const std::string* saveStem) {
    RECT client = {};
    if (!GetClientRect(window, &client) || client.right < 760 || client.bottom < 160) {
        if (why != nullptr) *why = "client area too small or unreadable";
        return false;
    }
    HDC windowDc = GetDC(window);
    if (windowDc == nullptr) {
        if (why != nullptr) *why = "GetDC on the program's window failed";
        return false;
    }
    Canvas shown(windowDc, client.right, client.bottom);
    Canvas reference(windowDc, client.right, client.bottom);
    bool ready =
        shown.Ready() && reference.Ready() && BitBlt(shown.Dc(), 0, 0, client.right, client.bottom, windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
    if (!ready) {
        if (why != nullptr) *why = "capturing the window failed";
        return false;
    }
    DrawReference(reference.Dc(), client, expected);
    GdiFlush();
    if (saveStem != nullptr) {
        shown.Save(*saveStem + "-shown.bmp");
        reference.Save(*saveStem + "-reference.bmp");
        return true;
    }

    RECT area = RegionRect(region, client);
    int differing = 0;
    int firstX = -1;
    int firstY = -1;
    DWORD shownFirst = 0;
    DWORD referenceFirst = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (shown.Pixel(x, y) != reference.Pixel(x, y)) {
                if (differing++ == 0) {
                    firstX = x;
                    firstY = y;
                    shownFirst = shown.Pixel(x, y);
                    referenceFirst = reference.Pixel(x, y);
                }
            }
    if (differing != 0 && why != nullptr) {
        char text[200];
        std::snprintf(text, sizeof text, "%d pixels differ, first at (%d,%d): shown %06lx, expected %06lx", differing, firstX,
                      firstY, static_cast<unsigned long>(shownFirst), static_cast<unsigned long>(referenceFirst));
        *why = text;
    }
    return differing == 0;
}

}  // namespace

bool ShowsNow(HWND window, const ShownStatus& expected, Region region, std::string* why) {
    return Compare(window, expected, region, why, nullptr);
}

bool WaitForPicture(HWND window, const ShownStatus& expected, Region region, DWORD timeoutMs, std::string* why) {
    DWORD from = GetTickCount();
    for (;;) {
        if (Compare(window, expected, region, why, nullptr)) return true;
        if (GetTickCount() - from >= timeoutMs) return false;
        Sleep(40);
    }
}

void SavePictures(HWND window, const ShownStatus& expected, const std::string& stem) {
    Compare(window, expected, Region::Panel, nullptr, &stem);
}

}  // namespace driver
