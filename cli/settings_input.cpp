#include "settings_input.h"

#include "platform/profile_file.h"

using namespace settings;

std::vector<const SettingInfo*> MissingSettings(std::string_view fileBytes, SettingsLayout layout) {
  const platform::ProfileReader reader = platform::ProfileReader::Parse(fileBytes);
  std::vector<const SettingInfo*> missing;
  for (const SettingInfo& info : SETTINGS_TABLE) {
    if (IsSent(info, layout) && IsInFile(info, layout) && !reader.Find(info.fileSection, info.fileKey))
      missing.push_back(&info);
  }
  return missing;
}

bool HoldsAnySetting(std::string_view fileBytes, SettingsLayout layout) {
  std::size_t sent = 0;
  for (const SettingInfo& info : SETTINGS_TABLE)
    if (IsSent(info, layout) && IsInFile(info, layout)) ++sent;
  return MissingSettings(fileBytes, layout).size() < sent;
}

std::string DescribeSettings(const std::vector<const SettingInfo*>& list) {
  std::string text;
  for (const SettingInfo* info : list) {
    if (!text.empty()) text += "\n";
    text += "\"" + std::string(info->caption) + "\" (" + std::string(info->fileKey) + " in [" +
            std::string(info->fileSection) + "])";
  }
  return text;
}
