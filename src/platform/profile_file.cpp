#include "platform/profile_file.h"

#include <cerrno>

#include "platform/profile_file_encoding.h"

namespace platform {
namespace {

// The characters Windows' profile functions treat as blanks: C white space
// and Ctrl-Z, the old end-of-file mark.
bool IsProfileBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a'; }

std::string_view TrimFront(std::string_view s) {
  while (!s.empty() && IsProfileBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimBack(std::string_view s) {
  while (!s.empty() && IsProfileBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool NamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// Next line of `bytes` from `pos`, without its line end; advances `pos`
// past the line end (a run of CR and LF characters).
std::string_view NextLine(std::string_view bytes, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < bytes.size() && bytes[pos] != '\r' && bytes[pos] != '\n') ++pos;
  const std::string_view line = bytes.substr(start, pos - start);
  while (pos < bytes.size() && (bytes[pos] == '\r' || bytes[pos] == '\n')) ++pos;
  return line;
}

}  // namespace

ProfileReader ProfileReader::Parse(std::string_view fileBytes) {
  const std::string ansi = ProfileBytesToAnsi(fileBytes);
  const std::string_view bytes = ansi;

  ProfileReader reader;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::string_view line = TrimBack(TrimFront(NextLine(bytes, pos)));
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        // Blanks around the name inside the brackets do not count.
        const std::string_view name = TrimBack(TrimFront(line.substr(1, close - 1)));
        reader.sections_.push_back({std::string(name), {}});
        continue;
      }
    }
    // Lines before the first section belong to no section anyone can name.
    if (reader.sections_.empty()) continue;
    const std::size_t equals = line.find('=');
    Key key;
    if (equals == std::string_view::npos) {
      key.name = line;
    } else {
      key.name = TrimBack(line.substr(0, equals));
      key.value = TrimFront(line.substr(equals + 1));
    }
    reader.sections_.back().keys.push_back(std::move(key));
  }
  return reader;
}

std::optional<std::string> ProfileReader::Find(std::string_view section, std::string_view key,
                                               std::size_t maxChars) const {
  for (const Section& s : sections_) {
    if (!NamesMatch(s.name, section)) continue;
    for (const Key& k : s.keys) {
      if (!NamesMatch(k.name, key)) continue;
      std::string_view value = k.value;
      value = value.substr(0, value.find('\0'));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      return std::string(value.substr(0, maxChars));
    }
    return std::nullopt;  // only the first section of a name counts
  }
  return std::nullopt;
}

void ProfileWriter::Set(std::string_view section, std::string_view key, std::string_view value) {
  value = TrimFront(value);
  Section* target = nullptr;
  for (Section& s : sections_) {
    if (NamesMatch(s.name, section)) {
      target = &s;
      break;
    }
  }
  if (target == nullptr) target = &sections_.emplace_back(Section{std::string(section), {}});
  for (Key& k : target->keys) {
    if (NamesMatch(k.name, key)) {
      k.value.assign(value);
      return;
    }
  }
  target->keys.push_back({std::string(key), std::string(value)});
}

std::string ProfileWriter::Text() const {
  std::string text;
  for (const Section& s : sections_) {
    text += '[';
    text += s.name;
    text += "]\r\n";
    for (const Key& k : s.keys) {
      text += k.name;
      text += '=';
      text += k.value;
      text += "\r\n";
    }
  }
  return text;
}

const char* DescribeFileReadError(FileReadError error) {
  switch (error) {
    case FileReadError::None: return "";
    case FileReadError::NotFound: return "no such file";
    case FileReadError::IsDirectory: return "is a directory";
    case FileReadError::PermissionDenied: return "permission denied";
    case FileReadError::TooLarge: return "too large (more than 1 MiB)";
    case FileReadError::NotRegular: return "not a regular file";
    case FileReadError::ReadFailed: return "read error";
  }
  return "read error";
}

}  // namespace platform
