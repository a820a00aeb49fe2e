// Reads one line of JSON holding a flat object (strings, numbers, true,
// false, null), as kvctl's audit log writes them, so tests can check that
// each line parses and look at its fields without a JSON library.
#pragma once

#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Field name -> value: a string's decoded text, or a number's, true's,
// false's or null's own text. No value when the line is not such an object.
inline std::optional<std::map<std::string, std::string>> ParseFlatJsonObject(std::string_view text) {
  std::size_t at = 0;
  auto skipBlanks = [&] {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  };
  auto parseString = [&](std::string& out) -> bool {
    if (at >= text.size() || text[at] != '"') return false;
    for (++at; at < text.size(); ++at) {
      const char c = text[at];
      if (c == '"') {
        ++at;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (++at >= text.size()) return false;
      switch (text[at]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (at + 4 >= text.size()) return false;
          const unsigned value = std::stoul(std::string(text.substr(at + 1, 4)), nullptr, 16);
          if (value > 0xFF) return false;  // not needed by these tests
          out += static_cast<char>(value);
          at += 4;
          break;
        }
        default: return false;
      }
    }
    return false;
  };
  std::map<std::string, std::string> fields;
  skipBlanks();
  if (at >= text.size() || text[at++] != '{') return std::nullopt;
  skipBlanks();
  if (at < text.size() && text[at] == '}') return fields;
  for (;;) {
    skipBlanks();
    std::string name, value;
    if (!parseString(name)) return std::nullopt;
    skipBlanks();
    if (at >= text.size() || text[at++] != ':') return std::nullopt;
    skipBlanks();
    if (at < text.size() && text[at] == '"') {
      if (!parseString(value)) return std::nullopt;
    } else {
      const std::size_t start = at;
      while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '.' ||
                                  text[at] == '-' || text[at] == '+'))
        ++at;
      value = std::string(text.substr(start, at - start));
      const bool number = !value.empty() && (std::isdigit(static_cast<unsigned char>(value[0])) || value[0] == '-');
      if (!number && value != "true" && value != "false" && value != "null") return std::nullopt;
    }
    if (!fields.emplace(name, value).second) return std::nullopt;  // a name twice
    skipBlanks();
    if (at >= text.size()) return std::nullopt;
    if (text[at] == ',') {
      ++at;
      continue;
    }
    if (text[at++] != '}') return std::nullopt;
    skipBlanks();
    return at == text.size() ? std::optional(fields) : std::nullopt;
  }
}
