// The default font of every device context, resolved once through fontconfig.
//
// Windows draws with the DC's default font (System, a 16-pixel line). Here fontconfig
// resolves "sans-serif" at a pixel size that gives about the same line height. The
// desktop's rendering settings (hinting, subpixel order, antialiasing) are replaced
// with fixed ones so that the same text gives the same pixels on every machine that
// resolves the same font file.
#include <fontconfig/fontconfig.h>
#include <cairo-ft.h>

#include <cmath>
#include <cstdio>
#include <mutex>

#include "gdi32/gdi32.h"

namespace platform::gdi32 {
namespace {

constexpr double PixelSize = 14.0;

struct DefaultFont {
    cairo_font_face_t* face = nullptr;
    cairo_scaled_font_t* scaled = nullptr;
    FontMetrics metrics{};
    std::string description;
};

cairo_font_options_t* FixedOptions() {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    return options;
}

DefaultFont Resolve() {
    DefaultFont font;
    // A configuration of our own, destroyed once the font file is found: fontconfig's
    // implicit global one is never freed and shows up as a leak under the sanitizers.
    FcConfig* config = FcInitLoadConfigAndFonts();
    FcPattern* request = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddDouble(request, FC_PIXEL_SIZE, PixelSize);
    FcConfigSubstitute(config, request, FcMatchPattern);
    FcDefaultSubstitute(request);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, request, &result);
    if (match) {
        FcPatternDestroy(request);
    } else {
        match = request;  // no font installed: cairo then draws nothing visible
    }

    // Whatever the user's configuration said about rendering is dropped here.
    for (const char* property : {FC_ANTIALIAS, FC_HINTING, FC_HINT_STYLE, FC_AUTOHINT, FC_RGBA, FC_LCD_FILTER}) {
        FcPatternDel(match, property);
    }
    FcPatternAddBool(match, FC_ANTIALIAS, FcTrue);
    FcPatternAddBool(match, FC_HINTING, FcFalse);
    FcPatternAddInteger(match, FC_RGBA, FC_RGBA_NONE);

    FcChar8* family = nullptr;
    FcPatternGetString(match, FC_FAMILY, 0, &family);
    char description[256];
    std::snprintf(description, sizeof description, "%s, %.0f px", family ? reinterpret_cast<const char*>(family) : "?", PixelSize);
    font.description = description;

    font.face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
    FcConfigDestroy(config);

    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, PixelSize, PixelSize);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = FixedOptions();
    font.scaled = cairo_scaled_font_create(font.face, &size, &identity, options);
    cairo_font_options_destroy(options);

    cairo_font_extents_t extents;
    cairo_scaled_font_extents(font.scaled, &extents);
    font.metrics.ascent = static_cast<int>(std::lround(extents.ascent));
    font.metrics.lineHeight = static_cast<int>(std::lround(extents.ascent + extents.descent));
    return font;
}

const DefaultFont& Font() {
    // Resolved once per process and kept: fontconfig and FreeType state is expensive.
    static const DefaultFont font = Resolve();
    return font;
}

}  // namespace

FontMetrics DefaultFontMetrics() { return Font().metrics; }
std::string DefaultFontDescription() { return Font().description; }
cairo_font_face_t* DefaultFontFace() { return Font().face; }
double DefaultFontPixelSize() { return PixelSize; }

void ApplyDefaultFont(cairo_t* cr) { cairo_set_scaled_font(cr, Font().scaled); }

}  // namespace platform::gdi32
