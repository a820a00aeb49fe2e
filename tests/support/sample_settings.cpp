#include "sample_settings.h"

#include "settings/settings_table.h"

namespace test_support {

settings::DeviceSettings SampleSettings() {
  settings::DeviceSettings s = settings::DeviceSettings::DialogStart();
  s.checkReturnNumber = 1;
  s.maxGpsFixingTime = "120";
  s.parkTime = "30";
  s.parkIntervalTime = "60";
  s.parkReturnTimes = "3";
  s.enableCellId = 1;
  s.sleepTime = "60";
  s.sleepIntervalTime = "600";
  s.sleepReturnTimes = "5";
  s.userName = "Unit7";
  s.timeZone = 5;    // "+8.00"
  s.reportMode = 3;  // GPRS immediate report: mode 8
  s.reportIntervalTime = "60";
  s.smsReportFormat = 1;
  s.smsReportTimes = "10";
  s.sensitivity = "3";
  s.reportMethod = 2;
  s.echoEnable = 1;
  s.modeStatus = 1;
  s.disconnectInterval = "30";
  s.gsmOffInStatic = 0;
  s.sosNumber1 = "5550101";
  s.sosNumber2 = "5550102";
  s.sosNumber3 = "5550103";
  s.defaultReturnNumber = "5550100";
  s.smsReturnNumber = "5550104";
  s.parkReturnNumber = "5550105";
  s.sleepReturnNumber = "5550106";
  s.gprsPort = "9000";
  s.gprsApn = "internet";
  s.gprsUserName = "tracker";
  s.gprsPassword = "pa ss";
  s.gprsDns1 = "192.0.2.53";
  s.gprsDns2 = "192.0.2.54";
  s.gprsServerAddress = "192.0.2.10";
  return s;
}

settings::DeviceSettings WorkedExampleMessage1() {
  const settings::DeviceSettings sample = SampleSettings();
  settings::DeviceSettings s = settings::DeviceSettings::DialogStart();
  for (const settings::SettingInfo& info : settings::SETTINGS_TABLE) {
    if (info.message != 1) continue;
    if (std::string* text = settings::EditText(s, info.id)) *text = *settings::EditText(sample, info.id);
    else *settings::ListValue(s, info.id) = *settings::ListValue(sample, info.id);
  }
  s.enableCellId = 0;
  s.smsReportFormat = 0;
  s.echoEnable = 0;
  return s;
}

}  // namespace test_support
