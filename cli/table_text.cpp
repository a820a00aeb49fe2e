#include "table_text.h"

#include <cstdio>

#include "platform/profile_file_encoding.h"
#include "platform/utf8_decode.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr char32_t kMalformed = platform::kMalformedUtf8;

// Decodes the UTF-8 sequence at `at` and moves past it; a malformed one
// gives kMalformed and is passed over by one byte.
char32_t NextUtf8(std::string_view s, std::size_t& at) {
  return platform::NextUtf8(s, at, platform::PassMalformed::LeadByte);
}

// C0 controls and DEL; in Unicode text also the C1 controls, which in code
// page 1252 are printable characters (0x80 is the euro sign).
bool IsControl(char32_t c, TableEncoding encoding) {
  return c < 0x20 || c == 0x7F || (encoding == TableEncoding::Utf8 && c >= 0x80 && c <= 0x9F);
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

TableEncoding DetectTableEncoding(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Bom)) return TableEncoding::Utf8;
  bool high = false;
  for (std::size_t at = 0; at < bytes.size();) {
    const bool ascii = static_cast<unsigned char>(bytes[at]) < 0x80;
    if (NextUtf8(bytes, at) == kMalformed) return TableEncoding::Ansi;
    high = high || !ascii;
  }
  return high ? TableEncoding::Utf8 : TableEncoding::Ansi;
}

bool CellToAnsi(std::string_view cell, TableEncoding encoding, std::string& text, std::string& problem) {
  text.clear();
  std::size_t character = 0;
  for (std::size_t at = 0; at < cell.size();) {
    ++character;
    const std::size_t start = at;
    const char32_t c = encoding == TableEncoding::Utf8 ? NextUtf8(cell, at) : static_cast<unsigned char>(cell[at++]);
    const auto place = [character] { return " at character " + std::to_string(character); };
    if (c == kMalformed) {
      problem = "byte 0x" + Hex(static_cast<unsigned char>(cell[start]), 2) + place() +
                " is not UTF-8, though the table starts with the UTF-8 byte-order mark";
      return false;
    }
    if (IsControl(c, encoding)) {
      problem =
          "a control byte (0x" + Hex(static_cast<unsigned>(c), 2) + ")" + place() + "; a cell holds one line of text";
      return false;
    }
    if (encoding == TableEncoding::Ansi) {
      text.push_back(static_cast<char>(c));
      continue;
    }
    const char ansi = platform::CodePointToAnsi(c);
    if (ansi == platform::ANSI_SUBSTITUTE) {
      problem = "\"" + std::string(cell.substr(start, at - start)) + "\" (U+" + Hex(static_cast<unsigned>(c), 4) + ")" +
                place() + " is not in code page 1252, the tracker's character set";
      return false;
    }
    text.push_back(ansi);
  }
  return true;
}
