// DrawTextA and DrawTextW: lines laid out in the default font inside a rectangle.
//
// 8-bit text is taken as Latin-1 (the Western code page for the characters the
// program uses); UTF-16 text is converted to UTF-8 for Pango. Lines are broken and
// placed here, the GDI way; Pango only shapes and draws each line.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "dc_state.h"
#include "gdi32/gdi32.h"

namespace platform::gdi32 {
namespace {

struct Line {
    std::string text;
    int width;
};

// Lines of text the GDI way: broken at spaces to fit a width, each with its width.
class LineBreaker {
public:
    explicit LineBreaker(LockedShaper& shaper) : shaper_(shaper) {}

    int Width(const std::string& line) const { return static_cast<int>(std::lround(shaper_.Width(line))); }
    int TrialWidth(const std::string& text) const { return static_cast<int>(std::lround(shaper_.TrialWidth(text))); }

    // Greedy breaking at spaces. A word wider than the line keeps a line of its own
    // and is cut at the right edge by the clip, never broken.
    std::vector<Line> Lines(const std::string& text, UINT format, int maxWidth) const {
        std::vector<Line> lines;
        if (format & DT_SINGLELINE) {
            std::string single;
            for (char c : text) {
                if (c != '\r' && c != '\n') single += c;
            }
            lines.push_back({single, Width(single)});
            return lines;
        }
        size_t start = 0;
        while (true) {
            size_t end = text.find('\n', start);
            std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
            if (format & DT_WORDBREAK) {
                BreakParagraph(paragraph, maxWidth, lines);
            } else {
                lines.push_back({paragraph, Width(paragraph)});
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return lines;
    }

private:
    void BreakParagraph(const std::string& paragraph, int maxWidth, std::vector<Line>& lines) const {
        size_t position = 0;
        bool emitted = false;
        while (position < paragraph.size()) {
            if (emitted) {
                position = paragraph.find_first_not_of(' ', position);  // spaces at a break vanish
                if (position == std::string::npos) break;
            }
            size_t lineEnd = NextWordEnd(paragraph, position);
            while (lineEnd < paragraph.size()) {
                size_t candidate = NextWordEnd(paragraph, lineEnd);
                if (TrialWidth(paragraph.substr(position, candidate - position)) > maxWidth) break;
                lineEnd = candidate;
            }
            std::string line = paragraph.substr(position, lineEnd - position);
            lines.push_back({line, Width(line)});
            emitted = true;
            position = lineEnd;
        }
        if (!emitted) lines.push_back({"", 0});
    }

    // The end of the first word at or after from, or the end of the text.
    static size_t NextWordEnd(const std::string& text, size_t from) {
        size_t word = text.find_first_not_of(' ', from);
        if (word == std::string::npos) return text.size();
        size_t end = text.find(' ', word);
        return end == std::string::npos ? text.size() : end;
    }

    LockedShaper& shaper_;
};

}  // namespace

int DrawTextUtf8(HDC hdc, const std::string& text, LPRECT rect, UINT format) {
    DeviceContext* dc = FindDc(hdc);
    if (!dc || !rect) return 0;

    base::ContextPtr context = BeginDrawing(*dc);
    cairo_t* cr = context.get();
    const FontMetrics metrics = DefaultFontMetrics();
    LockedShaper shaper;
    std::vector<Line> lines = LineBreaker(shaper).Lines(text, format, rect->right - rect->left);
    const int textHeight = static_cast<int>(lines.size()) * metrics.lineHeight;

    int top = rect->top;
    bool fromTopOnly = true;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER) {
            top = rect->top + (rect->bottom - rect->top - metrics.lineHeight) / 2;
            fromTopOnly = false;
        } else if (format & DT_BOTTOM) {
            top = rect->bottom - metrics.lineHeight;
            fromTopOnly = false;
        }
    }

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line& line : lines) widest = std::max(widest, line.width);
        if (!(format & DT_WORDBREAK) || lines.size() <= 1) rect->right = rect->left + widest;
        rect->bottom = rect->top + textHeight;
        return textHeight;
    }

    if (format & DT_NOCLIP) {
        NoteDrawnEverywhere(*dc);
    } else {
        NoteDrawn(*dc, *rect);
        AddRectangle(cr, *dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
        cairo_clip(cr);
    }
    int lineTop = top;
    for (const Line& line : lines) {
        int x = rect->left;
        if (format & DT_CENTER) {
            x = rect->left + (rect->right - rect->left - line.width) / 2;
        } else if (format & DT_RIGHT) {
            x = rect->right - line.width;
        }
        if (dc->bkMode == OPAQUE && line.width > 0) {
            SetSourceColor(cr, dc->bkColor);
            AddRectangle(cr, *dc, x, lineTop, line.width, metrics.lineHeight);
            cairo_fill(cr);
        }
        SetSourceColor(cr, dc->textColor);
        shaper.Show(cr, line.text, x, lineTop + metrics.ascent);
        lineTop += metrics.lineHeight;
    }
    // The context's drawing reaches the surface when it goes, before the surface is
    // marked.
    context.reset();
    cairo_surface_mark_dirty(dc->surface.get());
    // As on Windows: the height of the text, or with a vertical placement the offset
    // from the top of the rectangle to the bottom of the text.
    return fromTopOnly ? textHeight : top - rect->top + textHeight;
}

}  // namespace platform::gdi32

using namespace platform::gdi32;

extern "C" {

int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    if (!lpchText) return 0;
    size_t length = cchText < 0 ? std::strlen(lpchText) : static_cast<size_t>(cchText);
    return DrawTextUtf8(hdc, platform::base::Latin1ToUtf8({lpchText, length}), lprc, format);
}

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    if (!lpchText) return 0;
    size_t length = 0;
    if (cchText < 0) {
        while (lpchText[length] != u'\0') ++length;
    } else {
        length = static_cast<size_t>(cchText);
    }
    return DrawTextUtf8(hdc, platform::base::Utf16ToUtf8({lpchText, length}), lprc, format);
}

}  // extern "C"
