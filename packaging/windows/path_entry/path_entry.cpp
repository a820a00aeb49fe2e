#include "path_entry.h"

#include <cwctype>
#include <utility>
#include <vector>

namespace path_entry {
namespace {

std::wstring Normalised(std::wstring text) {
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') text = text.substr(1, text.size() - 2);
  while (text.size() > 1 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c == L'/' ? L'\\' : c));
  return text;
}

// Where each entry starts and ends; a semicolon inside double quotes is part
// of its entry.
std::vector<std::pair<std::size_t, std::size_t>> Entries(const std::wstring& value) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size() && value[i] == L'"') quoted = !quoted;
    if (i == value.size() || (value[i] == L';' && !quoted)) {
      spans.emplace_back(start, i);
      start = i + 1;
    }
  }
  return spans;
}

}  // namespace

bool SameFolder(const std::wstring& entry, const std::wstring& folder) {
  const std::wstring a = Normalised(entry);
  return !a.empty() && a == Normalised(folder);
}

std::optional<std::wstring> AddEntry(const std::wstring& value, const std::wstring& folder) {
  if (Normalised(folder).empty()) return std::nullopt;
  for (const auto& [start, end] : Entries(value))
    if (SameFolder(value.substr(start, end - start), folder)) return std::nullopt;
  // A semicolon inside a folder name would split it: such a name is quoted.
  const std::wstring entry = folder.find(L';') == std::wstring::npos ? folder : L'"' + folder + L'"';
  if (value.empty()) return entry;
  if (value.back() == L';') return value + entry + L';';
  return value + L';' + entry;
}

std::optional<std::wstring> RemoveEntry(const std::wstring& value, const std::wstring& folder) {
  std::optional<std::pair<std::size_t, std::size_t>> last;
  for (const auto& span : Entries(value))
    if (SameFolder(value.substr(span.first, span.second - span.first), folder)) last = span;
  if (!last) return std::nullopt;
  const auto [start, end] = *last;
  std::wstring result = value;
  if (end < value.size()) {
    result.erase(start, end - start + 1);  // the entry and the semicolon after it
  } else if (start > 0) {
    result.erase(start - 1);  // the last entry and the semicolon before it
  } else {
    result.clear();  // the only entry
  }
  return result;
}

}  // namespace path_entry
