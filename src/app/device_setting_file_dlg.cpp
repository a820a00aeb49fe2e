// Import and Export of the Device Setting dialog: the settings file between
// the dialog's controls and the disk. Neither talks to the tracker.
#include "common/tool_texts.h"
#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"
#include "settings/settings_file.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"

namespace {

// The name Export suggests: the tracker's IMEI, as far as it is a plain name.
std::string SuggestedName(const std::string& imei) {
  std::string name;
  for (const char c : imei)
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_') name += c;
  return name.empty() ? name : name + ".ini";
}

// The captions of the settings a file lacked, one a line.
std::string CaptionLines(const std::vector<const settings::SettingInfo*>& settings) {
  std::string lines;
  for (const settings::SettingInfo* setting : settings) lines += "\n" + std::string(setting->caption);
  return lines;
}

std::optional<std::string> ChooseSettingsFile(const ui::WindowRef& owner, ui::FileDialogMode mode,
                                              const std::string& initialName = {}) {
  ui::FileDialogRequest request;
  request.mode = mode;
  request.owner = owner;
  request.initialName = initialName;
  request.filters = ui::ParseFilterString(SETTING_FILE_FILTER);
  request.flags = OFN_LONGNAMES | (mode == ui::FileDialogMode::Open ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
  return ui::ShowFileDialog(request);
}

}  // namespace

void CDeviceSettingDlg::OnImport() {
  const std::optional<std::string> path = ChooseSettingsFile(Ref(), ui::FileDialogMode::Open);
  if (!path) return;
  if (LoadSettingsFile(*path)) EnableItem(IDC_BTN_SET_TO_DEVICE, true);
}

void CDeviceSettingDlg::OnExport() {
  const std::optional<std::string> path = ChooseSettingsFile(Ref(), ui::FileDialogMode::Save, SuggestedName(m_strImei));
  if (!path) return;
  SaveSettingsFile(settings::ExportPath(*path));
}

BOOL CDeviceSettingDlg::LoadSettingsFile(const std::string& path) {
  settings::DeviceSettings record = ReadSettings();
  const settings::LoadReport report = settings::LoadSettingsFileReport(path, SessionLayout(), record);
  if (!report.Ok()) {
    // A file that cannot be read would empty every field: keep them instead.
    ui::ShowMessageBox(Ref(), settings::SETTINGS_FILE_UNREADABLE_TEXT + path + ": " + report.reason, {},
                       MB_ICONEXCLAMATION);
    return FALSE;
  }
  // Only settings the tracker takes count: a file without any (an empty or
  // foreign file) would empty every field, and the next write the tracker.
  std::vector<const settings::SettingInfo*> missingSent;
  for (const settings::SettingInfo* setting : report.missing)
    if (settings::IsSent(*setting, SessionLayout())) missingSent.push_back(setting);
  std::size_t sentInLayout = 0;
  for (const settings::SettingInfo& setting : settings::SETTINGS_TABLE)
    if (settings::IsSent(setting, SessionLayout()) && settings::IsInFile(setting, SessionLayout())) ++sentInLayout;
  if (missingSent.size() >= sentInLayout) {
    ui::ShowMessageBox(Ref(), settings::SETTINGS_FILE_EMPTY_START + path + settings::SETTINGS_FILE_EMPTY_END, {},
                       MB_ICONEXCLAMATION);
    return FALSE;
  }
  SetWindowText(IMPORTED_CAPTION_PREFIX + record.deviceName);
  ShowSettings(record);
  ForgetStaleVerdict();
  if (!missingSent.empty()) {
    ui::ShowMessageBox(
        Ref(),
        settings::SETTINGS_FILE_LACKS_START + path + settings::SETTINGS_FILE_LACKS_END + CaptionLines(missingSent), {},
        MB_ICONEXCLAMATION);
  }
  return TRUE;
}

BOOL CDeviceSettingDlg::SaveSettingsFile(const std::string& path) {
  if (!settings::SaveSettingsFile(path, SessionLayout(), ReadSettings())) {
    ui::ShowMessageBox(Ref(), settings::SAVE_FILE_FAIL_TEXT);
    return FALSE;
  }
  return TRUE;
}
