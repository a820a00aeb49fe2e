#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <set>
#include <string>

#include "settings/device_settings.h"

namespace {

using namespace settings;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

TEST(SettingsTable, EveryMessageFieldHasExactlyOneSettingInEachLayout) {
  for (SettingsLayout layout : {SettingsLayout::Basic, SettingsLayout::Extended}) {
    for (unsigned message = 1; message <= MESSAGE_COUNT; ++message) {
      for (unsigned field = 1; field <= MessageFieldCount(message, layout); ++field) {
        int senders = 0;
        for (const SettingInfo& s : SETTINGS_TABLE)
          senders += (s.message == message && s.field == field && IsSent(s, layout)) ? 1 : 0;
        EXPECT_EQ(senders, 1) << "message " << message << " field " << field;
      }
    }
  }
  int basicKeys = 0, extendedKeys = 0;
  for (const SettingInfo& s : SETTINGS_TABLE) {
    basicKeys += IsInFile(s, SettingsLayout::Basic);
    extendedKeys += IsInFile(s, SettingsLayout::Extended);
  }
  EXPECT_EQ(basicKeys, 30);
  EXPECT_EQ(extendedKeys, 36);
}

TEST(SettingsTable, NamesKeysAndControlsAreUnique) {
  std::set<std::string> identifiers, captions, fileKeys;
  std::set<int> controls;
  for (const SettingInfo& s : SETTINGS_TABLE) {
    EXPECT_TRUE(identifiers.insert(std::string(s.identifier)).second) << s.identifier;
    EXPECT_TRUE(captions.insert(Lower(s.caption)).second) << s.caption;
    // Names in a profile file match without regard to case.
    EXPECT_TRUE(fileKeys.insert(Lower(s.fileSection) + "/" + Lower(s.fileKey)).second) << s.fileKey;
    EXPECT_TRUE(controls.insert(s.controlId).second) << s.controlId;
    EXPECT_EQ(IsList(s), s.list != SettingList::None) << s.identifier;
  }
  EXPECT_EQ(FindSetting("sleepReturnTimes")->fileKey, "Sleep retrun times");
  EXPECT_EQ(FindSetting("SleepReturnTimes"), nullptr);
  EXPECT_EQ(FindSettingByCaption(" enable default sms ack phone number")->id, SettingId::checkReturnNumber);
  EXPECT_EQ(FindSettingByCaption("Firmware Version"), nullptr);
  EXPECT_EQ(FindSettingByControl(1087)->id, SettingId::reportMode);
}

// The accessors must reach a distinct member for every setting, in the order
// the record declares them, and the one its name says.
TEST(DeviceSettingsRecord, AccessorsReachEachMemberOnce) {
  DeviceSettings s;
  const char* previous = nullptr;
  for (const SettingInfo& info : SETTINGS_TABLE) {
    const char* address = EditText(s, info.id) ? reinterpret_cast<const char*>(EditText(s, info.id))
                                               : reinterpret_cast<const char*>(ListValue(s, info.id));
    ASSERT_NE(address, nullptr) << info.identifier;
    EXPECT_EQ(EditText(s, info.id) == nullptr, IsList(info)) << info.identifier;
    EXPECT_TRUE(previous == nullptr || address > previous) << info.identifier;
    previous = address;
  }
  s.gprsServerAddress = "host";
  s.enableCellId = 1;
  s.timeZone = 5;
  s.reportMode = 4;
  s.smsReportFormat = 9;  // not a position of its list: counts as no selection
  EXPECT_EQ(FieldText(s, SettingId::gprsServerAddress), "host");
  EXPECT_EQ(FieldText(s, SettingId::enableCellId), "1");
  EXPECT_EQ(FieldText(s, SettingId::timeZone), "+8.00");
  EXPECT_EQ(FieldText(s, SettingId::reportMode), "10");
  EXPECT_EQ(FieldText(s, SettingId::smsReportFormat), "");
}

TEST(SettingsLists, TimeZonesAndTheirSelection) {
  const auto items = ListItems(SettingList::TimeZone);
  ASSERT_EQ(items.size(), 26u);
  for (int p = 0; p < 26; ++p) {
    const int hours = 13 - p;
    EXPECT_EQ(items[p], (hours >= 0 ? "+" : "-") + std::to_string(std::abs(hours)) + ".00");
  }
  EXPECT_EQ(SelectTimeZone("+8.00"), 5);
  EXPECT_EQ(SelectTimeZone("-12.00"), 25);
  for (const char* unmatched : {"+8", "+5.50", "8.00", "+8.00 ", ""})
    EXPECT_EQ(SelectTimeZone(unmatched), TIME_ZONE_UTC_POSITION) << unmatched;
}

TEST(SettingsLists, ReportModeCodesBothWays) {
  const int codes[] = {0, 1, 2, 8, 10, 16, 21, 22};
  for (int p = 0; p < REPORT_MODE_COUNT; ++p) {
    ASSERT_EQ(ReportModeCode(p), codes[p]);
    EXPECT_EQ(ReportModePosition(codes[p]), p);
  }
  EXPECT_EQ(ReportModeCode(std::nullopt), std::nullopt);
  EXPECT_EQ(ReportModeCode(8), std::nullopt);
  for (long long unknown : {-1LL, 3LL, 9LL, 1000000000000LL})
    EXPECT_EQ(ReportModePosition(unknown), REPORT_MODE_STOP_POSITION) << unknown;
}

TEST(SettingsLists, NumbersAreReadLikeTheTrackerReadsThem) {
  EXPECT_EQ(ParseListNumber("  +8x"), 8);
  EXPECT_EQ(ParseListNumber("\t-1"), -1);
  EXPECT_EQ(ParseListNumber("abc"), 0);
  EXPECT_EQ(ParseListNumber("\r"), 0);
  EXPECT_EQ(ParseListNumber("- 3"), 0);
  EXPECT_GT(ParseListNumber("99999999999999999999999999"), 1000000000000LL);  // saturates, no overflow
}

}  // namespace
