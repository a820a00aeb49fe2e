#include "backup_file.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "backup_store.h"
#include "platform/profile_file.h"
#include "settings/settings_file.h"
#include "settings/settings_message.h"

using namespace settings;

namespace {

constexpr std::string_view kImeiKey = "IMEI";
constexpr std::string_view kLayoutKey = "Layout";
constexpr std::string_view kMissingKey = "Missing messages";
// A text written as "\xHH" escapes is at most four times as long.
constexpr std::size_t kTextValueMaxChars = 4 * MESSAGE_BUFFER_SIZE + 2;

std::string MessageKey(unsigned n) { return "Message " + std::to_string(n); }

const char* LayoutName(SettingsLayout layout) { return layout == SettingsLayout::Basic ? "basic" : "extended"; }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// In double quotes, so that blanks at either end survive the reader; a
// backslash and every control byte as an escape, so each line stays one line.
std::string EncodeText(std::string_view text) {
  std::string value = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '\\') {
      value += "\\\\";
    } else if (IsControl(c)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      value += escape;
    } else {
      value += ch;
    }
  }
  return value + "\"";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool DecodeText(std::string_view value, std::string& text) {
  text.clear();
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      text += value[i];
      continue;
    }
    if (i + 1 < value.size() && value[i + 1] == '\\') {
      text += '\\';
      ++i;
    } else if (i + 3 < value.size() && value[i + 1] == 'x' && HexDigit(value[i + 2]) >= 0 &&
               HexDigit(value[i + 3]) >= 0) {
      text += static_cast<char>(HexDigit(value[i + 2]) * 16 + HexDigit(value[i + 3]));
      i += 3;
    } else {
      return false;
    }
  }
  return true;
}

std::string NumberList(const std::vector<unsigned>& numbers) {
  std::string text;
  for (const unsigned n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return text;
}

// "2, 3" or "2,3" into numbers 1 to 4, each once; false for anything else.
bool ParseNumberList(std::string_view text, std::vector<unsigned>& numbers) {
  numbers.clear();
  std::string item;
  auto take = [&]() {
    while (!item.empty() && item.back() == ' ') item.pop_back();
    while (!item.empty() && item.front() == ' ') item.erase(0, 1);
    if (item.empty()) return true;
    if (item.size() != 1 || item[0] < '1' || item[0] > '4') return false;
    const unsigned n = static_cast<unsigned>(item[0] - '0');
    for (const unsigned seen : numbers)
      if (seen == n) return false;
    numbers.push_back(n);
    item.clear();
    return true;
  };
  for (const char c : text) {
    if (c == ',') {
      if (item.find_first_not_of(' ') == std::string::npos) return false;
      if (!take()) return false;
    } else {
      item += c;
    }
  }
  return take();
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string SettingName(const SettingInfo& info) {
  return "\"" + std::string(info.caption) + "\" (" + std::string(info.fileKey) + " in [" +
         std::string(info.fileSection) + "])";
}

BackupContents Refused(std::string problem) {
  BackupContents contents;
  contents.kind = BackupContents::Kind::Refused;
  contents.problem = std::move(problem);
  return contents;
}

}  // namespace

std::string BackupFileText(const DeviceSettings& read, SettingsLayout layout, const std::string& imei,
                           const MessageTexts& texts) {
  std::string text = SettingsFileText(read, layout);
  std::vector<unsigned> missing;
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n)
    if (!texts[n - 1]) missing.push_back(n);
  std::string section = "[" + std::string(BACKUP_SECTION) + "]\r\n";
  section += std::string(kImeiKey) + "=" + imei + "\r\n";
  section += std::string(kLayoutKey) + "=" + LayoutName(layout) + "\r\n";
  section += std::string(kMissingKey) + "=" + NumberList(missing) + "\r\n";
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n)
    if (texts[n - 1]) section += MessageKey(n) + "=" + EncodeText(*texts[n - 1]) + "\r\n";
  return text + section;
}

