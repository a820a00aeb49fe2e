#include "settings_samples.h"

#include "settings/settings_lists.h"

#include <string>

namespace test_support {
namespace {

using settings::SettingInput;

std::string RandomDigits(std::mt19937& rng, int maxLength) {
  std::string s(std::uniform_int_distribution<int>(0, maxLength)(rng), '0');
  for (char& c : s) c = static_cast<char>('0' + std::uniform_int_distribution<int>(0, 9)(rng));
  return s;
}

// Bytes a message field may carry: everything from 0x20 up except the comma
// and DEL, including 8-bit characters.
char RandomMessageChar(std::mt19937& rng) {
  for (;;) {
    const int c = std::uniform_int_distribution<int>(0x20, 0xFF)(rng);
    if (c != ',' && c != 0x7F) return static_cast<char>(c);
  }
}

// Bytes a settings-file value may carry inside it: everything but NUL, CR and
// LF; tab, Ctrl-Z and ESC included to show they pass unchanged.
char RandomFileChar(std::mt19937& rng) {
  for (;;) {
    const int c = std::uniform_int_distribution<int>(0x01, 0xFF)(rng);
    if (c != '\r' && c != '\n') return static_cast<char>(c);
  }
}

bool IsFileBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a'; }

std::string RandomFileText(std::mt19937& rng, int maxLength) {
  std::string s(std::uniform_int_distribution<int>(0, maxLength)(rng), 'x');
  for (char& c : s) c = RandomFileChar(rng);
  while (!s.empty() && IsFileBlank(s.front())) s.front() = 'a';
  while (!s.empty() && IsFileBlank(s.back())) s.back() = 'z';
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) s.back() = 'q';
  return s;
}

std::string RandomMessageText(std::mt19937& rng, int maxLength) {
  std::string s(std::uniform_int_distribution<int>(0, maxLength)(rng), 'x');
  for (char& c : s) c = RandomMessageChar(rng);
  return s;
}

}  // namespace

settings::DeviceSettings RandomSettings(std::mt19937& rng, SampleUse use) {
  settings::DeviceSettings s;
  for (const settings::SettingInfo& info : settings::SETTINGS_TABLE) {
    if (settings::ListSelection* list = settings::ListValue(s, info.id)) {
      const int count = static_cast<int>(settings::ListItems(info.list).size());
      *list = std::uniform_int_distribution<int>(0, count - 1)(rng);
      continue;
    }
    std::string& text = *settings::EditText(s, info.id);
    if (use == SampleUse::File) {
      text = RandomFileText(rng, 255);
    } else if (info.input == SettingInput::Digits) {
      text = RandomDigits(rng, info.message == 2 ? 14 : 5);
    } else {
      // Message 3 holds six text fields and message 4 one: keep each message
      // within 127 characters.
      text = RandomMessageText(rng, info.message == 4 ? 125 : 18);
    }
  }
  return s;
}

}  // namespace test_support
