#include "settings/device_settings.h"

#include <array>

namespace settings {

std::atomic<bool> extendedFirmware{true};

namespace {

// Where each setting lives in the record, in SettingId order.
struct Member {
  std::string DeviceSettings::*text = nullptr;
  ListSelection DeviceSettings::*list = nullptr;
};
constexpr Member Edit(std::string DeviceSettings::*m) { return {m, nullptr}; }
constexpr Member List(ListSelection DeviceSettings::*m) { return {nullptr, m}; }

using D = DeviceSettings;
constexpr std::array<Member, SETTING_COUNT> MEMBERS = {
    Edit(&D::deviceName),
    List(&D::checkReturnNumber),
    Edit(&D::maxGpsFixingTime),
    Edit(&D::parkTime),
    Edit(&D::parkIntervalTime),
    Edit(&D::parkReturnTimes),
    Edit(&D::sleepTime),
    Edit(&D::sleepIntervalTime),
    Edit(&D::sleepReturnTimes),
    Edit(&D::userName),
    List(&D::timeZone),
    List(&D::reportMode),
    Edit(&D::reportIntervalTime),
    List(&D::smsReportFormat),
    Edit(&D::smsReportTimes),
    Edit(&D::sensitivity),
    List(&D::reportMethod),
    List(&D::echoEnable),
    List(&D::modeStatus),
    Edit(&D::disconnectInterval),
    List(&D::enableCellId),
    List(&D::gsmOffInStatic),
    Edit(&D::sosNumber1),
    Edit(&D::sosNumber2),
    Edit(&D::sosNumber3),
    Edit(&D::defaultReturnNumber),
    Edit(&D::smsReturnNumber),
    Edit(&D::parkReturnNumber),
    Edit(&D::sleepReturnNumber),
    Edit(&D::gprsPort),
    Edit(&D::gprsApn),
    Edit(&D::gprsUserName),
    Edit(&D::gprsPassword),
    Edit(&D::gprsDns1),
    Edit(&D::gprsDns2),
    Edit(&D::gprsServerAddress),
};

constexpr bool MembersMatchTableKinds() {
  for (std::size_t i = 0; i < SETTING_COUNT; ++i) {
    const bool list = SETTINGS_TABLE[i].input == SettingInput::List;
    if (list != (MEMBERS[i].list != nullptr) || list == (MEMBERS[i].text != nullptr)) return false;
  }
  return true;
}
static_assert(MembersMatchTableKinds(), "record members must follow the table's order and kinds");

const Member& MemberOf(SettingId id) { return MEMBERS[static_cast<std::size_t>(id)]; }

}  // namespace

DeviceSettings DeviceSettings::DialogStart() {
  DeviceSettings s;
  s.reportMode = REPORT_MODE_STOP_POSITION;
  s.timeZone = TIME_ZONE_UTC_POSITION;
  return s;
}

std::string* EditText(DeviceSettings& s, SettingId id) {
  const Member& m = MemberOf(id);
  return m.text ? &(s.*m.text) : nullptr;
}
const std::string* EditText(const DeviceSettings& s, SettingId id) {
  const Member& m = MemberOf(id);
  return m.text ? &(s.*m.text) : nullptr;
}
ListSelection* ListValue(DeviceSettings& s, SettingId id) {
  const Member& m = MemberOf(id);
  return m.list ? &(s.*m.list) : nullptr;
}
const ListSelection* ListValue(const DeviceSettings& s, SettingId id) {
  const Member& m = MemberOf(id);
  return m.list ? &(s.*m.list) : nullptr;
}

std::string FieldText(const DeviceSettings& s, SettingId id) {
  if (const std::string* text = EditText(s, id)) return *text;
  const SettingList list = Setting(id).list;
  const ListSelection selection = SelectPosition(list, ListValue(s, id)->value_or(-1));
  if (!selection) return {};
  switch (list) {
    case SettingList::TimeZone: return std::string(SelectedItemText(list, selection));
    case SettingList::ReportMode: return std::to_string(*ReportModeCode(selection));
    default: return std::to_string(*selection);
  }
}

void SetFromFieldText(DeviceSettings& s, SettingId id, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  if (std::string* edit = EditText(s, id)) {
    edit->assign(text);
    return;
  }
  const SettingList list = Setting(id).list;
  ListSelection& value = *ListValue(s, id);
  switch (list) {
    case SettingList::TimeZone: value = SelectTimeZone(text); break;
    case SettingList::ReportMode: value = ReportModePosition(ParseListNumber(text)); break;
    default: value = SelectPosition(list, ParseListNumber(text)); break;
  }
}

}  // namespace settings
