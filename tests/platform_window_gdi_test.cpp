// The graphics stand-in (gdi32 and DrawText) as the program's painters use it:
// selection, colours, RoundRect geometry, text layout and clipping, the call trace.
#include <gtest/gtest.h>
#include <windows.h>

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <string>

#include "gdi32/gdi32.h"
#include "testing/window_test.h"

namespace {

using platform::test::Canvas;
using platform::test::Image;

constexpr uint32_t Grey = 0x808080;

// Pixels that differ from the background inside [left, right) x [top, bottom).
int Marked(const Image& image, int left, int top, int right, int bottom, uint32_t background) {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) count += image.At(x, y) != background;
    }
    return count;
}

// The smallest rectangle holding every pixel that differs from the background.
RECT InkBounds(const Image& image, uint32_t background) {
    RECT bounds{image.width, image.height, -1, -1};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.At(x, y) == background) continue;
            bounds.left = std::min<LONG>(bounds.left, x);
            bounds.top = std::min<LONG>(bounds.top, y);
            bounds.right = std::max<LONG>(bounds.right, x + 1);
            bounds.bottom = std::max<LONG>(bounds.bottom, y + 1);
        }
    }
    return bounds;
}

// --- objects and state ----------------------------------------------------------

TEST(GdiObjects, NewDcHasBlackPenAndWhiteBrushAndSelectReturnsPrevious) {
    Canvas canvas(10, 10);
    HGDIOBJ whitePen = GetStockObject(WHITE_PEN), blackPen = GetStockObject(BLACK_PEN);
    HGDIOBJ whiteBrush = GetStockObject(WHITE_BRUSH), blackBrush = GetStockObject(BLACK_BRUSH);
    ASSERT_NE(whitePen, nullptr);
    ASSERT_NE(whitePen, blackPen);
    ASSERT_NE(whiteBrush, blackBrush);
    EXPECT_EQ(GetStockObject(WHITE_PEN), whitePen) << "stock objects are stable";
    EXPECT_EQ(GetStockObject(99), nullptr);

    EXPECT_EQ(SelectObject(canvas.dc(), whitePen), blackPen);
    EXPECT_EQ(SelectObject(canvas.dc(), blackBrush), whiteBrush);
    EXPECT_EQ(SelectObject(canvas.dc(), blackPen), whitePen) << "pens and brushes have separate slots";
    EXPECT_EQ(SelectObject(canvas.dc(), whiteBrush), blackBrush);
    EXPECT_EQ(SelectObject(canvas.dc(), reinterpret_cast<HGDIOBJ>(0x77)), nullptr) << "not an object";
    EXPECT_EQ(SelectObject(nullptr, whitePen), nullptr) << "not a DC";
}

