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

std::vector<std::string> ImageVersionTexts(std::string_view image, std::size_t most) {
  std::vector<std::string> found;
  for (std::size_t at = image.find(kVersionStart); at != std::string_view::npos && found.size() < most;
       at = image.find(kVersionStart, at + 1)) {
    const auto text = VersionTextAt(image, at);
    if (!text) continue;
    bool known = false;
    for (const std::string& f : found) known = known || f == *text;
    if (!known) found.emplace_back(*text);
  }
  return found;
}

std::optional<std::string> FindImageVersion(std::string_view image) {
  std::vector<std::string> found = ImageVersionTexts(image, 2);
  if (found.size() != 1) return std::nullopt;
  return std::move(found[0]);
}

bool ReportsVersion(std::string_view reported, std::string_view expected) {
  if (expected.empty()) return true;
  const auto digit = [&](std::size_t i) { return i < reported.size() && reported[i] >= '0' && reported[i] <= '9'; };
  // A number goes on past `at` (forwards) with a digit, or with a dot and a
  // digit ("1.5" in "1.5.1"); backwards alike ("5" in "1.5").
  const auto goesOn = [&](std::size_t at) { return digit(at) || (reported[at] == '.' && digit(at + 1)); };
  const auto cameBefore = [&](std::size_t at) { return digit(at) || (reported[at] == '.' && at > 0 && digit(at - 1)); };
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t at = reported.find(expected); at != std::string_view::npos; at = reported.find(expected, at + 1)) {
    const std::size_t end = at + expected.size();
    const bool cutBefore = isDigit(expected.front()) && at > 0 && cameBefore(at - 1);
    const bool cutAfter = isDigit(expected.back()) && end < reported.size() && goesOn(end);
    if (!cutBefore && !cutAfter) return true;
  }
  return false;
}

std::optional<std::string> FirstVersionText(std::string_view answer) {
  for (std::size_t at = answer.find(kVersionStart); at != std::string_view::npos;
       at = answer.find(kVersionStart, at + 1)) {
    if (const auto text = VersionTextAt(answer, at)) return std::string(*text);
  }
  return std::nullopt;
}
