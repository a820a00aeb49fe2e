#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "settings/device_settings.h"
#include "settings/settings_table.h"

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
    for (const SettingInfo& s : SETTINGS_TABLE) {
      if (IsSent(s, layout)) {
        EXPECT_LE(s.field, MessageFieldCount(s.message, layout)) << s.identifier;
      }
    }
  }
  EXPECT_EQ(SettingForField(1, 5, SettingsLayout::Basic)->id, SettingId::parkReturnTimes);
  EXPECT_EQ(SettingForField(1, 5, SettingsLayout::Extended)->id, SettingId::enableCellId);
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
}

TEST(SettingsTable, LayoutDecidesWhatIsSentAndFiled) {
  const SettingInfo& motionCount = Setting(SettingId::parkReturnTimes);
  EXPECT_TRUE(IsSent(motionCount, SettingsLayout::Basic));
  EXPECT_FALSE(IsSent(motionCount, SettingsLayout::Extended));
  EXPECT_TRUE(IsInFile(motionCount, SettingsLayout::Extended));
  EXPECT_TRUE(IsReadFromMessage(motionCount, SettingsLayout::Extended));

  const SettingInfo& cellId = Setting(SettingId::enableCellId);
  EXPECT_FALSE(IsSent(cellId, SettingsLayout::Basic));
  EXPECT_FALSE(IsInFile(cellId, SettingsLayout::Basic));
  EXPECT_TRUE(IsReadFromMessage(cellId, SettingsLayout::Basic));

  EXPECT_FALSE(IsReadFromMessage(Setting(SettingId::gsmOffInStatic), SettingsLayout::Basic));
  EXPECT_FALSE(IsSent(Setting(SettingId::deviceName), SettingsLayout::Extended));
  EXPECT_TRUE(IsInFile(Setting(SettingId::deviceName), SettingsLayout::Basic));

  int basicKeys = 0, extendedKeys = 0;
  for (const SettingInfo& s : SETTINGS_TABLE) {
    basicKeys += IsInFile(s, SettingsLayout::Basic);
    extendedKeys += IsInFile(s, SettingsLayout::Extended);
  }
  EXPECT_EQ(basicKeys, 30);
  EXPECT_EQ(extendedKeys, 36);
}

TEST(SettingsTable, LookUpByIdentifierCaptionAndControl) {
  ASSERT_NE(FindSetting("sleepReturnTimes"), nullptr);
  EXPECT_EQ(FindSetting("sleepReturnTimes")->fileKey, "Sleep retrun times");
  EXPECT_EQ(FindSetting("SleepReturnTimes"), nullptr);
  EXPECT_EQ(FindSetting(""), nullptr);

  ASSERT_NE(FindSettingByCaption("  enable default sms ack phone number"), nullptr);
  EXPECT_EQ(FindSettingByCaption("  enable default sms ack phone number")->id, SettingId::checkReturnNumber);
  EXPECT_EQ(FindSettingByCaption("DNS2")->id, SettingId::gprsDns2);
  EXPECT_EQ(FindSettingByCaption("Firmware Version"), nullptr);

  EXPECT_EQ(FindSettingByControl(1087)->id, SettingId::reportMode);
  EXPECT_EQ(FindSettingByControl(1065), nullptr);  // the read-only firmware version
}

TEST(SettingsTable, VersionTextWithCapitalQSelectsBasicLayout) {
  EXPECT_EQ(LayoutForVersion("F-0KV770Q-V1.2"), SettingsLayout::Basic);
  EXPECT_EQ(LayoutForVersion("F-0KV770E-V1.4"), SettingsLayout::Extended);
  EXPECT_EQ(LayoutForVersion("F-0KV770q"), SettingsLayout::Extended);
  EXPECT_EQ(LayoutForVersion(""), SettingsLayout::Extended);
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
    if (previous) {
      EXPECT_GT(address, previous) << info.identifier;
    }
    previous = address;
  }
  s.gprsServerAddress = "host";
  s.parkReturnTimes = "7";
  s.enableCellId = 1;
  s.echoEnable = 0;
  EXPECT_EQ(FieldText(s, SettingId::gprsServerAddress), "host");
  EXPECT_EQ(FieldText(s, SettingId::parkReturnTimes), "7");
  EXPECT_EQ(FieldText(s, SettingId::enableCellId), "1");
  EXPECT_EQ(FieldText(s, SettingId::echoEnable), "0");
}

TEST(DeviceSettingsRecord, DialogStartValues) {
  const DeviceSettings s = DeviceSettings::DialogStart();
  for (const SettingInfo& info : SETTINGS_TABLE) {
    const std::string text = FieldText(s, info.id);
    if (info.id == SettingId::reportMode) {
      EXPECT_EQ(text, "2");
    } else if (info.id == SettingId::timeZone) {
      EXPECT_EQ(text, "+0.00");
    } else {
      EXPECT_EQ(text, "") << info.identifier;
    }
  }
  EXPECT_EQ(s.reportMode, REPORT_MODE_STOP_POSITION);
  EXPECT_EQ(s.timeZone, TIME_ZONE_UTC_POSITION);
}

TEST(DeviceSettingsRecord, FieldTextOfListsFollowsTheirEncoding) {
  DeviceSettings s;
  s.timeZone = 5;
  s.reportMode = 4;
  s.reportMethod = 3;
  s.smsReportFormat = 9;  // not a position of its list: counts as no selection
  EXPECT_EQ(FieldText(s, SettingId::timeZone), "+8.00");
  EXPECT_EQ(FieldText(s, SettingId::reportMode), "10");
  EXPECT_EQ(FieldText(s, SettingId::reportMethod), "3");
  EXPECT_EQ(FieldText(s, SettingId::smsReportFormat), "");

  SetFromFieldText(s, SettingId::smsReportFormat, " 1");
  EXPECT_EQ(s.smsReportFormat, 1);
  SetFromFieldText(s, SettingId::checkReturnNumber, "2");
  EXPECT_EQ(s.checkReturnNumber, std::nullopt);
  SetFromFieldText(s, SettingId::reportMode, "21");
  EXPECT_EQ(s.reportMode, 6);
  SetFromFieldText(s, SettingId::userName, std::string_view("ab\0cd", 5));
  EXPECT_EQ(s.userName, "ab");
}

}  // namespace