TEST(GdiObjects, BkModeAndTextColorReturnPreviousValues) {
    Canvas canvas(10, 10);
    EXPECT_EQ(SetBkMode(canvas.dc(), TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(canvas.dc(), OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetBkMode(canvas.dc(), 77), 0) << "invalid mode";
    EXPECT_EQ(SetBkMode(nullptr, OPAQUE), 0);
    EXPECT_EQ(SetTextColor(canvas.dc(), RGB(80, 80, 80)), RGB(0, 0, 0));
    EXPECT_EQ(SetTextColor(canvas.dc(), RGB(0, 0, 0)), RGB(80, 80, 80));
    EXPECT_EQ(SetTextColor(nullptr, 0), CLR_INVALID);
}

// --- RoundRect --------------------------------------------------------------------

TEST(GdiRoundRect, OutlineInsideExclusiveEdgesFilledWithBrush) {
    Canvas canvas(60, 40, Grey);
    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
    SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
    ASSERT_TRUE(RoundRect(canvas.dc(), 10, 5, 50, 35, 7, 7));
    Image image = canvas.Pixels();
    EXPECT_EQ(image.At(10, 20), 0x000000u) << "left edge is drawn";
    EXPECT_EQ(image.At(49, 20), 0x000000u) << "last pixel inside on the right";
    EXPECT_EQ(image.At(50, 20), Grey) << "right is exclusive";
    EXPECT_EQ(image.At(30, 5), 0x000000u) << "top edge";
    EXPECT_EQ(image.At(30, 34), 0x000000u) << "last pixel inside at the bottom";
    EXPECT_EQ(image.At(30, 35), Grey) << "bottom is exclusive";
    EXPECT_EQ(image.At(9, 20), Grey);
    EXPECT_EQ(image.At(30, 20), 0xFFFFFFu) << "brush inside";
    EXPECT_EQ(image.At(11, 20), 0xFFFFFFu) << "the outline is one pixel wide";
    EXPECT_EQ(image.At(10, 5), Grey) << "corner is rounded";
    EXPECT_EQ(image.At(49, 34), Grey) << "corner is rounded";
    EXPECT_EQ(Marked(image, 0, 0, 60, 40, Grey), Marked(image, 10, 5, 50, 35, Grey)) << "nothing outside";
}

TEST(GdiRoundRect, WhitePenAndBrushGiveAPlainWhiteArea) {
    Canvas canvas(40, 40, Grey);
    SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
    SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
    RoundRect(canvas.dc(), 5, 5, 35, 35, 7, 7);
    Image image = canvas.Pixels();
    for (int x = 5; x < 35; ++x) EXPECT_EQ(image.At(x, 20), 0xFFFFFFu) << "x " << x;
    EXPECT_FALSE(RoundRect(nullptr, 0, 0, 1, 1, 0, 0));
}

TEST(GdiRoundRect, ABoxDrawnAgainTakesItsPlaceColoursAndClipFromTheCall) {
    Canvas reference(60, 40, Grey);
    SelectObject(reference.dc(), GetStockObject(BLACK_PEN));
    SelectObject(reference.dc(), GetStockObject(WHITE_BRUSH));
    RoundRect(reference.dc(), 10, 5, 50, 35, 7, 7);
    const Image expected = reference.Pixels();

    const RECT leftHalf{0, 0, 30, 40};
    Canvas elsewhere(60, 40, Grey, &leftHalf);
    SelectObject(elsewhere.dc(), GetStockObject(WHITE_PEN));
    SelectObject(elsewhere.dc(), GetStockObject(BLACK_BRUSH));
    RoundRect(elsewhere.dc(), 0, 0, 40, 30, 7, 7);  // the same size at another place, in other colours
    Image image = elsewhere.Pixels();
    EXPECT_EQ(image.At(0, 15), 0xFFFFFFu) << "pen";
    EXPECT_EQ(image.At(20, 15), 0x000000u) << "brush";
    EXPECT_EQ(image.At(35, 15), Grey) << "outside the clip";

    Canvas clipped(60, 40, Grey, &leftHalf);
    SelectObject(clipped.dc(), GetStockObject(BLACK_PEN));
    SelectObject(clipped.dc(), GetStockObject(WHITE_BRUSH));
    RoundRect(clipped.dc(), 10, 5, 50, 35, 7, 7);
    image = clipped.Pixels();
    int differing = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) differing += image.At(x, y) != (x < 30 ? expected.At(x, y) : Grey);
    }
    EXPECT_EQ(differing, 0);
}

// --- DrawText -------------------------------------------------------------------

TEST(GdiDrawText, ClipsToTheRectangleUnlessNoClip) {
    const char* text = "Current Connected Audio Session Identifier:";
    {
        Canvas canvas(300, 60);
        RECT rect{10, 10, 80, 30};
        DrawTextA(canvas.dc(), text, -1, &rect, DT_SINGLELINE | DT_VCENTER);
        Image image = canvas.Pixels();
        RECT ink = InkBounds(image, 0xFFFFFF);
        EXPECT_GT(Marked(image, 10, 10, 80, 30, 0xFFFFFF), 0) << "something is drawn";
        EXPECT_GE(ink.left, 10);
        EXPECT_GE(ink.top, 10);
        EXPECT_LE(ink.right, 80) << "cut at the right edge";
        EXPECT_LE(ink.bottom, 30);
    }
    {
        Canvas canvas(300, 60);
        RECT rect{10, 10, 80, 30};
        DrawTextA(canvas.dc(), text, -1, &rect, DT_SINGLELINE | DT_VCENTER | DT_NOCLIP);
        EXPECT_GT(InkBounds(canvas.Pixels(), 0xFFFFFF).right, 150) << "DT_NOCLIP lets the line run on";
    }
}

