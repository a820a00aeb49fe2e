// The one UTF-8 decoder behind the settings-file reader and kvctl's tables:
// what counts as malformed, and how far each caller's policy moves past it.
#include <gtest/gtest.h>

#include <string>

#include "platform/utf8_decode.h"

namespace {

using platform::kMalformedUtf8;
using platform::NextUtf8;
using platform::PassMalformed;

TEST(Utf8Decode, WholeSequencesDecodeAndForbiddenFormsAreMalformed) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  std::size_t at = 0;
  EXPECT_EQ(NextUtf8(text, at, PassMalformed::LeadByte), U'A');
  EXPECT_EQ(NextUtf8(text, at, PassMalformed::LeadByte), U'\u00E9');
  EXPECT_EQ(NextUtf8(text, at, PassMalformed::LeadByte), U'\u20AC');
  EXPECT_EQ(NextUtf8(text, at, PassMalformed::LeadByte), U'\U0001F600');
  EXPECT_EQ(at, text.size());
  for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\x80"}) {
    std::size_t start = 0;
    EXPECT_EQ(NextUtf8(bad, start, PassMalformed::BytesRead), kMalformedUtf8) << bad.size();
  }
}

TEST(Utf8Decode, AMalformedSequenceIsPassedOverAsEachCallerNeeds) {
  // A three-byte lead with one good continuation byte, then plain text.
  const std::string cut = "\xE2\x82Z";
  std::size_t oneByte = 0, asRead = 0;
  EXPECT_EQ(NextUtf8(cut, oneByte, PassMalformed::LeadByte), kMalformedUtf8);
  EXPECT_EQ(oneByte, 1u);  // the table reader looks at 0x82 again
  EXPECT_EQ(NextUtf8(cut, asRead, PassMalformed::BytesRead), kMalformedUtf8);
  EXPECT_EQ(asRead, 2u);  // the file reader counts one bad character
  EXPECT_EQ(NextUtf8(cut, asRead, PassMalformed::BytesRead), U'Z');
  // A sequence cut by the end of the text never reads past it.
  const std::string end = "\xF0\x9F";
  std::size_t at = 0;
  EXPECT_EQ(NextUtf8(end, at, PassMalformed::BytesRead), kMalformedUtf8);
  EXPECT_EQ(at, end.size());
}

}  // namespace
