// The default font of every device context, resolved once through fontconfig.
//
// Windows draws with the DC's default font (System, a 16-pixel line). Here fontconfig
// resolves "sans-serif" at a pixel size that gives about the same line height. The
// desktop's rendering settings (hinting, subpixel order, antialiasing) are replaced
// with fixed ones so that the same text gives the same pixels on every machine that
// resolves the same font file.
//
// Text is shaped by Pango in that font; a character it lacks comes from another
// installed font that has it (fontconfig's fallback), as Windows' font linking does.
// The line metrics stay those of the default font, so a line of any script sits on
// the same baseline and takes the same height.
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <cmath>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "gdi32/gdi32.h"

namespace platform::gdi32 {
namespace {

constexpr double PixelSize = 14.0;

// Shaping is most of what a line costs, and a window draws the same few lines again
// and again (a row of values redrawn on every change, the same button captions), so
// lines shaped lately are kept by their text. They are dropped together when there are
// too many, or when the context they were shaped in changes.
class ShapedLineCache {
public:
    // The line kept for utf8 in context, or null.
    PangoLayout* Find(PangoContext* context, const std::string& utf8) {
        if (pango_context_get_serial(context) != serial_) Forget(context);
        auto found = lines_.find(utf8);
        return found == lines_.end() ? nullptr : found->second;
    }
    // Keeps line, shaped in context, under its text; the cache owns it from here on.
    PangoLayout* Keep(PangoContext* context, const std::string& utf8, PangoLayout* line) {
        if (lines_.size() >= KeptLines) Forget(context);
        lines_.emplace(utf8, line);
        return line;
    }

private:
    static constexpr size_t KeptLines = 32;

    void Forget(PangoContext* context) {
        for (auto& [text, line] : lines_) g_object_unref(line);
        lines_.clear();
        serial_ = pango_context_get_serial(context);
    }

    std::unordered_map<std::string, PangoLayout*> lines_;
    guint serial_ = 0;
};

// Pango's side: a font map and one context with the fixed options, the default font
// and its metrics, and the lines shaped lately. Neither the font map nor the context is
// thread-safe, so all text goes through one lock.
struct PangoText {
    std::mutex lock;
    PangoFontMap* fontMap = nullptr;
    PangoContext* context = nullptr;
    PangoFontDescription* font = nullptr;
    PangoAttrList* attributes = nullptr;
    FontMetrics metrics{};
    ShapedLineCache shapedLines;
    base::FontOptionsPtr targetOptions;
    cairo_matrix_t targetMatrix{};

    // Pango counts every update of the context from a cairo context as a change, which
    // would drop every shaped line, so the update is made only when the surface's font
    // options or the transformation differ from the last drawing's (Pango ignores the
    // translation).
    void DrawOn(cairo_t* cr) {
        base::FontOptionsPtr options(cairo_font_options_create());
        cairo_surface_get_font_options(cairo_get_target(cr), options.get());
        cairo_matrix_t matrix;
        cairo_get_matrix(cr, &matrix);
        const bool same = targetOptions && cairo_font_options_equal(options.get(), targetOptions.get()) &&
                          matrix.xx == targetMatrix.xx && matrix.yx == targetMatrix.yx && matrix.xy == targetMatrix.xy &&
                          matrix.yy == targetMatrix.yy;
        if (same) return;
        targetOptions = std::move(options);
        targetMatrix = matrix;
        pango_cairo_update_context(cr, context);
    }

    // utf8 as one line shaped anew; the caller owns it.
    PangoLayout* Shape(const std::string& utf8) const {
        PangoLayout* line = pango_layout_new(context);
        pango_layout_set_attributes(line, attributes);
        pango_layout_set_single_paragraph_mode(line, TRUE);
        pango_layout_set_text(line, utf8.data(), static_cast<int>(utf8.size()));
        return line;
    }

