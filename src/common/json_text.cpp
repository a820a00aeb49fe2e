#include "common/json_text.h"

#include <cstdio>

#include "platform/profile_file_encoding.h"

namespace {

// Length of the UTF-8 sequence starting at `at`, or 0 when it is not a
// valid one (overlong forms, surrogates and values above U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length;
  unsigned codePoint;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    codePoint = codePoint << 6 | (byte(at + i) & 0x3F);
  }
  if ((length == 3 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) ||
      (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF)))
    return 0;
  return length;
}

void AppendEscape(std::string& out, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", value);
  out += escape;
}

// One character below U+0800 (all code page 1252 holds outside the Basic
// Latin is below U+2200, so U+0800 to U+FFFF take three bytes).
void AppendCodePoint(std::string& out, char32_t cp) {
  if (cp == '"' || cp == '\\') {
    out += '\\';
    out += static_cast<char>(cp);
  } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
    AppendEscape(out, static_cast<unsigned>(cp));
  } else if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      AppendCodePoint(out, c);
      ++at;
    } else if (const std::size_t length = Utf8SequenceLength(text, at)) {
      // Valid UTF-8; only the C1 controls (U+0080 to U+009F) are escaped.
      if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F)
        AppendEscape(out, static_cast<unsigned char>(text[at + 1]));
      else out.append(text.substr(at, length));
      at += length;
    } else {
      AppendEscape(out, c);
      ++at;
    }
  }
  return out + "\"";
}

std::string JsonStringFromAnsi(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) AppendCodePoint(out, platform::AnsiToCodePoint(static_cast<unsigned char>(c)));
  return out + "\"";
}
