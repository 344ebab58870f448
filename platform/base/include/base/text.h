// Text conversions to UTF-8, what cairo, Pango and the X display take: from the 8-bit
// text of the ...A functions (read as Latin-1, the Western code page the program's
// characters come from) and from UTF-16 (WCHAR).
#pragma once

#include <string>
#include <string_view>

namespace platform::base {

std::string Latin1ToUtf8(std::string_view text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace platform::base
