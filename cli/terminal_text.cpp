#include "terminal_text.h"

#include "console.h"

namespace {

void AppendEscaped(std::string& out, unsigned char b) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 0xF];
}

// Length of the valid UTF-8 sequence of 2 to 4 bytes at text[i], 0 if none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  unsigned minimum = 0;
  unsigned code = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    code = b & 0x1F;
    minimum = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    code = b & 0x0F;
    minimum = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    code = b & 0x07;
    minimum = 0x10000;
  } else return 0;
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    code = (code << 6) | (c & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  if (code >= 0x80 && code <= 0x9F) return 0;  // C1 controls (CSI, OSC, ...)
  return length;
}

}  // namespace

std::string VisibleText(std::string_view text, bool keepLineEnds) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    if (keepLineEnds && (b == '\n' || (b == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))) {
      const std::size_t length = b == '\n' ? 1 : 2;
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    if (b >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, i);
      if (length != 0) {
        out.append(text.substr(i, length));
        i += length;
        continue;
      }
    }
    AppendEscaped(out, b);
    ++i;
  }
  return out;
}

std::string TextForStdout(std::string_view text, bool keepLineEnds) {
  return console::StdoutIsTerminal() ? VisibleText(text, keepLineEnds) : std::string(text);
}
