#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/settings_check.h"
#include "settings/settings_message.h"
#include "settings_samples.h"

namespace {

using namespace settings;

constexpr SettingsLayout kBasic = SettingsLayout::Basic;
constexpr SettingsLayout kExtended = SettingsLayout::Extended;

TEST(CheckForDevice, FindsEveryForbiddenByteInEverySentSetting) {
  for (SettingsLayout layout : {kBasic, kExtended}) {
    for (const SettingInfo& info : SETTINGS_TABLE) {
      if (IsList(info) || !IsSent(info, layout)) continue;
      for (int byte = 0; byte < 256; ++byte) {
        DeviceSettings s = DeviceSettings::DialogStart();
        *EditText(s, info.id) = std::string("ab") + static_cast<char>(byte) + "c";
        const auto problems = CheckForDevice(s, layout);
        const bool forbidden = byte == ',' || byte < 0x20 || byte == 0x7F;
        if (!forbidden) {
          ASSERT_TRUE(problems.empty()) << info.identifier << " byte " << byte;
          continue;
        }
        ASSERT_EQ(problems.size(), 1u) << info.identifier << " byte " << byte;
        EXPECT_EQ(problems[0].kind, SettingsProblem::Kind::ForbiddenBytes);
        EXPECT_EQ(problems[0].setting, &info);
        EXPECT_EQ(problems[0].messageNumber, info.message);
        ASSERT_EQ(problems[0].bytes.size(), 1u);
        EXPECT_EQ(problems[0].bytes[0].offset, 2u);
        EXPECT_EQ(problems[0].bytes[0].byte, byte);
      }
    }
  }
}

TEST(CheckForDevice, IgnoresWhatTheLayoutDoesNotSend) {
  DeviceSettings s = DeviceSettings::DialogStart();
  s.deviceName = "a,b\r\n";
  s.parkReturnTimes = "1,2";
  EXPECT_TRUE(CheckForDevice(s, kExtended).empty());
  s.parkReturnTimes.clear();
  s.disconnectInterval = "3,4";
  EXPECT_TRUE(CheckForDevice(s, kBasic).empty());
  EXPECT_EQ(CheckForDevice(s, kExtended).size(), 1u);
}

TEST(CheckForDevice, ReportsEachMessageThatIsTooLong) {
  DeviceSettings s = DeviceSettings::DialogStart();
  s.gprsServerAddress = std::string(125, 'h');  // message 4 exactly 127 characters
  EXPECT_TRUE(CheckForDevice(s, kBasic).empty());
  s.gprsServerAddress += "hhh";
  s.sosNumber1 = std::string(130, '5');  // message 2: 130 + 8 characters
  const auto problems = CheckForDevice(s, kBasic);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].kind, SettingsProblem::Kind::MessageTooLong);
  EXPECT_EQ(problems[0].messageNumber, 2u);
  EXPECT_EQ(problems[0].length, 138u);
  EXPECT_EQ(problems[0].excess, 11u);
  EXPECT_EQ(problems[1].messageNumber, 4u);
  EXPECT_EQ(problems[1].excess, 3u);

  // Message 1 is longer in the extended layout.
  s = DeviceSettings::DialogStart();
  s.userName = std::string(127 - 21 - 5 - 1, 'u');  // 20 commas, CR, "+0.00", "2"
  EXPECT_EQ(BuildMessageText(s, kExtended, 1).size(), 127u);
  EXPECT_TRUE(CheckForDevice(s, kExtended).empty());
  s.userName += 'u';
  EXPECT_EQ(CheckForDevice(s, kExtended).size(), 1u);
}

TEST(CheckForDevice, LetsEveryLegalRecordThrough) {
  std::mt19937 rng(127);
  for (int round = 0; round < 200; ++round) {
    const DeviceSettings s = test_support::RandomSettings(rng, test_support::SampleUse::Message);
    ASSERT_TRUE(CheckForDevice(s, round % 2 ? kExtended : kBasic).empty()) << round;
  }
}

TEST(DescribeProblems, NamesEverySettingByteAndMessage) {
  DeviceSettings s = DeviceSettings::DialogStart();
  s.checkReturnNumber = 1;
  s.userName = "a,b";
  s.gprsApn = std::string("net\r\n") + std::string(10, '\x1b');
  s.gprsServerAddress = std::string(130, 'h');
  const std::string text = DescribeProblems(CheckForDevice(s, kBasic));
  EXPECT_NE(text.find("\"User Name\" (userName): comma at character 2."), std::string::npos) << text;
  EXPECT_NE(text.find("\"GPRS apn\" (gprsApn): CR (0x0D) at character 4, LF (0x0A) at character 5, "
                      "ESC (0x1B) at character 6"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(" and 4 more."), std::string::npos) << text;
  EXPECT_NE(text.find("Message 4 would be 132 characters long, 5 more than the 127"), std::string::npos) << text;
  EXPECT_EQ(DescribeProblems({}), "");
}

}  // namespace