TEST(GdiDrawText, WordBreakWrapsBetweenWordsAndCutsLongWords) {
    const int lineHeight = platform::gdi32::DefaultFontMetrics().lineHeight;
    ASSERT_GE(lineHeight, 14);
    ASSERT_LE(lineHeight, 18);
    Canvas canvas(200, 200);
    SetBkMode(canvas.dc(), TRANSPARENT);
    RECT rect{10, 10, 110, 190};
    EXPECT_EQ(DrawTextA(canvas.dc(), "one two three four five six seven", -1, &rect, DT_WORDBREAK), 3 * lineHeight);
    Image image = canvas.Pixels();
    EXPECT_GT(Marked(image, 10, 10, 110, 10 + lineHeight, 0xFFFFFF), 0);
    EXPECT_GT(Marked(image, 10, 10 + 2 * lineHeight, 110, 10 + 3 * lineHeight, 0xFFFFFF), 0) << "third line";
    EXPECT_EQ(Marked(image, 10, 10 + 3 * lineHeight, 110, 190, 0xFFFFFF), 0) << "no fourth line";
    EXPECT_EQ(InkBounds(image, 0xFFFFFF).right <= 110, true);

    Canvas longWord(200, 100);
    RECT narrow{10, 10, 60, 90};
    EXPECT_EQ(DrawTextA(longWord.dc(), "{0.0.0.00000000}.{8d2b1c65-5d46-4bd1-b6f5-4c8a27e1c3a7}", -1, &narrow, DT_WORDBREAK),
              lineHeight)
        << "a word is never broken";
    RECT ink = InkBounds(longWord.Pixels(), 0xFFFFFF);
    EXPECT_LE(ink.right, 60) << "cut at the right edge";
    EXPECT_GT(ink.right, 50) << "and drawn up to it";
}

TEST(GdiDrawText, WordBreakInAShortRectangleShowsPartOfALineAndNoMore) {
    const int lineHeight = platform::gdi32::DefaultFontMetrics().lineHeight;
    Canvas canvas(200, 200);
    RECT rect{10, 10, 110, 10 + lineHeight + lineHeight / 2};  // one and a half lines
    DrawTextA(canvas.dc(), "alpha beta gamma delta epsilon zeta eta theta", -1, &rect, DT_WORDBREAK);
    RECT ink = InkBounds(canvas.Pixels(), 0xFFFFFF);
    EXPECT_LE(ink.bottom, rect.bottom);
    EXPECT_GT(ink.bottom, 10 + lineHeight) << "the second line shows in part";
}

TEST(GdiDrawText, CentresHorizontallyAndVertically) {
    Canvas canvas(300, 60, Grey);
    SetBkMode(canvas.dc(), TRANSPARENT);
    RECT rect{10, 10, 310 - 20, 50};
    int offset = DrawTextA(canvas.dc(), "Volume: 0.250", -1, &rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    RECT ink = InkBounds(canvas.Pixels(), Grey);
    EXPECT_NEAR(ink.left - rect.left, rect.right - ink.right, 3);
    EXPECT_NEAR(ink.top - rect.top, rect.bottom - ink.bottom, 4);
    const int lineHeight = platform::gdi32::DefaultFontMetrics().lineHeight;
    EXPECT_EQ(offset, (40 - lineHeight) / 2 + lineHeight) << "top of the rectangle to the bottom of the text";
}

TEST(GdiDrawText, OpaqueModeFillsBehindTheTextWithWhite) {
    Canvas opaque(200, 40, Grey);
    RECT rect{0, 0, 200, 40};
    SetTextColor(opaque.dc(), RGB(0, 0, 255));
    DrawTextA(opaque.dc(), "Mute: 0", -1, &rect, DT_SINGLELINE);
    Image image = opaque.Pixels();
    int white = 0;
    for (uint32_t pixel : image.pixels) white += pixel == 0xFFFFFFu;
    EXPECT_GT(white, 100) << "a white band behind the text";
    EXPECT_EQ(image.At(199, 39), Grey) << "only behind the text";
    bool blue = false;
    for (uint32_t pixel : image.pixels) blue |= pixel == 0x0000FFu;
    EXPECT_TRUE(blue) << "text colour";

    Canvas transparent(200, 40, Grey);
    SetBkMode(transparent.dc(), TRANSPARENT);
    DrawTextA(transparent.dc(), "Mute: 0", -1, &rect, DT_SINGLELINE);
    Image clear = transparent.Pixels();
    for (uint32_t pixel : clear.pixels) ASSERT_NE(pixel, 0xFFFFFFu) << "no background in TRANSPARENT mode";
}

// True when some installed font has every character of text.
bool SomeFontCovers(const std::u32string& text) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    FcCharSet* characters = FcCharSetCreate();
    for (char32_t c : text) FcCharSetAddChar(characters, c);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddCharSet(pattern, FC_CHARSET, characters);
    FcObjectSet* properties = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(config, pattern, properties);
    const bool covered = fonts != nullptr && fonts->nfont > 0;
    if (fonts) FcFontSetDestroy(fonts);
    FcObjectSetDestroy(properties);
    FcPatternDestroy(pattern);
    FcCharSetDestroy(characters);
    FcConfigDestroy(config);
    return covered;
}

