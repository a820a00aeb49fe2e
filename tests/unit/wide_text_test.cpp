// UTF-8 <-> UTF-16 for the wide Windows calls: names in any script go
// through unchanged, and anything that is not valid text is refused.
#include <gtest/gtest.h>

#include "platform/wide_text.h"

namespace {

TEST(WideText, NamesInAnyScriptRoundTrip) {
  for (const char* name : {"plain.ini", "José.ini", "Ελληνικά", "中文\\设置.ini", "C:\\Users\\Zoë\\AppData",
                           "emoji \xF0\x9F\x98\x80 beyond the BMP", ""}) {
    std::u16string wide;
    ASSERT_TRUE(platform::Utf8ToUtf16(name, wide)) << name;
    std::string back;
    ASSERT_TRUE(platform::Utf16ToUtf8(wide, back)) << name;
    EXPECT_EQ(back, std::string(name));
  }
  std::u16string wide;
  ASSERT_TRUE(platform::Utf8ToUtf16("Jos\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80", wide));
  EXPECT_EQ(wide, (std::u16string{u'J', u'o', u's', 0x00E9, u' ', 0x4E2D, u' ', 0xD83D, 0xDE00}));
}

TEST(WideText, ByteStringsThatAreNotUtf8AreRefused) {
  // The same name in an ANSI code page (0xE9 for "é"), a cut sequence, a
  // stray continuation byte, overlong forms (a hidden "/" or NUL), an encoded
  // surrogate, a value beyond U+10FFFF, and bytes that never start a sequence.
  for (const std::string& bad :
       {std::string("Jos\xE9.ini"), std::string("\xE4\xB8"),
        std::string("a\x80"
                    "b"),
        std::string("\xC0\xAF"), std::string("\xC0\x80", 2), std::string("\xE0\x80\xAF"),
        std::string("\xF0\x80\x80\xAF"), std::string("\xED\xA0\x80"), std::string("\xF4\x90\x80\x80"),
        std::string("\xF8\x88\x80\x80\x80"), std::string("\xFF"), std::string("ok\xC3")}) {
    std::u16string wide = u"left over";
    EXPECT_FALSE(platform::Utf8ToUtf16(bad, wide)) << testing::PrintToString(bad);
    EXPECT_TRUE(wide.empty());
  }
}

TEST(WideText, LoneSurrogatesAreRefused) {
  for (const std::u16string& bad :
       {std::u16string{u'a', 0xD800}, std::u16string{0xDC00, u'b'}, std::u16string{0xD83D, u'x', 0xDE00}}) {
    std::string utf8 = "left over";
    EXPECT_FALSE(platform::Utf16ToUtf8(bad, utf8));
    EXPECT_TRUE(utf8.empty());
  }
}

}  // namespace
