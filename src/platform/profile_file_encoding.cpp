#include "platform/profile_file_encoding.h"

#include <cstdint>
#include <iterator>

#include "platform/utf8_decode.h"

namespace platform {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// Code page 1252's bytes 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 0x88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 0x98
};

constexpr char32_t kInvalid = 0xFFFFFFFF;

// One UTF-8 character; a malformed sequence counts as one invalid character
// and is passed over as far as it was read.
char32_t NextUtf8Character(std::string_view s, std::size_t& at) {
  const char32_t c = platform::NextUtf8(s, at, PassMalformed::BytesRead);
  return c == kMalformedUtf8 ? kInvalid : c;
}

// Decodes one UTF-16 character at `at` (a surrogate pair is one) in the byte
// order `BigEndian` gives; a lone surrogate or an odd last byte counts as one
// invalid character.
template <bool BigEndian>
char32_t NextUtf16(std::string_view s, std::size_t& at) {
  auto unit = [&](std::size_t i) {
    const auto low = static_cast<unsigned char>(s[BigEndian ? i + 1 : i]);
    const auto high = static_cast<unsigned char>(s[BigEndian ? i : i + 1]);
    return static_cast<char16_t>(low | (high << 8));
  };
  if (at + 1 >= s.size()) {
    at = s.size();
    return kInvalid;
  }
  const char16_t first = unit(at);
  at += 2;
  if (first < 0xD800 || first > 0xDFFF) return first;
  if (first >= 0xDC00 || at + 1 >= s.size()) return kInvalid;
  const char16_t second = unit(at);
  if (second < 0xDC00 || second > 0xDFFF) return kInvalid;
  at += 2;
  return 0x10000 + ((static_cast<char32_t>(first) - 0xD800) << 10) + (second - 0xDC00);
}

template <class Next>
std::string Convert(std::string_view s, Next next) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t at = 0; at < s.size();) out.push_back(CodePointToAnsi(next(s, at)));
  return out;
}

}  // namespace

char CodePointToAnsi(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t i = 0; i < std::size(kHighControls); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == cp) return static_cast<char>(0x80 + i);
  }
  return ANSI_SUBSTITUTE;
}

std::string ProfileBytesToAnsi(std::string_view bytes) {
  if (bytes.starts_with(kUtf16LeBom)) return Convert(bytes.substr(kUtf16LeBom.size()), NextUtf16<false>);
  if (bytes.starts_with(kUtf16BeBom)) return Convert(bytes.substr(kUtf16BeBom.size()), NextUtf16<true>);
  if (bytes.starts_with(kUtf8Bom)) return Convert(bytes.substr(kUtf8Bom.size()), NextUtf8Character);
  return std::string(bytes);
}

char32_t AnsiToCodePoint(unsigned char byte) {
  if (byte < 0x80 || byte > 0x9F) return byte;
  const char16_t mapped = kHighControls[byte - 0x80];
  return mapped != 0 ? mapped : byte;
}

}  // namespace platform