TEST(GdiDrawText, CharactersTheDefaultFontLacksComeFromAnotherInstalledFont) {
    if (!SomeFontCovers(U"\u65E5\u672C\u8A9E"))
        GTEST_SKIP() << "no installed font has Japanese characters (Debian: fonts-noto-cjk)";
    RECT rect{4, 4, 396, 36};
    auto draw = [&](const char16_t* text) {
        Canvas canvas(400, 40);
        SetBkMode(canvas.dc(), TRANSPARENT);
        DrawTextW(canvas.dc(), reinterpret_cast<LPCWSTR>(text), -1, &rect, DT_SINGLELINE | DT_VCENTER);
        return canvas.Pixels();
    };
    // Three characters no font has: whatever stands for a missing glyph.
    const Image missing = draw(u"M\u00FAsica \u25B6 \U0010FFFD\U0010FFFD\U0010FFFD");
    const Image japanese = draw(u"M\u00FAsica \u25B6 \u65E5\u672C\u8A9E");
    const Image latinOnly = draw(u"M\u00FAsica");
    const RECT latinInk = InkBounds(latinOnly, 0xFFFFFF);
    ASSERT_GT(latinInk.right, latinInk.left);

    // The same Latin glyphs in the same places, whatever follows them.
    EXPECT_EQ(Marked(japanese, 0, 0, latinInk.right, 40, 0xFFFFFF), Marked(latinOnly, 0, 0, latinInk.right, 40, 0xFFFFFF));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < latinInk.right; ++x) ASSERT_EQ(japanese.At(x, y), latinOnly.At(x, y)) << x << ", " << y;

    // Past the Latin text: glyphs, not the missing-glyph boxes.
    int different = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = latinInk.right; x < 400; ++x) different += japanese.At(x, y) != missing.At(x, y);
    EXPECT_GT(different, 100) << "the Japanese characters look like characters no font has";
    EXPECT_GT(Marked(japanese, latinInk.right + 20, 0, 400, 40, 0xFFFFFF), 100) << "the Japanese characters have ink";
}

TEST(GdiDrawText, LengthsAndEmptyText) {
    Canvas canvas(200, 40);
    RECT rect{0, 0, 200, 40};
    EXPECT_EQ(DrawTextA(canvas.dc(), nullptr, -1, &rect, DT_SINGLELINE), 0);
    EXPECT_EQ(DrawTextA(canvas.dc(), "abc", 0, &rect, DT_SINGLELINE), platform::gdi32::DefaultFontMetrics().lineHeight)
        << "an empty line still has a height";
    EXPECT_EQ(Marked(canvas.Pixels(), 0, 0, 200, 40, 0xFFFFFF), 0);
    DrawTextA(canvas.dc(), "iiiiiiiiiiiiiiii", 1, &rect, DT_SINGLELINE);
    EXPECT_LT(InkBounds(canvas.Pixels(), 0xFFFFFF).right, 10) << "cchText limits the text";
}

