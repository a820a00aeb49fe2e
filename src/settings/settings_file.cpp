#include "settings/settings_file.h"

#include "platform/file_replace.h"
#include "platform/profile_file.h"

namespace settings {

std::string FileValueText(const DeviceSettings& s, SettingId id) {
  if (const std::string* text = EditText(s, id)) return text->substr(0, platform::PROFILE_VALUE_MAX_CHARS);
  if (id == SettingId::reportMode && *ListValue(s, id) == REPORT_MODE_STOP_POSITION) return {};
  return FieldText(s, id);
}

void SetFromFileValue(DeviceSettings& s, SettingId id, std::string_view value) {
  const SettingInfo& setting = Setting(id);
  if (!IsList(setting) || setting.list == SettingList::TimeZone) {
    SetFromFieldText(s, id, value);
    return;
  }
  ListSelection& selection = *ListValue(s, id);
  if (!value.empty()) {
    SetFromFieldText(s, id, value);
  } else if (setting.list == SettingList::ReportMode) {
    selection = REPORT_MODE_STOP_POSITION;
  } else if (!setting.emptyImportKeeps) {
    selection.reset();
  }
}

std::string SettingsFileText(const DeviceSettings& s, SettingsLayout layout) {
  platform::ProfileWriter writer;
  for (const SettingInfo& setting : SETTINGS_TABLE) {
    if (IsInFile(setting, layout)) writer.Set(setting.fileSection, setting.fileKey, FileValueText(s, setting.id));
  }
  return writer.Text();
}

std::vector<const SettingInfo*> ApplySettingsFileText(std::string_view bytes, SettingsLayout layout,
                                                      DeviceSettings& s) {
  const platform::ProfileReader reader = platform::ProfileReader::Parse(bytes);
  std::vector<const SettingInfo*> missing;
  for (const SettingInfo& setting : SETTINGS_TABLE) {
    if (!IsInFile(setting, layout)) continue;
    const std::optional<std::string> value = reader.Find(setting.fileSection, setting.fileKey);
    if (!value) missing.push_back(&setting);
    SetFromFileValue(s, setting.id, value.value_or(std::string()));
  }
  return missing;
}

LoadReport LoadSettingsFileReport(const std::string& path, SettingsLayout layout, DeviceSettings& s) {
  LoadReport report;
  for (const SettingInfo& setting : SETTINGS_TABLE)
    if (IsInFile(setting, layout)) ++report.settingsInLayout;
  std::string bytes;
  const platform::FileReadError error = platform::ReadProfileFile(path, bytes);
  report.missing = ApplySettingsFileText(bytes, layout, s);
  if (error != platform::FileReadError::None) {
    report.result = LoadResult::CannotRead;
    report.reason = platform::DescribeFileReadError(error);
  }
  return report;
}

LoadResult LoadSettingsFile(const std::string& path, SettingsLayout layout, DeviceSettings& s) {
  return LoadSettingsFileReport(path, layout, s).result;
}

bool SaveSettingsFile(const std::string& path, SettingsLayout layout, const DeviceSettings& s) {
  // The file holds the GPRS password: a new one is readable by its owner
  // only; a file written over keeps its own permissions.
  int error = 0;
  return platform::ReplaceFileContents(path, SettingsFileText(s, layout), error, platform::NewFileAccess::OwnerOnly);
}

std::string ExportPath(std::string_view chosenPath) {
  std::string path(chosenPath);
  if (path.find(".ini") == std::string::npos) path += ".ini";
  return path;
}

}  // namespace settings
