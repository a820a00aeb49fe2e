// The one description of the tracker's 36 settings: identifier, dialog
// caption and control, how the value is entered, the unit caption beside it,
// its key in the settings file, its place in the four settings messages and
// the layouts it belongs to. The dialog, the message builder and parser, the
// settings file and the terminal program all read this table, so a setting is
// described in one place only.
//
// Thread contract: the table is constant data; every function here is pure
// and may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace settings {

// The two layouts of the settings. The basic layout belongs to firmware
// whose version text holds a capital Q; every other firmware uses the
// extended one, which has five more fields in message 1 and uses field 5
// for the cell-id switch instead of the motion report count.
enum class SettingsLayout { Basic, Extended };

constexpr SettingsLayout LayoutFromFlag(bool extended) {
  return extended ? SettingsLayout::Extended : SettingsLayout::Basic;
}

// Identifiers, in the order of the table (which is the settings file's order).
enum class SettingId {
  deviceName,
  checkReturnNumber,
  maxGpsFixingTime,
  parkTime,
  parkIntervalTime,
  parkReturnTimes,
  sleepTime,
  sleepIntervalTime,
  sleepReturnTimes,
  userName,
  timeZone,
  reportMode,
  reportIntervalTime,
  smsReportFormat,
  smsReportTimes,
  sensitivity,
  reportMethod,
  echoEnable,
  modeStatus,
  disconnectInterval,
  enableCellId,
  gsmOffInStatic,
  sosNumber1,
  sosNumber2,
  sosNumber3,
  defaultReturnNumber,
  smsReturnNumber,
  parkReturnNumber,
  sleepReturnNumber,
  gprsPort,
  gprsApn,
  gprsUserName,
  gprsPassword,
  gprsDns1,
  gprsDns2,
  gprsServerAddress,
};

constexpr std::size_t SETTING_COUNT = 36;
constexpr unsigned MESSAGE_COUNT = 4;

// How the dialog takes a value: an edit that accepts decimal digits only,
// an edit that accepts any text, or a drop-down list.
enum class SettingInput { Digits, Text, List };

// Which fixed list a list setting shows (None for edits).
enum class SettingList {
  None,
  TwoState,          // "0:disable", "1:enable"
  ReversedTwoState,  // "0:enable", "1:disable"
  Format,            // "0:TEXT format", "1:NMEA format"
  ReportMethod,      // "0:Default" .. "3:SMS+GPRS"
  ReportMode,        // value is the tracker's mode number
  TimeZone,          // value is the item text
};

// Layouts a setting belongs to.
//  Both:         shown, sent and filed in both layouts.
//  ShownInBasic: shown and sent in the basic layout only, but kept in the
//                settings file in both and filled from its message field in both.
//  Extended:     shown, sent and filed in the extended layout only.
enum class LayoutUse { Both, ShownInBasic, Extended };

struct SettingInfo {
  SettingId id;
  std::string_view identifier;  // name used by programs and JSON
  std::string_view caption;     // label beside the control, exactly as the dialog shows it
  int controlId;                // dialog control that holds the value
  SettingInput input;
  SettingList list;
  std::string_view unit;         // unit and range caption beside the control, empty when none
  std::string_view fileSection;  // settings-file section
  std::string_view fileKey;      // settings-file key
  unsigned message;              // 1 to 4, 0 when the setting is never sent
  unsigned field;                // field number within the message, counted from 1
  LayoutUse layout;
  bool emptyImportKeeps;  // an empty settings-file value leaves the selection as it was
};

constexpr std::string_view DEVICE_SECTION = "KV DEVICE SETTING";
constexpr std::string_view MESSAGE1_SECTION = "MESSAGE 1";
constexpr std::string_view MESSAGE2_SECTION = "MESSAGE 2";
constexpr std::string_view MESSAGE3_SECTION = "MESSAGE 3";
constexpr std::string_view MESSAGE4_SECTION = "MESSAGE 4";