TEST(GdiDrawText, TraceRecordsUtf8TextFlagsAndDcState) {
    platform::test::Desktop desktop;  // turns the trace on
    Canvas canvas(200, 40);
    RECT rect{10, 125, 310, 155};
    SetTextColor(canvas.dc(), RGB(80, 80, 80));
    SetBkMode(canvas.dc(), TRANSPARENT);
    const WCHAR identifier[] = u"Ab\u00e9\U0001F600z";  // a surrogate pair in UTF-16
    DrawTextW(canvas.dc(), identifier, -1, &rect, DT_WORDBREAK);
    DrawTextA(canvas.dc(), "Volume: 0.250xyz", 13, &rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    std::vector<platform::test::GdiCall> trace = desktop.TakeTrace();
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[0].function, "SetTextColor");
    EXPECT_EQ(trace[0].result, 0);
    EXPECT_EQ(trace[1].function, "SetBkMode");
    EXPECT_EQ(trace[1].result, OPAQUE);
    EXPECT_EQ(trace[2].function, "DrawTextW");
    EXPECT_EQ(trace[2].text, "Ab\xC3\xA9\xF0\x9F\x98\x80z");
    EXPECT_EQ(trace[2].flags, static_cast<UINT>(DT_WORDBREAK));
    EXPECT_EQ(trace[3].function, "DrawTextA");
    EXPECT_EQ(trace[3].text, "Volume: 0.250");
    EXPECT_EQ(trace[3].rect.left, 10);
    EXPECT_EQ(trace[3].rect.bottom, 155);
    EXPECT_EQ(trace[3].flags, static_cast<UINT>(DT_SINGLELINE | DT_VCENTER | DT_CENTER));
    EXPECT_EQ(trace[3].textColor, RGB(80, 80, 80));
    EXPECT_EQ(trace[3].bkMode, TRANSPARENT);
    EXPECT_TRUE(desktop.TakeTrace().empty()) << "taking empties the trace";
}

TEST(GdiDrawText, TraceTellsTimerRedrawFromPaint) {
    platform::test::Desktop desktop;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "Traced";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window =
        CreateWindowExA(0, "Traced", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    desktop.PumpUntilIdle();
    EXPECT_TRUE(desktop.TakeTrace().empty()) << "DefWindowProcA's painting is the platform's";

    HDC dc = GetDC(window);
    HGDIOBJ previous = SelectObject(dc, GetStockObject(WHITE_PEN));
    RoundRect(dc, 10, 125, 310, 155, 7, 7);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    std::vector<platform::test::GdiCall> trace = desktop.TakeTrace();
    std::vector<std::string> functions;
    for (const auto& call : trace) functions.push_back(call.function);
    std::vector<std::string> expected = {"GetDC", "GetStockObject", "SelectObject", "RoundRect", "SelectObject", "ReleaseDC"};
    ASSERT_EQ(functions, expected);
    EXPECT_EQ(trace[0].window, window);
    EXPECT_EQ(trace[2].previous, GetStockObject(BLACK_PEN));
    EXPECT_EQ(trace[2].pen, GetStockObject(WHITE_PEN));
    EXPECT_EQ(trace[3].args, (std::vector<long long>{10, 125, 310, 155, 7, 7}));
    EXPECT_EQ(trace[4].previous, GetStockObject(WHITE_PEN));
    EXPECT_EQ(trace[4].pen, GetStockObject(BLACK_PEN)) << "restored";
    EXPECT_EQ(trace[5].result, 1);
}

// --- PNG ------------------------------------------------------------------------

TEST(GdiPng, SnapshotSavedAsPngReadsBackTheSame) {
    platform::test::Desktop desktop;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    windowClass.lpszClassName = "Saved";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window =
        CreateWindowExA(0, "Saved", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    desktop.PumpUntilIdle();
    HDC dc = GetDC(window);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    RoundRect(dc, 20, 20, 60, 50, 7, 7);
    ReleaseDC(window, dc);

    std::string path = testing::TempDir() + "platform_window_snapshot.png";
    ASSERT_TRUE(desktop.SavePng(window, path));
    Image shown = desktop.Snapshot(window);
    Image loaded = platform::test::LoadPng(path);
    ASSERT_EQ(loaded.width, shown.width);
    ASSERT_EQ(loaded.height, shown.height);
    EXPECT_EQ(loaded.pixels, shown.pixels);
    std::remove(path.c_str());
    EXPECT_EQ(shown.At(40, 35), 0x000000u);
    EXPECT_EQ(shown.At(5, 5), 0xF0F0F0u);
    EXPECT_FALSE(desktop.SavePng(reinterpret_cast<HWND>(0x4321), path)) << "no such window";
}

}  // namespace
