#include "platform/wide_text.h"

#include <cstdint>

namespace platform {

bool Utf8ToUtf16(std::string_view utf8, std::u16string& wide) {
  wide.clear();
  wide.reserve(utf8.size());
  std::size_t at = 0;
  while (at < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    std::uint32_t code = 0;
    std::size_t length = 0;
    std::uint32_t least = 0;  // the smallest value this length may carry
    if (lead < 0x80) {
      code = lead, length = 1;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1F, length = 2, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0F, length = 3, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07, length = 4, least = 0x10000;
    } else {
      wide.clear();
      return false;
    }
    if (utf8.size() - at < length) {
      wide.clear();
      return false;
    }
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(utf8[at + i]);
      if ((next & 0xC0) != 0x80) {
        wide.clear();
        return false;
      }
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      wide.clear();
      return false;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
    at += length;
  }
  return true;
}

bool Utf16ToUtf8(std::u16string_view wide, std::string& utf8) {
  utf8.clear();
  utf8.reserve(wide.size());
  for (std::size_t at = 0; at < wide.size(); ++at) {
    std::uint32_t code = wide[at];
    if (code >= 0xDC00 && code <= 0xDFFF) {
      utf8.clear();
      return false;
    }
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (at + 1 >= wide.size() || wide[at + 1] < 0xDC00 || wide[at + 1] > 0xDFFF) {
        utf8.clear();
        return false;
      }
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[++at] - 0xDC00);
    }
    if (code < 0x80) {
      utf8.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xF0 | (code >> 18)));
      utf8.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return true;
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

bool Utf8ToWide(std::string_view utf8, std::wstring& wide) {
  std::u16string units;
  const bool ok = Utf8ToUtf16(utf8, units);
  wide.assign(units.begin(), units.end());
  return ok;
}

bool WideToUtf8(std::wstring_view wide, std::string& utf8) {
  const std::u16string units(wide.begin(), wide.end());
  return Utf16ToUtf8(units, utf8);
}
#endif

}  // namespace platform