namespace table_detail {
using enum SettingId;
using enum SettingInput;
using enum LayoutUse;
constexpr SettingList None = SettingList::None;
constexpr SettingList TwoState = SettingList::TwoState;
constexpr std::string_view M1 = MESSAGE1_SECTION;
constexpr std::string_view M2 = MESSAGE2_SECTION;
constexpr std::string_view M3 = MESSAGE3_SECTION;
constexpr std::string_view M4 = MESSAGE4_SECTION;

// Rows in the order the settings file holds them.
inline constexpr std::array<SettingInfo, SETTING_COUNT> ROWS = {{
    {deviceName, "deviceName", "Device", 1060, Text, None, "", DEVICE_SECTION, "DEVICE", 0, 0, Both, false},
    {checkReturnNumber, "checkReturnNumber", "Enable Default SMS ACK Phone Number ", 1071, List, TwoState, "", M1,
     "Check return number", 1, 1, Both, false},
    {maxGpsFixingTime, "maxGpsFixingTime", "Maximum GPS Fixing Time", 1043, Digits, None, "", M1,
     "Maximum GPS fixing time", 1, 2, Both, false},
    {parkTime, "parkTime", "Motion Static Report Interval", 1044, Digits, None, "min(30-1440)", M1, "Park time", 1, 3,
     Both, false},
    {parkIntervalTime, "parkIntervalTime", "Motion Moving Report Interval", 1045, Digits, None, "sec(10-86400)", M1,
     "Park interval time", 1, 4, Both, false},
    {parkReturnTimes, "parkReturnTimes", "Motion report times", 1046, Digits, None, "", M1, "Park return times", 1, 5,
     ShownInBasic, false},
    {sleepTime, "sleepTime", "Sleep Static Report Interval", 1047, Digits, None, "min(30-1440)", M1, "Sleep time", 1, 6,
     Both, false},
    {sleepIntervalTime, "sleepIntervalTime", "Sleep Moving Report Interval", 1055, Digits, None, "sec(10-86400)", M1,
     "Sleep interval time", 1, 7, Both, false},
    {sleepReturnTimes, "sleepReturnTimes", "Number of SMS Report of Sleep Alarm", 1048, Digits, None, "(0-200)", M1,
     "Sleep retrun times", 1, 8, Both, false},
    {userName, "userName", "User Name", 1053, Text, None, "", M1, "User name", 1, 9, Both, false},
    {timeZone, "timeZone", "Time Zone", 1088, List, SettingList::TimeZone, "", M1, "Set time zone", 1, 10, Both, false},
    {reportMode, "reportMode", "Default Report Mode", 1087, List, SettingList::ReportMode, "", M1, "Report mode", 1, 11,
     Both, false},
    {reportIntervalTime, "reportIntervalTime", "Periodic Report Interval", 1049, Digits, None, "sec", M1,
     "Report interval time", 1, 12, Both, false},
    {smsReportFormat, "smsReportFormat", "SMS report format", 1072, List, SettingList::Format, "", M1,
     "SMS report format", 1, 13, Both, true},
    {smsReportTimes, "smsReportTimes", "Number of Reports", 1056, Digits, None, "", M1, "SMS report times", 1, 14, Both,
     false},
    {sensitivity, "sensitivity", "Sensitivity", 1051, Digits, None, "(1-255)", M1, "Sensitivity", 1, 15, Both, false},
    {reportMethod, "reportMethod", "Report method", 1061, List, SettingList::ReportMethod, "", M1, "Report Method", 1,
     16, Extended, false},
    {echoEnable, "echoEnable", "Enable ACK Message", 1064, List, SettingList::ReversedTwoState, "", M1, "Echo_EN", 1,
     17, Extended, false},
    {modeStatus, "modeStatus", "Mode status", 1080, List, TwoState, "", M1, "Mode_status", 1, 18, Extended, false},
    {disconnectInterval, "disconnectInterval", "Disconnect interval", 1077, Digits, None, "sec", M1,
     "disconnect_interval", 1, 19, Extended, false},
    {enableCellId, "enableCellId", "Enable Cell ID (0/1)", 1070, List, TwoState, "", M1, "Enable Cell ID", 1, 5,
     Extended, false},
    {gsmOffInStatic, "gsmOffInStatic", "GSM off in static", 1076, List, TwoState, "", M1, "GSM_Off_in_Static", 1, 20,
     Extended, false},
    {sosNumber1, "sosNumber1", "SOS Number1", 1035, Digits, None, "", M2, "SOS number1", 2, 1, Both, false},
    {sosNumber2, "sosNumber2", "SOS Number2", 1036, Digits, None, "", M2, "SOS number2", 2, 2, Both, false},
    {sosNumber3, "sosNumber3", "SOS Number3", 1037, Digits, None, "", M2, "SOS number3", 2, 3, Both, false},
    {defaultReturnNumber, "defaultReturnNumber", "Default SMS ACK Phone Number", 1038, Digits, None, "", M2,
     "Default return number", 2, 4, Both, false},
    {smsReturnNumber, "smsReturnNumber", "SMS Report Phone Number", 1040, Digits, None, "", M2, "SMS return number", 2,
     5, Both, false},
    {parkReturnNumber, "parkReturnNumber", "Motion Report Phone Number", 1041, Digits, None, "", M2,
     "Park return number", 2, 6, Both, false},
    {sleepReturnNumber, "sleepReturnNumber", "Sleep Report Phone Number", 1039, Digits, None, "", M2,
     "Sleep return number", 2, 7, Both, false},
    {gprsPort, "gprsPort", "GPRS port", 1029, Text, None, "", M3, "GPRS port", 3, 1, Both, false},
    {gprsApn, "gprsApn", "GPRS apn", 1030, Text, None, "", M3, "GPRS apn", 3, 2, Both, false},
    {gprsUserName, "gprsUserName", "GPRS user name", 1031, Text, None, "", M3, "GPRS username", 3, 3, Both, false},
    {gprsPassword, "gprsPassword", "GPRS password", 1032, Text, None, "", M3, "GPRS user password", 3, 4, Both, false},
    {gprsDns1, "gprsDns1", "dns1", 1033, Text, None, "", M3, "GPRS dns1", 3, 5, Both, false},
    {gprsDns2, "gprsDns2", "dns2", 1034, Text, None, "", M3, "GPRS dns2", 3, 6, Both, false},
    {gprsServerAddress, "gprsServerAddress", "GPRS Server Host Name", 1028, Text, None, "", M4, "GPRS server address",
     4, 1, Both, false},
}};

constexpr bool RowsFollowIdOrder() {
  for (std::size_t i = 0; i < ROWS.size(); ++i)
    if (static_cast<std::size_t>(ROWS[i].id) != i) return false;
  return true;
}
static_assert(RowsFollowIdOrder(), "table rows must be in SettingId order");
}  // namespace table_detail

