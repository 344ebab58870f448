#include "base/text.h"

#include <glib.h>

#include <memory>

namespace platform::base {
namespace {

struct GFreeDeleter {
    void operator()(void* memory) const { g_free(memory); }
};
template <typename T>
using GlibPtr = std::unique_ptr<T, GFreeDeleter>;

constexpr char16_t Replacement = u'\uFFFD';

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char encoded[6];
    // Latin-1 bytes are the first 256 code points.
    for (char c : text) out.append(encoded, g_unichar_to_utf8(static_cast<unsigned char>(c), encoded));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    // g_utf16_to_utf8 refuses the whole text for one unpaired surrogate: those are
    // replaced first.
    std::u16string paired(text);
    for (size_t i = 0; i < paired.size(); ++i) {
        if (IsHighSurrogate(paired[i]) && i + 1 < paired.size() && IsLowSurrogate(paired[i + 1])) {
            ++i;
        } else if (IsHighSurrogate(paired[i]) || IsLowSurrogate(paired[i])) {
            paired[i] = Replacement;
        }
    }
    glong written = 0;
    GlibPtr<gchar> utf8(g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(paired.data()), static_cast<glong>(paired.size()),
                                        nullptr, &written, nullptr));
    return utf8 ? std::string(utf8.get(), static_cast<size_t>(written)) : std::string();
}

std::u16string Utf8ToUtf16(std::string_view text) {
    if (text.empty()) return {};
    // g_utf8_to_utf16 refuses the whole text for one bad byte; g_utf8_make_valid puts
    // U+FFFD in place of each.
    GlibPtr<gchar> valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    glong written = 0;
    GlibPtr<gunichar2> utf16(g_utf8_to_utf16(valid.get(), -1, nullptr, &written, nullptr));
    return utf16 ? std::u16string(reinterpret_cast<const char16_t*>(utf16.get()), static_cast<size_t>(written)) : std::u16string();
}

}  // namespace platform::base
