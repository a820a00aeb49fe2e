#include "sim_firmware_version.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace sim {

std::optional<std::string> FindVersionInImage(const std::vector<unsigned char>& image) {
  static const char kStart[] = "F-0KV";
  constexpr std::size_t kStartLength = sizeof kStart - 1;
  constexpr std::size_t kLongest = 64;
  std::set<std::string> found;
  const auto end = image.end();
  for (auto at = std::search(image.begin(), end, kStart, kStart + kStartLength); at != end;
       at = std::search(at + 1, end, kStart, kStart + kStartLength)) {
    std::string text;
    for (auto p = at; p != end && text.size() < kLongest; ++p) {
      if (*p < 0x20 || *p > 0x7E) break;
      text.push_back(static_cast<char>(*p));
      if (*p == ')') {
        found.insert(text);
        break;
      }
    }
    if (found.size() > 1) return std::nullopt;
  }
  if (found.size() != 1) return std::nullopt;
  return *found.begin();
}

}  // namespace sim
