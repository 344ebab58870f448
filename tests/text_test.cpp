// The platform's text conversions: the text the program draws and titles its window
// with, and what a sound server names its applications, reach the other side whole,
// and broken text from outside shows as U+FFFD instead of failing.
#include <gtest/gtest.h>

#include "base/text.h"

namespace {

using platform::base::Latin1ToUtf8;
using platform::base::Utf16ToUtf8;
using platform::base::Utf8ToUtf16;

TEST(Text, Utf8BecomesUtf16AndBadBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("Lautst\xC3\xA4rke \xE2\x99\xAA"), u"Lautst\u00E4rke \u266A");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x8E\xB5"), u"\U0001F3B5");  // a surrogate pair
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");                                // cut short
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");                      // overlong '/'
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // an encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
    EXPECT_EQ(Utf8ToUtf16(std::string_view("a\0b", 3)), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(Text, Utf16BecomesUtf8AndUnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(u"Lautst\u00E4rke \u266A"), "Lautst\xC3\xA4rke \xE2\x99\xAA");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F3B5"), "\xF0\x9F\x8E\xB5");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', char16_t(0xD800), u'b'}),
              "a\xEF\xBF\xBD"
              "b");  // a lone high half
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'b'}),
              "\xEF\xBF\xBD"
              "b");                                                                   // a lone low half
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', char16_t(0xD83C)}), "a\xEF\xBF\xBD");  // cut short
    EXPECT_EQ(Utf16ToUtf8(u""), "");
}

TEST(Text, Latin1BytesAreTheirOwnCodePoints) {
    EXPECT_EQ(Latin1ToUtf8("Volume: 0.250"), "Volume: 0.250");
    EXPECT_EQ(Latin1ToUtf8("caf\xE9 \xFF\xA0"), "caf\xC3\xA9 \xC3\xBF\xC2\xA0");
}

}  // namespace
