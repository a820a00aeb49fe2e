#include "platform/utf8_decode.h"

namespace platform {

char32_t NextUtf8(std::string_view s, std::size_t& at, PassMalformed pass) {
  const auto lead = static_cast<unsigned char>(s[at++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
    least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
    least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
    least = 0x10000;
  } else {
    return kMalformedUtf8;
  }
  const std::size_t afterLead = at;
  auto malformed = [&] {
    if (pass == PassMalformed::LeadByte) at = afterLead;
    return kMalformedUtf8;
  };
  for (int i = 0; i < extra; ++i) {
    if (at >= s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) return malformed();
    cp = (cp << 6) | (static_cast<unsigned char>(s[at++]) & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return malformed();
  return cp;
}

}  // namespace platform
