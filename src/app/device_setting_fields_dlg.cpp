// The Device Setting dialog's controls: the settings they show, as the
// settings table maps them, which of them are enabled, shown and emptied.
#include "res/resource_ids.h"
#include "app/device_setting_dlg.h"

namespace {

using settings::SettingId;
using settings::SettingInfo;

// Rows that belong to one layout only, with the captions that go with them.
struct LayoutRow {
  SettingId setting;
  int captionId;
  int unitId;
};
constexpr LayoutRow LAYOUT_ROWS[] = {
    {SettingId::reportMethod, IDC_STC_REPORT_METHOD, 0},
    {SettingId::echoEnable, IDC_STC_ECHO_ENABLE, 0},
    {SettingId::parkReturnTimes, IDC_STC_PARK_RETURN_TIMES, 0},
    {SettingId::disconnectInterval, IDC_STC_DISCONNECT_INTERVAL, IDC_STC_DISCONNECT_UNIT},
    {SettingId::modeStatus, IDC_STC_MODE_STATUS, 0},
    {SettingId::enableCellId, IDC_STC_ENABLE_CELL_ID, 0},
    {SettingId::gsmOffInStatic, IDC_STC_GSM_OFF_IN_STATIC, 0},
};

// The lists the template leaves empty.
constexpr SettingId START_LISTS[] = {SettingId::reportMethod, SettingId::echoEnable, SettingId::modeStatus};

int ControlOf(SettingId id) { return settings::Setting(id).controlId; }

}  // namespace

settings::ListSelection CDeviceSettingDlg::ListSelectionOf(int controlId) const {
  // Only a selection counts. Text typed into the list's edit field that is
  // not the selected item's own leaves the list without a selection.
  if (!HasItem(controlId)) return std::nullopt;
  const int index = CurSel(controlId);
  if (index < 0 || ItemText(controlId) != ItemString(controlId, index)) return std::nullopt;
  return index;
}

void CDeviceSettingDlg::SelectListPosition(int controlId, settings::ListSelection selection) {
  const int index = selection.value_or(-1);
  SetCurSel(controlId, index >= 0 && index < ItemCount(controlId) ? index : -1);
}

settings::DeviceSettings CDeviceSettingDlg::ReadSettings() const {
  settings::DeviceSettings record;
  for (const SettingInfo& setting : settings::SETTINGS_TABLE) {
    if (std::string* text = settings::EditText(record, setting.id)) {
      *text = ItemText(setting.controlId);
    } else {
      *settings::ListValue(record, setting.id) = ListSelectionOf(setting.controlId);
    }
  }
  return record;
}

void CDeviceSettingDlg::ShowSettings(const settings::DeviceSettings& record) {
  for (const SettingInfo& setting : settings::SETTINGS_TABLE) {
    if (const std::string* text = settings::EditText(record, setting.id)) {
      SetItemText(setting.controlId, *text);
    } else {
      SelectListPosition(setting.controlId, *settings::ListValue(record, setting.id));
    }
  }
}

void CDeviceSettingDlg::ShowMessageSettings(const settings::DeviceSettings& record, unsigned messageNumber) {
  for (const SettingInfo& setting : settings::SETTINGS_TABLE) {
    if (setting.message != messageNumber) continue;
    if (const std::string* text = settings::EditText(record, setting.id)) {
      SetItemText(setting.controlId, *text);
    } else {
      SelectListPosition(setting.controlId, *settings::ListValue(record, setting.id));
    }
  }
}

void CDeviceSettingDlg::EnableMessageFields(unsigned messageNumber, bool on) {
  const settings::SettingsLayout layout = SessionLayout();
  for (const SettingInfo& setting : settings::SETTINGS_TABLE) {
    if (setting.message != messageNumber) continue;
    // Every edit of the message turns read-only or writable; only the fields
    // the layout shows are enabled or disabled.
    if (!settings::IsList(setting)) SetItemReadOnly(setting.controlId, !on);
    if (settings::IsSent(setting, layout)) EnableItem(setting.controlId, on);
  }
}

void CDeviceSettingDlg::EnableBasicFields(bool on) { EnableMessageFields(1, on); }
void CDeviceSettingDlg::EnableNumberFields(bool on) { EnableMessageFields(2, on); }
void CDeviceSettingDlg::EnableGprsFields(bool on) { EnableMessageFields(3, on); }
void CDeviceSettingDlg::EnableServerField(bool on) { EnableMessageFields(4, on); }

void CDeviceSettingDlg::EnableSettingGroups(bool on) {
  EnableBasicFields(on);
  EnableNumberFields(on);
  EnableGprsFields(on);
  EnableServerField(on);
}

void CDeviceSettingDlg::EnableFileCommands(bool on) {
  // The dialog has no menu bar; its buttons stand for menu 132.
  EnableItem(IDC_BTN_GET_DEVICE_SETTING, on);
  EnableItem(IDC_BTN_IMPORT, on);
  EnableItem(IDC_BTN_EXPORT, on);
}

void CDeviceSettingDlg::ClearFields(unsigned mask) {
  for (const SettingInfo& setting : settings::SETTINGS_TABLE) {
    if (setting.message == 0 || settings::IsList(setting)) continue;
    if ((mask & (1u << (setting.message - 1))) == 0) continue;
    // The disconnect interval is never emptied.
    if (setting.id == SettingId::disconnectInterval) continue;
    SetItemText(setting.controlId, "");
  }
}

void CDeviceSettingDlg::ApplyLayout(settings::SettingsLayout layout) {
  for (const LayoutRow& row : LAYOUT_ROWS) {
    const bool shown = settings::IsSent(settings::Setting(row.setting), layout);
    ShowItem(ControlOf(row.setting), shown);
    ShowItem(row.captionId, shown);
    if (row.unitId != 0) ShowItem(row.unitId, shown);
  }
}

void CDeviceSettingDlg::HideLayoutRows() {
  for (const LayoutRow& row : LAYOUT_ROWS) {
    ShowItem(ControlOf(row.setting), false);
    ShowItem(row.captionId, false);
    if (row.unitId != 0) ShowItem(row.unitId, false);
  }
}

void CDeviceSettingDlg::FillStartLists() {
  for (const SettingId id : START_LISTS) {
    for (std::string_view item : settings::ListItems(settings::Setting(id).list)) AddString(ControlOf(id), item);
    SetCurSel(ControlOf(id), -1);
  }
}

void CDeviceSettingDlg::SelectTimeZone(std::string_view text) {
  SelectListPosition(ControlOf(SettingId::timeZone), settings::SelectTimeZone(text));
}

void CDeviceSettingDlg::ShowStatus(int selector, const std::string& text) {
  if (selector == settings::STATUS_LINE) SetItemText(IDC_STC_TRANSFER_STATUS, text);
  if (selector == settings::RESULT_LINE) SetItemText(IDC_STC_TRANSFER_RESULT, text);
}
