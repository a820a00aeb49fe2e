#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

#include "settings/settings_message.h"
#include "sample_settings.h"
#include "settings_samples.h"

namespace {

using namespace settings;

constexpr SettingsLayout kBasic = SettingsLayout::Basic;
constexpr SettingsLayout kExtended = SettingsLayout::Extended;

// The settings of the worked example of message 1.
DeviceSettings WorkedExample() { return test_support::WorkedExampleMessage1(); }

void Apply(DeviceSettings& s, SettingsLayout layout, std::string_view text, unsigned message) {
  ApplyMessage(s, layout, text.data(), message, text.size());
}

TEST(BuildMessage, WorkedExamples) {
  DeviceSettings s = WorkedExample();
  EXPECT_EQ(BuildMessageText(s, kExtended, 1), "1,120,30,60,0,60,600,5,Unit7,+8.00,8,60,0,10,3,2,0,1,30,0,\r");
  EXPECT_EQ(BuildMessageText(s, kBasic, 1), "1,120,30,60,3,60,600,5,Unit7,+8.00,8,60,0,10,3,\r");

  s.sosNumber1 = "5550101";
  s.sosNumber2 = "5550102";
  s.defaultReturnNumber = "5550100";
  s.smsReturnNumber = "5550100";
  EXPECT_EQ(BuildMessageText(s, kBasic, 2), "5550101,5550102,,5550100,5550100,,,\r");
  s.gprsPort = "9000";
  s.gprsApn = "internet";
  EXPECT_EQ(BuildMessageText(s, kExtended, 3), "9000,internet,,,,,\r");
  s.gprsServerAddress = "192.0.2.10";
  EXPECT_EQ(BuildMessageText(s, kExtended, 4), "192.0.2.10,\r");
}

TEST(BuildMessage, EmptyValuesAndListsWithoutSelection) {
  DeviceSettings s = WorkedExample();
  EXPECT_EQ(BuildMessageText(s, kBasic, 4), ",\r");
  EXPECT_EQ(BuildMessageText(s, kBasic, 2), ",,,,,,,\r");
  s.gsmOffInStatic.reset();
  EXPECT_TRUE(BuildMessageText(s, kExtended, 1).ends_with(",30,,\r"));
  s = DeviceSettings::DialogStart();
  EXPECT_EQ(BuildMessageText(s, kBasic, 1), ",,,,,,,,,+0.00,2,,,,,\r");
  s.timeZone.reset();
  s.reportMode.reset();
  EXPECT_EQ(BuildMessageText(s, kBasic, 1), ",,,,,,,,,,,,,,,\r");
  EXPECT_EQ(BuildMessageText(s, kBasic, 0), "");
  EXPECT_EQ(BuildMessageText(s, kBasic, 5), "");
}

TEST(BuildMessage, TextIsCopiedOnlyWhenItFitsWithItsNul) {
  DeviceSettings s;
  std::array<char, MESSAGE_BUFFER_SIZE + 8> buffer;

  s.gprsServerAddress = std::string(125, 'h');  // 125 + comma + CR = 127 characters
  buffer.fill('\xAA');
  ASSERT_EQ(BuildMessage(s, kBasic, 4, buffer.data(), MESSAGE_BUFFER_SIZE), 127u);
  EXPECT_EQ(std::string(buffer.data()), s.gprsServerAddress + ",\r");
  EXPECT_EQ(buffer[127], '\0');
  EXPECT_EQ(buffer[MESSAGE_BUFFER_SIZE], '\xAA') << "wrote past the capacity";

  s.gprsServerAddress += 'h';  // 128 characters
  buffer.fill('\xAA');
  EXPECT_EQ(BuildMessage(s, kBasic, 4, buffer.data(), MESSAGE_BUFFER_SIZE), 128u);
  for (std::size_t i = 0; i < MESSAGE_BUFFER_SIZE; ++i) ASSERT_EQ(buffer[i], '\0') << i;
  EXPECT_EQ(buffer[MESSAGE_BUFFER_SIZE], '\xAA');

  buffer.fill('\xAA');
  EXPECT_EQ(BuildMessage(s, kBasic, 9, buffer.data(), MESSAGE_BUFFER_SIZE), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[MESSAGE_BUFFER_SIZE - 1], '\0');
}

TEST(ApplyMessage, ShortTextFillsOnlyTheFieldsItReaches) {
  DeviceSettings s = WorkedExample();
  s.reportMode = 3;
  const DeviceSettings before = s;
  Apply(s, kExtended, "2,999,45", 1);            // no comma after field 3: it ends at the text's end
  EXPECT_EQ(s.checkReturnNumber, std::nullopt);  // 2 is no position of the two-state list
  EXPECT_EQ(s.maxGpsFixingTime, "999");
  EXPECT_EQ(s.parkTime, "45");
  EXPECT_EQ(s.parkIntervalTime, before.parkIntervalTime);
  EXPECT_EQ(s.userName, before.userName);
  EXPECT_EQ(s.reportMode, REPORT_MODE_STOP_POSITION) << "an absent field 11 means Stop report";

  s = before;
  Apply(s, kBasic, "", 1);
  DeviceSettings expected = before;
  expected.reportMode = REPORT_MODE_STOP_POSITION;
  EXPECT_EQ(s, expected) << "nothing to examine changes only the report mode";

  s = before;
  Apply(s, kBasic, "", 2);
  Apply(s, kBasic, "x", 7);
  EXPECT_EQ(s, before);
}

TEST(ApplyMessage, ListFieldsAreReadAsNumbers) {
  DeviceSettings s;
  Apply(s, kExtended, ",,,,1,,,,,+5.50,8,,abc,,,3,-1, 1,,7,", 1);
  EXPECT_EQ(s.checkReturnNumber, 0) << "an empty field counts as 0";
  EXPECT_EQ(s.parkReturnTimes, "1");
  EXPECT_EQ(s.enableCellId, 1);
  EXPECT_EQ(s.timeZone, TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(s.reportMode, 3);
  EXPECT_EQ(s.smsReportFormat, 0);
  EXPECT_EQ(s.reportMethod, 3);
  EXPECT_EQ(s.echoEnable, std::nullopt);
  EXPECT_EQ(s.modeStatus, 1);
  EXPECT_EQ(s.gsmOffInStatic, std::nullopt);

  for (const char* mode : {"9", "-1", "2", "x"}) {
    s.reportMode = 0;
    Apply(s, kBasic, std::string(",,,,,,,,,,") + mode + ",", 1);
    EXPECT_EQ(s.reportMode, mode[0] == 'x' ? 0 : REPORT_MODE_STOP_POSITION) << mode;
  }
}

TEST(ApplyMessage, TextOfTheOtherLayout) {
  const DeviceSettings source = WorkedExample();

  // An extended text read in the basic layout: field 5 (the cell-id switch)
  // also sets the motion report count; fields 16 to 20 are ignored.
  DeviceSettings basic = DeviceSettings::DialogStart();
  const std::string extendedText = BuildMessageText(source, kExtended, 1);
  Apply(basic, kBasic, extendedText, 1);
  EXPECT_EQ(basic.parkReturnTimes, "0");
  EXPECT_EQ(basic.enableCellId, 0);
  EXPECT_EQ(basic.sensitivity, "3");
  EXPECT_EQ(basic.reportMethod, std::nullopt);
  EXPECT_EQ(basic.gsmOffInStatic, std::nullopt);
  EXPECT_EQ(basic.disconnectInterval, "");

  // A basic text read in the extended layout: field 5 (3) is no cell-id
  // position; the CR after the last comma is field 16, whose number is 0;
  // fields 17 to 20 are absent and stay as they were.
  DeviceSettings extended = DeviceSettings::DialogStart();
  extended.echoEnable = 1;
  extended.disconnectInterval = "77";
  Apply(extended, kExtended, BuildMessageText(source, kBasic, 1), 1);
  EXPECT_EQ(extended.parkReturnTimes, "3");
  EXPECT_EQ(extended.enableCellId, std::nullopt);
  EXPECT_EQ(extended.sensitivity, "3");
  EXPECT_EQ(extended.reportMethod, 0);
  EXPECT_EQ(extended.echoEnable, 1);
  EXPECT_EQ(extended.disconnectInterval, "77");
  EXPECT_EQ(extended.gsmOffInStatic, std::nullopt);
}

TEST(ApplyMessage, LineFeedCountAndNulEndTheText) {
  DeviceSettings s;
  s.gprsApn = "kept";
  Apply(s, kBasic, "a\nb,c,", 3);
  EXPECT_EQ(s.gprsPort, "a\n");
  EXPECT_EQ(s.gprsApn, "kept");

  const char text[] = {'x', 'y', ',', 'z', 'z', 'z'};  // no NUL anywhere
  s = DeviceSettings();
  ApplyMessage(s, kBasic, text, 3, 4);
  EXPECT_EQ(s.gprsPort, "xy");
  EXPECT_EQ(s.gprsApn, "z");

  s = DeviceSettings();
  Apply(s, kBasic, std::string_view("ab\0cd,ef,", 9), 3);
  EXPECT_EQ(s.gprsPort, "ab");
  EXPECT_EQ(s.gprsApn, "ef");
}

TEST(ApplyMessage, OversizedTextIsCutAtTheCopyAreaAndFieldTable) {
  DeviceSettings s;
  // 300 characters without a comma or line feed: the first 256 are taken.
  const std::string longField(300, 'q');
  Apply(s, kBasic, longField + ",next,", 4);
  EXPECT_EQ(s.gprsServerAddress, std::string(MESSAGE_COPY_AREA_CHARS, 'q'));

  // 200 commas, and text reaching past the copy area: fields within it only.
  s = DeviceSettings();
  s.sosNumber1 = s.sleepReturnNumber = "5550100";
  Apply(s, kBasic, std::string(200, ',') + "late", 2);
  EXPECT_EQ(s.sosNumber1, "");
  EXPECT_EQ(s.sleepReturnNumber, "");

  // Field 6 of message 3 starts right at the end of the copy area.
  s = DeviceSettings();
  s.gprsDns2 = "old";
  const std::string five = std::string(251, 'p') + ",,,,,tail,";
  Apply(s, kBasic, five, 3);
  EXPECT_EQ(s.gprsPort, std::string(251, 'p'));
  EXPECT_EQ(s.gprsDns2, "");
}

TEST(ApplyMessage, RoundTripIsTheIdentityInBothLayouts) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    const SettingsLayout layout = round % 2 ? kExtended : kBasic;
    DeviceSettings original = test_support::RandomSettings(rng, test_support::SampleUse::Message);
    // Field 5 carries both the motion report count and the cell-id switch.
    if (layout == kBasic) {
      original.enableCellId = SelectPosition(SettingList::TwoState, ParseListNumber(original.parkReturnTimes));
    } else {
      original.parkReturnTimes = std::to_string(*original.enableCellId);
    }
    // Start from other values so that a field that is not applied shows;
    // what the layout does not send cannot come back and is copied over.
    DeviceSettings copy = test_support::RandomSettings(rng, test_support::SampleUse::Message);
    for (const SettingInfo& info : SETTINGS_TABLE) {
      if (IsReadFromMessage(info, layout)) continue;
      if (IsList(info)) {
        *ListValue(copy, info.id) = *ListValue(original, info.id);
      } else {
        *EditText(copy, info.id) = *EditText(original, info.id);
      }
    }
    for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) {
      char buffer[MESSAGE_BUFFER_SIZE];
      const std::size_t length = BuildMessage(original, layout, n, buffer, sizeof buffer);
      ASSERT_LE(length, MESSAGE_MAX_LENGTH);
      ApplyMessage(copy, layout, buffer, n, length);
    }
    ASSERT_EQ(copy, original) << "round " << round;
  }
}

}  // namespace