BackupContents ReadBackupContents(std::string_view bytes) {
  const platform::ProfileReader reader = platform::ProfileReader::Parse(bytes);
  const std::string section(BACKUP_SECTION);
  const auto layoutName = reader.Find(section, kLayoutKey);
  const auto missingList = reader.Find(section, kMissingKey);
  bool anyKey = layoutName || missingList || reader.Find(section, kImeiKey);
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) anyKey = anyKey || reader.Find(section, MessageKey(n));
  if (!anyKey) {
    BackupContents contents;
    contents.kind = BackupContents::Kind::WithoutTexts;
    contents.problem = "no message texts (a backup of an earlier kvctl, or cut short)";
    return contents;
  }

  BackupContents contents;
  contents.imei = reader.Get(section, kImeiKey);
  // The IMEI ties the backup to its tracker; without it restore --from would
  // write the backup to any tracker.
  if (!IsBackupImei(contents.imei))
    return Refused("[" + section + "] lacks the tracker's IMEI (IMEI=" + contents.imei + " is not its digits)");
  if (!layoutName || (*layoutName != "basic" && *layoutName != "extended"))
    return Refused("[" + section + "] lacks Layout=basic or Layout=extended");
  contents.layout = *layoutName == "basic" ? SettingsLayout::Basic : SettingsLayout::Extended;
  std::vector<unsigned> missing;
  if (!missingList) return Refused("[" + section + "] lacks the key \"" + std::string(kMissingKey) + "\"");
  if (!ParseNumberList(*missingList, missing))
    return Refused("[" + section + "] " + std::string(kMissingKey) + "=" + *missingList +
                   " is not a list of message numbers 1 to 4");

  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) {
    const bool listed = std::find(missing.begin(), missing.end(), n) != missing.end();
    const auto value = reader.Find(section, MessageKey(n), kTextValueMaxChars);
    if (listed && value) return Refused("message " + std::to_string(n) + " is listed as missing and has a text");
    if (listed) continue;
    if (!value) return Refused("[" + section + "] lacks the text of message " + std::to_string(n));
    std::string& text = contents.texts[n - 1];
    if (!DecodeText(*value, text))
      return Refused("the text of message " + std::to_string(n) + " holds a backslash that is no escape");
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (!IsControl(c)) continue;
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", c);
      return Refused("the text of message " + std::to_string(n) + " holds a control byte (" + hex + ") at character " +
                     std::to_string(i + 1) + ", which cannot be written back");
    }
    // The text and its CR must fit the tracker's message buffer.
    if (text.size() + 1 > MESSAGE_MAX_LENGTH)
      return Refused("the text of message " + std::to_string(n) + " is " + std::to_string(text.size()) +
                     " characters; a message holds at most " + std::to_string(MESSAGE_MAX_LENGTH - 1));
  }
  if (!missing.empty()) {
    contents.kind = BackupContents::Kind::Incomplete;
    contents.problem = std::string(missing.size() == 1 ? "message " : "messages ") + NumberList(missing) +
                       " missing on the tracker when it was taken (as an interrupted write leaves it)";
    return contents;
  }

  // The settings the texts give, as the tracker's read gives them, must be
  // the file's settings: every one present and equal as a settings file
  // holds it.
  DeviceSettings record = DeviceSettings::DialogStart();
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n)
    ApplyMessage(record, contents.layout, contents.texts[n - 1].data(), n, contents.texts[n - 1].size());
  const platform::ProfileReader expected = platform::ProfileReader::Parse(SettingsFileText(record, contents.layout));
  std::vector<std::string> lacking;
  std::string disagreeing;
  for (const SettingInfo& info : SETTINGS_TABLE) {
    if (!IsInFile(info, contents.layout)) continue;
    const auto value = reader.Find(info.fileSection, info.fileKey);
    if (!value) {
      lacking.push_back(SettingName(info));
      continue;
    }
    if (info.message == 0 || !disagreeing.empty()) continue;
    const std::string fromTexts = expected.Get(info.fileSection, info.fileKey);
    if (*value != fromTexts)
      disagreeing = SettingName(info) + " is " + Quoted(*value) + " in the settings but " + Quoted(fromTexts) +
                    " in the text of message " + std::to_string(info.message);
  }
  if (!lacking.empty()) {
    std::string list;
    for (const auto& name : lacking) list += (list.empty() ? "" : ", ") + name;
    return Refused("it lacks " + std::to_string(lacking.size()) + (lacking.size() == 1 ? " setting: " : " settings: ") +
                   list);
  }
  if (!disagreeing.empty()) return Refused("its settings and message texts disagree: " + disagreeing);
  contents.record = record;
  contents.kind = BackupContents::Kind::Exact;
  return contents;
}

std::string DescribeBackup(const BackupContents& contents) {
  switch (contents.kind) {
    case BackupContents::Kind::Exact: return std::string("whole (") + LayoutName(contents.layout) + " layout)";
    case BackupContents::Kind::Incomplete:
    case BackupContents::Kind::WithoutTexts: return contents.problem;
    case BackupContents::Kind::Refused: return "refused: " + contents.problem;
  }
  return {};
}
