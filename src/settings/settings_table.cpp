#include "settings/settings_table.h"

#include <cctype>

namespace settings {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

const SettingInfo* SettingForField(unsigned message, unsigned field, SettingsLayout layout) {
  for (const SettingInfo& s : SETTINGS_TABLE) {
    if (s.message == message && s.field == field && IsSent(s, layout)) return &s;
  }
  return nullptr;
}

const SettingInfo* FindSetting(std::string_view identifier) {
  for (const SettingInfo& s : SETTINGS_TABLE) {
    if (s.identifier == identifier) return &s;
  }
  return nullptr;
}

const SettingInfo* FindSettingByCaption(std::string_view caption) {
  const std::string_view wanted = TrimBlanks(caption);
  for (const SettingInfo& s : SETTINGS_TABLE) {
    if (EqualIgnoringCase(TrimBlanks(s.caption), wanted)) return &s;
  }
  return nullptr;
}

const SettingInfo* FindSettingByControl(int controlId) {
  for (const SettingInfo& s : SETTINGS_TABLE) {
    if (s.controlId == controlId) return &s;
  }
  return nullptr;
}

}  // namespace settings
