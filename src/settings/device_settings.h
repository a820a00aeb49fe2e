// The record of a tracker's settings, as the dialog shows them and as the
// messages and the settings file carry them. Every value is text as typed;
// nothing is converted or range-checked. A list setting is a selected
// position or the state of having no selection; the time zone is a position
// in the time-zone list and the report mode a position in the report-mode
// list (their texts and mode numbers come from settings_lists.h).
//
// A list position outside its list is treated as no selection wherever a
// value is taken from the record.
//
// Thread contract: DeviceSettings is a plain value; give each thread its own
// copy. `extendedFirmware` is the only shared state here and is atomic.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "settings/settings_lists.h"
#include "settings/settings_table.h"

namespace settings {

struct DeviceSettings {
  std::string deviceName;
  ListSelection checkReturnNumber;
  std::string maxGpsFixingTime;
  std::string parkTime;
  std::string parkIntervalTime;
  std::string parkReturnTimes;
  std::string sleepTime;
  std::string sleepIntervalTime;
  std::string sleepReturnTimes;
  std::string userName;
  ListSelection timeZone;
  ListSelection reportMode;
  std::string reportIntervalTime;
  ListSelection smsReportFormat;
  std::string smsReportTimes;
  std::string sensitivity;
  ListSelection reportMethod;
  ListSelection echoEnable;
  ListSelection modeStatus;
  std::string disconnectInterval;
  ListSelection enableCellId;
  ListSelection gsmOffInStatic;
  std::string sosNumber1;
  std::string sosNumber2;
  std::string sosNumber3;
  std::string defaultReturnNumber;
  std::string smsReturnNumber;
  std::string parkReturnNumber;
  std::string sleepReturnNumber;
  std::string gprsPort;
  std::string gprsApn;
  std::string gprsUserName;
  std::string gprsPassword;
  std::string gprsDns1;
  std::string gprsDns2;
  std::string gprsServerAddress;

  // The values the Device Setting dialog starts with: "Stop report", time
  // zone "+0.00", every other list without a selection, every edit empty.
  static DeviceSettings DialogStart();

  bool operator==(const DeviceSettings&) const = default;
};

// The layout the dialog uses: set from the firmware version each time the
// dialog reads it, true at program start, kept when no version arrives.
// Code that serves several trackers passes a layout explicitly instead.
extern std::atomic<bool> extendedFirmware;

inline SettingsLayout ActiveLayout() { return LayoutFromFlag(extendedFirmware.load()); }

// Table-driven access to a value. EditText is null for list settings and
// ListValue is null for edit settings.
std::string* EditText(DeviceSettings& s, SettingId id);
const std::string* EditText(const DeviceSettings& s, SettingId id);
ListSelection* ListValue(DeviceSettings& s, SettingId id);
const ListSelection* ListValue(const DeviceSettings& s, SettingId id);

// A value as it travels in a message field: the edit's text verbatim, a
// list position in decimal, the time zone's item text, the report mode's
// mode number; empty for a list without a selection.
std::string FieldText(const DeviceSettings& s, SettingId id);

// Sets a value from a present message field: an edit takes the text; a list
// takes the position the text's number gives (no selection when that is no
// position of the list); the time zone takes the item equal to the text or
// "+0.00"; the report mode maps the mode number ("Stop report" for an
// unknown one). Text after a NUL byte is not part of the field.
void SetFromFieldText(DeviceSettings& s, SettingId id, std::string_view text);

}  // namespace settings
