// Import and Export of the Device Setting dialog: the settings file between
// the dialog's controls and the disk. Neither talks to the tracker.
#include "common/tool_texts.h"
#include "res/resource_ids.h"
#include "settings/device_setting_dlg.h"
#include "settings/settings_file.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"

namespace {

std::optional<std::string> ChooseSettingsFile(const ui::WindowRef& owner, ui::FileDialogMode mode) {
  ui::FileDialogRequest request;
  request.mode = mode;
  request.owner = owner;
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
  const std::optional<std::string> path = ChooseSettingsFile(Ref(), ui::FileDialogMode::Save);
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
  SetWindowText(IMPORTED_CAPTION_PREFIX + record.deviceName);
  ShowSettings(record);
  return TRUE;
}

BOOL CDeviceSettingDlg::SaveSettingsFile(const std::string& path) {
  if (!settings::SaveSettingsFile(path, SessionLayout(), ReadSettings())) {
    ui::ShowMessageBox(Ref(), settings::SAVE_FILE_FAIL_TEXT);
    return FALSE;
  }
  return TRUE;
}
