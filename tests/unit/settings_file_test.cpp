#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>

#include "settings/settings_check.h"
#include "settings/settings_file.h"
#include "settings_samples.h"
#include "temp_folder.h"

namespace {

using namespace settings;
using test_support::TempFolder;

constexpr SettingsLayout kBasic = SettingsLayout::Basic;
constexpr SettingsLayout kExtended = SettingsLayout::Extended;

TEST(SettingsFile, FreshBasicFileWithTheDialogStartValues) {
  EXPECT_EQ(SettingsFileText(DeviceSettings::DialogStart(), kBasic),
            "[KV DEVICE SETTING]\r\nDEVICE=\r\n"
            "[MESSAGE 1]\r\nCheck return number=\r\nMaximum GPS fixing time=\r\nPark time=\r\n"
            "Park interval time=\r\nPark return times=\r\nSleep time=\r\nSleep interval time=\r\n"
            "Sleep retrun times=\r\nUser name=\r\nSet time zone=+0.00\r\nReport mode=\r\n"
            "Report interval time=\r\nSMS report format=\r\nSMS report times=\r\nSensitivity=\r\n"
            "[MESSAGE 2]\r\nSOS number1=\r\nSOS number2=\r\nSOS number3=\r\nDefault return number=\r\n"
            "SMS return number=\r\nPark return number=\r\nSleep return number=\r\n"
            "[MESSAGE 3]\r\nGPRS port=\r\nGPRS apn=\r\nGPRS username=\r\nGPRS user password=\r\n"
            "GPRS dns1=\r\nGPRS dns2=\r\n"
            "[MESSAGE 4]\r\nGPRS server address=\r\n");
}

TEST(SettingsFile, ExtendedKeysFollowSensitivityAndValuesFollowTheirRules) {
  DeviceSettings s = DeviceSettings::DialogStart();
  s.deviceName = "  Van 12";
  s.checkReturnNumber = 1;
  s.parkReturnTimes = "3";
  s.userName = "Unit7 ";
  s.timeZone = 5;
  s.reportMode = 3;
  s.sensitivity = std::string(300, '9');
  s.reportMethod = 2;
  s.echoEnable = 0;
  s.modeStatus = 1;
  s.disconnectInterval = "30";
  s.enableCellId = 0;
  const std::string text = SettingsFileText(s, kExtended);
  EXPECT_NE(text.find("[KV DEVICE SETTING]\r\nDEVICE=Van 12\r\n[MESSAGE 1]\r\nCheck return number=1\r\n"),
            std::string::npos)
      << "leading blanks are dropped";
  EXPECT_NE(text.find("\r\nPark return times=3\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nUser name=Unit7 \r\nSet time zone=+8.00\r\nReport mode=8\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nSensitivity=" + std::string(255, '9') +
                      "\r\nReport Method=2\r\nEcho_EN=0\r\nMode_status=1\r\ndisconnect_interval=30\r\n"
                      "Enable Cell ID=0\r\nGSM_Off_in_Static=\r\n[MESSAGE 2]\r\n"),
            std::string::npos)
      << text;

  const std::string basic = SettingsFileText(s, kBasic);
  for (const char* key :
       {"Report Method", "Echo_EN", "Mode_status", "disconnect_interval", "Enable Cell ID", "GSM_Off_in_Static"}) {
    EXPECT_EQ(basic.find(key), std::string::npos) << key;
  }
}

TEST(SettingsFile, RoundTripIsTheIdentityInBothLayouts) {
  std::mt19937 rng(770);
  for (int round = 0; round < 200; ++round) {
    const SettingsLayout layout = round % 2 ? kExtended : kBasic;
    const DeviceSettings original = test_support::RandomSettings(rng, test_support::SampleUse::File);
    DeviceSettings copy = test_support::RandomSettings(rng, test_support::SampleUse::File);
    for (const SettingInfo& info : SETTINGS_TABLE) {
      if (IsInFile(info, layout)) continue;
      if (IsList(info)) {
        *ListValue(copy, info.id) = *ListValue(original, info.id);
      } else {
        *EditText(copy, info.id) = *EditText(original, info.id);
      }
    }
    ApplySettingsFileText(SettingsFileText(original, layout), layout, copy);
    ASSERT_EQ(copy, original) << "round " << round;
  }
}

TEST(SettingsFile, ProfileRulesChangeBlanksAndQuotesAtTheEnds) {
  DeviceSettings s;
  s.userName = "  both ends  ";
  s.gprsApn = "\"quoted\"";
  s.gprsDns1 = "'single'";
  s.gprsDns2 = "\"half";
  DeviceSettings back = s;
  ApplySettingsFileText(SettingsFileText(s, kBasic), kBasic, back);
  EXPECT_EQ(back.userName, "both ends");
  EXPECT_EQ(back.gprsApn, "quoted");
  EXPECT_EQ(back.gprsDns1, "single");
  EXPECT_EQ(back.gprsDns2, "\"half");
}

TEST(SettingsFile, HandWrittenFileIsReadByTheProfileRules) {
  const std::string file =
      "[kv device setting]\r\n"
      "device = \"Van 12\" \r\n"
      "[Message 1]\r\n"
      "check return number=7\r\n"
      "PARK TIME=  30  \r\n"
      "Park time=99\r\n"
      "User name='  Bob  '\r\n"
      "Set time zone=+5.5\r\n"
      "Report mode=word\r\n"
      "SMS report format=\r\n"
      "Sensitivity=" +
      std::string(300, '7') +
      "\r\n"
      "echo_en=1\r\n"
      "[MESSAGE 3]\r\n"
      "gprs APN=internet\n";
  std::mt19937 rng(1);
  DeviceSettings s = test_support::RandomSettings(rng, test_support::SampleUse::File);
  s.smsReportFormat = 1;
  ApplySettingsFileText(file, kExtended, s);
  EXPECT_EQ(s.deviceName, "Van 12");
  EXPECT_EQ(s.checkReturnNumber, std::nullopt);
  EXPECT_EQ(s.parkTime, "30");
  EXPECT_EQ(s.userName, "  Bob  ");
  EXPECT_EQ(s.timeZone, TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(s.reportMode, 0) << "a value without digits counts as mode 0";
  EXPECT_EQ(s.smsReportFormat, 1) << "an empty format value keeps the selection";
  EXPECT_EQ(s.sensitivity, std::string(255, '7'));
  EXPECT_EQ(s.echoEnable, 1);
  EXPECT_EQ(s.gprsApn, "internet");
  // Missing keys: edits emptied, lists cleared.
  EXPECT_EQ(s.maxGpsFixingTime, "");
  EXPECT_EQ(s.gprsServerAddress, "");
  EXPECT_EQ(s.reportMethod, std::nullopt);
  EXPECT_EQ(s.gsmOffInStatic, std::nullopt);
  EXPECT_EQ(s.enableCellId, std::nullopt);

  // Exporting right after writes the cleared list as an empty value.
  EXPECT_NE(SettingsFileText(s, kExtended).find("\r\nCheck return number=\r\n"), std::string::npos);
}

TEST(SettingsFile, ReportModeAndTimeZoneWithoutAValue) {
  DeviceSettings s = DeviceSettings::DialogStart();
  s.reportMode = 0;
  ApplySettingsFileText("[MESSAGE 1]\r\nReport mode=2\r\n", kBasic, s);
  EXPECT_EQ(s.reportMode, REPORT_MODE_STOP_POSITION);
  const std::string text = SettingsFileText(s, kBasic);
  EXPECT_NE(text.find("\r\nReport mode=\r\n"), std::string::npos);
  s.reportMode = 0;
  ApplySettingsFileText(text, kBasic, s);
  EXPECT_EQ(s.reportMode, REPORT_MODE_STOP_POSITION);

  s.timeZone.reset();
  s.reportMode.reset();
  const std::string noSelection = SettingsFileText(s, kBasic);
  EXPECT_NE(noSelection.find("\r\nSet time zone=\r\nReport mode=\r\n"), std::string::npos);
  ApplySettingsFileText(noSelection, kBasic, s);
  EXPECT_EQ(s.timeZone, TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(s.reportMode, REPORT_MODE_STOP_POSITION);
}

TEST(SettingsFile, BasicLayoutLeavesTheExtendedSettingsAlone) {
  std::mt19937 rng(3);
  const DeviceSettings written = test_support::RandomSettings(rng, test_support::SampleUse::File);
  DeviceSettings s = test_support::RandomSettings(rng, test_support::SampleUse::File);
  const DeviceSettings before = s;
  ApplySettingsFileText(SettingsFileText(written, kExtended), kBasic, s);
  for (const SettingInfo& info : SETTINGS_TABLE) {
    const bool fromFile = IsInFile(info, kBasic);
    const DeviceSettings& expected = fromFile ? written : before;
    EXPECT_EQ(FieldText(s, info.id), FieldText(expected, info.id)) << info.identifier;
  }
}

TEST(SettingsFile, ExportPathAppendsIniUnlessThePathHoldsIt) {
  EXPECT_EQ(ExportPath("/a/settings"), "/a/settings.ini");
  EXPECT_EQ(ExportPath("/a/settings.ini"), "/a/settings.ini");
  EXPECT_EQ(ExportPath("/a/settings.INI"), "/a/settings.INI.ini");
  EXPECT_EQ(ExportPath("/my.ini.d/x"), "/my.ini.d/x");
  EXPECT_EQ(ExportPath("C:\\a\\settings"), "C:\\a\\settings.ini");
  EXPECT_EQ(ExportPath(""), ".ini");
}

TEST(SettingsFile, SaveAndLoadThroughTheDisk) {
  TempFolder folder;
  std::mt19937 rng(5);
  const DeviceSettings original = test_support::RandomSettings(rng, test_support::SampleUse::File);
  const std::string path = folder.File("tracker.ini");
  ASSERT_TRUE(SaveSettingsFile(path, kExtended, original));
  EXPECT_EQ(test_support::ReadTestFile(path), SettingsFileText(original, kExtended));
  DeviceSettings loaded;
  EXPECT_EQ(LoadSettingsFile(path, kExtended, loaded), LoadResult::Ok);
  EXPECT_EQ(loaded, original);

  // A file that cannot be written is reported and the old one stays.
  EXPECT_FALSE(SaveSettingsFile(folder.File("missing/tracker.ini"), kBasic, original));
  EXPECT_FALSE(SaveSettingsFile(folder.path(), kBasic, original));
  EXPECT_EQ(test_support::ReadTestFile(path), SettingsFileText(original, kExtended));

  // A file that cannot be read acts as an empty one, and the caller learns of it.
  DeviceSettings s = original;
  EXPECT_EQ(LoadSettingsFile(folder.File("none.ini"), kBasic, s), LoadResult::CannotRead);
  EXPECT_EQ(s.userName, "");
  EXPECT_EQ(s.reportMode, REPORT_MODE_STOP_POSITION);
  EXPECT_EQ(s.timeZone, TIME_ZONE_UTC_POSITION);
  EXPECT_EQ(s.smsReportFormat, original.smsReportFormat);
  EXPECT_EQ(s.checkReturnNumber, std::nullopt);
}

#ifndef _WIN32
// The file holds the GPRS password: a new file is the owner's alone, while a
// file written over keeps the permissions its owner gave it.
TEST(SettingsFile, ANewFileIsTheOwnersAloneAnExistingOneKeepsItsMode) {
  TempFolder folder;
  std::mt19937 rng(7);
  const DeviceSettings s = test_support::RandomSettings(rng, test_support::SampleUse::File);
  const std::string fresh = folder.File("fresh.ini");
  ASSERT_TRUE(SaveSettingsFile(fresh, kBasic, s));
  struct stat info {};
  ASSERT_EQ(stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const std::string shared = folder.File("shared.ini");
  ASSERT_TRUE(SaveSettingsFile(shared, kBasic, s));
  ASSERT_EQ(chmod(shared.c_str(), 0644), 0);
  ASSERT_TRUE(SaveSettingsFile(shared, kExtended, s));
  ASSERT_EQ(stat(shared.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(test_support::ReadTestFile(shared), SettingsFileText(s, kExtended));
}
#endif

// The same text as UTF-16LE with its byte-order mark (each byte taken as
// the code point of its value, right for ASCII and Latin-1 letters).
std::string AsUtf16Le(const std::string& ansi) {
  std::string out = "\xFF\xFE";
  for (char c : ansi) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

TEST(SettingsFile, SpacedSectionNamesAndUnicodeFilesLoadAsThePlainFile) {
  std::mt19937 rng(11);
  const DeviceSettings original = test_support::RandomSettings(rng, test_support::SampleUse::File);
  const std::string plain = SettingsFileText(original, kExtended);

  std::string spaced = plain;
  for (const char* name : {"KV DEVICE SETTING", "MESSAGE 1", "MESSAGE 2", "MESSAGE 3", "MESSAGE 4"}) {
    const std::string bracketed = std::string("[") + name + "]";
    spaced.replace(spaced.find(bracketed), bracketed.size(), std::string("[ ") + name + " ]");
  }
  DeviceSettings loaded = DeviceSettings::DialogStart();
  EXPECT_TRUE(ApplySettingsFileText(spaced, kExtended, loaded).empty()) << "no key is missing";
  EXPECT_EQ(loaded, original);

  // A record written by Notepad as "Unicode" (UTF-16LE) and as UTF-8 with a
  // mark: "é" (U+00E9) and "€" (U+20AC) arrive as the code page's 0xE9 and 0x80.
  DeviceSettings accented = DeviceSettings::DialogStart();
  accented.userName = "Caf\xE9";
  accented.gprsApn = "net\x80";
  std::string text = SettingsFileText(accented, kBasic);
  text.replace(text.find("net\x80"), 4, "net?");
  std::string utf16 = AsUtf16Le(text);
  utf16.replace(utf16.find(std::string("n\0e\0t\0?\0", 8)), 8, std::string("n\0e\0t\0\xAC\x20", 8));
  DeviceSettings fromUtf16 = DeviceSettings::DialogStart();
  ApplySettingsFileText(utf16, kBasic, fromUtf16);
  EXPECT_EQ(fromUtf16.userName, "Caf\xE9");
  EXPECT_EQ(fromUtf16, accented);

  std::string utf8 = "\xEF\xBB\xBF" + text;
  utf8.replace(utf8.find("Caf\xE9"), 4, "Caf\xC3\xA9");
  utf8.replace(utf8.find("net?"), 4, "net\xE2\x82\xAC");
  DeviceSettings fromUtf8 = DeviceSettings::DialogStart();
  ApplySettingsFileText(utf8, kBasic, fromUtf8);
  EXPECT_EQ(fromUtf8.userName, "Caf\xE9") << "one byte, as Windows reads it";
  EXPECT_EQ(fromUtf8, accented);
}

TEST(SettingsFile, ACharacterOutsideTheCodePageIsRefusedByTheCheckWithItsPlace) {
  // "Caf☃" in a UTF-8 file: the snowman has no place in code page 1252.
  DeviceSettings s = DeviceSettings::DialogStart();
  ApplySettingsFileText("\xEF\xBB\xBF[MESSAGE 1]\r\nUser name=Caf\xE2\x98\x83\r\n", kBasic, s);
  const std::vector<SettingsProblem> problems = CheckForDevice(s, kBasic);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].setting->id, SettingId::userName);
  ASSERT_EQ(problems[0].bytes.size(), 1u);
  EXPECT_EQ(problems[0].bytes[0].offset, 3u) << "the character's place, even at the value's end";
  EXPECT_NE(DescribeProblems(problems).find("\"User Name\" (userName): DEL (0x7F) or a character outside "
                                            "code page 1252 at character 4."),
            std::string::npos)
      << DescribeProblems(problems);
}

TEST(SettingsFile, LoadSaysWhyAFileCannotBeReadAndWhichKeysAreMissing) {
  TempFolder folder;
  DeviceSettings s = DeviceSettings::DialogStart();
  test_support::WriteTestFile(folder.File("part.ini"),
                              "[MESSAGE 1]\r\nUser name=Unit7\r\n[MESSAGE 4]\r\nGPRS server address=\r\n");
  LoadReport report = LoadSettingsFileReport(folder.File("part.ini"), kBasic, s);
  EXPECT_TRUE(report.Ok());
  EXPECT_TRUE(report.AnyFound());
  EXPECT_EQ(report.settingsInLayout, 30u) << "the device name and 29 settings";
  EXPECT_EQ(report.missing.size(), 28u) << "an empty value is not missing";
  EXPECT_EQ(report.missing.front()->id, SettingId::deviceName);
  EXPECT_EQ(s.userName, "Unit7");

  test_support::WriteTestFile(folder.File("other.ini"), "[Other]\r\nUser name=x\r\n");
  report = LoadSettingsFileReport(folder.File("other.ini"), kExtended, s);
  EXPECT_TRUE(report.Ok());
  EXPECT_FALSE(report.AnyFound());
  EXPECT_EQ(report.missing.size(), report.settingsInLayout);

  ASSERT_EQ(mkfifo(folder.File("fifo.ini").c_str(), 0600), 0);
  const std::pair<std::string, std::string> unreadable[] = {
      {folder.File("none.ini"), "no such file"},
      {folder.path(), "is a directory"},
      {folder.File("fifo.ini"), "not a regular file"},
      {"/dev/zero", "not a regular file"},
  };
  for (const auto& [path, reason] : unreadable) {
    report = LoadSettingsFileReport(path, kBasic, s);
    EXPECT_FALSE(report.Ok()) << path;
    EXPECT_EQ(report.reason, reason) << path;
    EXPECT_FALSE(report.AnyFound()) << path;
  }
  test_support::WriteTestFile(folder.File("huge.ini"), "[MESSAGE 1]\r\n" + std::string(1024 * 1024, ';'));
  report = LoadSettingsFileReport(folder.File("huge.ini"), kBasic, s);
  EXPECT_EQ(report.reason, "too large (more than 1 MiB)");
}

}  // namespace