// All settings, in the settings file's order.
inline constexpr const std::array<SettingInfo, SETTING_COUNT>& SETTINGS_TABLE = table_detail::ROWS;

constexpr const SettingInfo& Setting(SettingId id) { return SETTINGS_TABLE[static_cast<std::size_t>(id)]; }

constexpr bool IsList(const SettingInfo& s) { return s.input == SettingInput::List; }

// Shown in the dialog and sent to the tracker in this layout (the device
// name is neither).
constexpr bool IsSent(const SettingInfo& s, SettingsLayout layout) {
  if (s.message == 0) return false;
  switch (s.layout) {
    case LayoutUse::Both: return true;
    case LayoutUse::ShownInBasic: return layout == SettingsLayout::Basic;
    case LayoutUse::Extended: return layout == SettingsLayout::Extended;
  }
  return false;
}

// Written to and read from the settings file in this layout.
constexpr bool IsInFile(const SettingInfo& s, SettingsLayout layout) {
  return s.layout != LayoutUse::Extended || layout == SettingsLayout::Extended;
}

// Number of fields of a message in a layout (0 for a number outside 1 to 4).
constexpr unsigned MessageFieldCount(unsigned message, SettingsLayout layout) {
  switch (message) {
    case 1: return layout == SettingsLayout::Extended ? 20 : 15;
    case 2: return 7;
    case 3: return 6;
    case 4: return 1;
    default: return 0;
  }
}

// Filled from its message field when a message is read back in this layout.
// Field 5 of message 1 fills both the motion report count and the cell-id
// switch, whichever layout is active.
constexpr bool IsReadFromMessage(const SettingInfo& s, SettingsLayout layout) {
  return s.message != 0 && s.field <= MessageFieldCount(s.message, layout);
}

// The setting sent as a field of a message in a layout, or null.
const SettingInfo* SettingForField(unsigned message, unsigned field, SettingsLayout layout);

// Look-ups for programs that name settings: by identifier (exact), by caption
// (letter case and surrounding blanks ignored), by control id. Null when none.
const SettingInfo* FindSetting(std::string_view identifier);
const SettingInfo* FindSettingByCaption(std::string_view caption);
const SettingInfo* FindSettingByControl(int controlId);

}  // namespace settings
