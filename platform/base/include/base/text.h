// Text conversions between the program's encodings and UTF-8, what cairo, Pango, the X
// display and libpulse use: the 8-bit text of the ...A functions (read as Latin-1, the
// Western code page the program's characters come from) and UTF-16 (WCHAR). glib's
// converters do the work; what they refuse (a broken sequence) becomes U+FFFD, so
// text from outside never makes a conversion fail.
#pragma once

#include <string>
#include <string_view>

namespace platform::base {

std::string Latin1ToUtf8(std::string_view text);
// An unpaired surrogate becomes U+FFFD. A zero unit ends the text, as it ends a
// WCHAR string.
std::string Utf16ToUtf8(std::u16string_view text);
// Each byte that does not belong to a valid sequence (cut short, overlong, an encoded
// surrogate, past U+10FFFF, a zero byte) becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace platform::base
