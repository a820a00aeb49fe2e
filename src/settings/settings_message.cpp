#include "settings/settings_message.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace settings {

std::string BuildMessageText(const DeviceSettings& s, SettingsLayout layout, unsigned messageNumber) {
  const unsigned fieldCount = MessageFieldCount(messageNumber, layout);
  if (fieldCount == 0) return {};
  std::string text;
  for (unsigned field = 1; field <= fieldCount; ++field) {
    if (const SettingInfo* setting = SettingForField(messageNumber, field, layout)) text += FieldText(s, setting->id);
    text += ',';
  }
  text += '\r';
  return text;
}

std::size_t BuildMessage(const DeviceSettings& s, SettingsLayout layout, unsigned messageNumber, char* buffer,
                         std::size_t capacity) {
  const std::string text = BuildMessageText(s, layout, messageNumber);
  if (buffer != nullptr && capacity > 0) {
    std::memset(buffer, 0, capacity);
    if (text.size() < capacity) std::copy(text.begin(), text.end(), buffer);  // zero-ended by the memset
  }
  return text.size();
}

void ApplyMessage(DeviceSettings& s, SettingsLayout layout, const char* text, unsigned messageNumber,
                  std::size_t count) {
  // The copy holds the text with every comma turned into a NUL, so that each
  // field is a NUL-terminated string starting where the field table says.
  std::array<char, MESSAGE_COPY_AREA_CHARS + 1> copy{};
  std::array<const char*, MESSAGE_FIELD_TABLE_SIZE> fields{};
  std::size_t fieldsPresent = 0;
  if (text != nullptr && count > 0) {
    fields[fieldsPresent++] = copy.data();
    std::size_t used = 0;
    for (std::size_t i = 0; i < count && used < MESSAGE_COPY_AREA_CHARS; ++i) {
      const char c = text[i];
      if (c == ',') {
        copy[used++] = '\0';
        if (fieldsPresent == fields.size()) break;
        fields[fieldsPresent++] = copy.data() + used;
        continue;
      }
      copy[used++] = c;
      if (c == '\n') break;
    }
    copy[used] = '\0';
  }

  for (const SettingInfo& setting : SETTINGS_TABLE) {
    if (setting.message != messageNumber || !IsReadFromMessage(setting, layout)) continue;
    if (setting.field <= fieldsPresent) {
      SetFromFieldText(s, setting.id, fields[setting.field - 1]);
    } else if (setting.id == SettingId::reportMode) {
      s.reportMode = REPORT_MODE_STOP_POSITION;
    }
  }
}

}  // namespace settings