    // utf8 as one line, shaped once and kept.
    PangoLayout* ShapedAndKept(const std::string& utf8) {
        if (PangoLayout* kept = shapedLines.Find(context, utf8)) return kept;
        return shapedLines.Keep(context, utf8, Shape(utf8));
    }
};

double WidthOf(PangoLayout* line) {
    PangoRectangle logical;
    pango_layout_get_extents(line, nullptr, &logical);
    return static_cast<double>(logical.width) / PANGO_SCALE;
}

base::FontOptionsPtr FixedOptions() {
    base::FontOptionsPtr owned(cairo_font_options_create());
    cairo_font_options_t* options = owned.get();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    return owned;
}

// The family fontconfig picks for "sans-serif" at the pixel size.
std::string DefaultFamily() {
    // The process's configuration, the one Pango's font map uses too: loading a second
    // one costs as much memory again.
    FcConfig* config = FcConfigGetCurrent();
    FcPattern* request = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddDouble(request, FC_PIXEL_SIZE, PixelSize);
    FcConfigSubstitute(config, request, FcMatchPattern);
    FcDefaultSubstitute(request);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, request, &result);
    FcChar8* family = nullptr;
    // No font installed: Pango then draws nothing visible.
    if (match) FcPatternGetString(match, FC_FAMILY, 0, &family);
    std::string name = family ? reinterpret_cast<const char*>(family) : "sans-serif";
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(request);
    return name;
}

PangoText& Text() {
    // Made once and kept for the whole process (fontconfig and FreeType state is
    // expensive): reachable, so not a leak.
    static PangoText* text = [] {
        auto* created = new PangoText;
        created->fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        created->context = pango_font_map_create_context(created->fontMap);
        pango_cairo_context_set_font_options(created->context, FixedOptions().get());
        // Glyphs where their advances put them, as cairo's own text drawing does.
        pango_context_set_round_glyph_positions(created->context, FALSE);
        created->font = pango_font_description_new();
        pango_font_description_set_family(created->font, DefaultFamily().c_str());
        pango_font_description_set_absolute_size(created->font, PixelSize * PANGO_SCALE);
        pango_context_set_font_description(created->context, created->font);
        // The line metrics from the font Pango draws with, the one face of the file the
        // process opens, with the fixed options (metrics unhinted).
        if (PangoFont* loaded = pango_font_map_load_font(created->fontMap, created->context, created->font)) {
            cairo_font_extents_t extents;
            cairo_scaled_font_extents(pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(loaded)), &extents);
            created->metrics.ascent = static_cast<int>(std::lround(extents.ascent));
            created->metrics.lineHeight = static_cast<int>(std::lround(extents.ascent + extents.descent));
            g_object_unref(loaded);
        }
        // Latin text keeps the glyph advances of the font without kerning or ligatures,
        // so that it takes the widths it always had; scripts that need shaping still get it.
        created->attributes = pango_attr_list_new();
        pango_attr_list_insert(created->attributes, pango_attr_font_features_new("kern 0, liga 0, clig 0"));
        return created;
    }();
    return *text;
}

}  // namespace

LockedShaper::LockedShaper() : guard_(Text().lock) {}

LockedShaper::~LockedShaper() = default;

double LockedShaper::Width(const std::string& utf8) { return WidthOf(Text().ShapedAndKept(utf8)); }

double LockedShaper::TrialWidth(const std::string& utf8) {
    PangoText& text = Text();
    if (PangoLayout* kept = text.shapedLines.Find(text.context, utf8)) return WidthOf(kept);
    PangoLayout* line = text.Shape(utf8);
    const double width = WidthOf(line);
    g_object_unref(line);
    return width;
}

void LockedShaper::Show(cairo_t* cr, const std::string& utf8, double x, double baseline) {
    PangoText& text = Text();
    text.DrawOn(cr);
    cairo_move_to(cr, x, baseline);
    pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(text.ShapedAndKept(utf8), 0));
}

FontMetrics DefaultFontMetrics() { return Text().metrics; }

}  // namespace platform::gdi32
