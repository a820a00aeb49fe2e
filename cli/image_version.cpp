#include "image_version.h"

namespace {

constexpr std::string_view kVersionStart = "F-0KV";

// The version text starting at `at` (which holds "F-0KV"), or nothing.
std::optional<std::string_view> VersionTextAt(std::string_view text, std::size_t at) {
  for (std::size_t i = at; i < text.size() && i - at < VERSION_TEXT_LONGEST; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c > 0x7E) return std::nullopt;
    if (c == ')') return text.substr(at, i + 1 - at);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FindImageVersion(std::string_view image) {
  std::optional<std::string_view> found;
  for (std::size_t at = image.find(kVersionStart); at != std::string_view::npos;
       at = image.find(kVersionStart, at + 1)) {
    const auto text = VersionTextAt(image, at);
    if (!text) continue;
    if (found && *found != *text) return std::nullopt;  // two different versions
    found = text;
  }
  if (!found) return std::nullopt;
  return std::string(*found);
}

std::optional<std::string> FirstVersionText(std::string_view answer) {
  for (std::size_t at = answer.find(kVersionStart); at != std::string_view::npos;
       at = answer.find(kVersionStart, at + 1)) {
    if (const auto text = VersionTextAt(answer, at)) return std::string(*text);
  }
  return std::nullopt;
}
