// Import and Export of the Device Setting dialog: the file dialogs they
// show, the round trip through a settings file, the caption an import sets
// and the failures.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "device_setting_fixture.h"
#include "settings/settings_file.h"
#include "ui/qt/text.h"

namespace {

using settings::SettingId;
using settings::SettingsLayout;

class DeviceSettingFileTest : public DeviceSettingTest {
 protected:
  void SetUp() override {
    DeviceSettingTest::SetUp();
    ASSERT_TRUE(folder_.isValid());
  }
  // Values a settings file keeps as they are: no blanks or quotes around them,
  // up to 255 characters, 8-bit characters, signs the file format uses.
  static settings::DeviceSettings Awkward() {
    settings::DeviceSettings s = Example();
    s.deviceName = "Fleet [7] = north";
    s.userName = "J\xE9r\xF4me \"the; tracker\"";
    s.gprsPassword = std::string(255, 'p');
    s.gprsApn = "apn=internet;x";
    s.reportMode = settings::REPORT_MODE_STOP_POSITION;  // filed as an empty value
    s.timeZone = 25;                                     // "-12.00"
    s.checkReturnNumber.reset();
    s.echoEnable = 0;
    return s;
  }

  std::string PathOf(const char* name) const { return folder_.filePath(QString::fromLatin1(name)).toStdString(); }

  QTemporaryDir folder_;
};

TEST_F(DeviceSettingFileTest, ExportThenImportGivesBackTheSameControlsAndTheDeviceNameAsCaption) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  ASSERT_EQ(settings::ActiveLayout(), SettingsLayout::Extended);
  const settings::DeviceSettings values = Awkward();
  d.ShowSettings(values);
  ASSERT_EQ(d.ReadSettings(), values);

  {
    FileDialogRecorder chooser(PathOf("fleet"));
    Click(Item(1074));
    const auto requests = chooser.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].mode, ui::FileDialogMode::Save);
    EXPECT_EQ(requests[0].owner.Get(), &d);
    EXPECT_EQ(requests[0].flags, OFN_OVERWRITEPROMPT | OFN_LONGNAMES);
    EXPECT_TRUE(requests[0].defaultExtension.empty());
    EXPECT_EQ(requests[0].initialName, std::string(kImei) + ".ini") << "Export suggests the IMEI";
    ASSERT_EQ(requests[0].filters.size(), 2u);
    EXPECT_EQ(requests[0].filters[0].description, "Setting file (*.ini)");
    EXPECT_EQ(requests[0].filters[0].pattern, "*.ini");
    EXPECT_EQ(requests[0].filters[1].description, "All files (*.*)");
    EXPECT_EQ(requests[0].filters[1].pattern, "*.*");
  }
  ASSERT_TRUE(QFile::exists(QString::fromStdString(PathOf("fleet.ini")))) << "\".ini\" is added to the chosen name";
  EXPECT_FALSE(QFile::exists(QString::fromStdString(PathOf("fleet"))));

  d.ShowSettings(settings::DeviceSettings::DialogStart());
  d.EnableItem(1057, false);
  {
    FileDialogRecorder chooser(PathOf("fleet.ini"));
    Click(Item(1073));
    const auto requests = chooser.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].mode, ui::FileDialogMode::Open);
    EXPECT_EQ(requests[0].owner.Get(), &d);
    EXPECT_EQ(requests[0].flags, OFN_FILEMUSTEXIST | OFN_LONGNAMES);
    EXPECT_EQ(requests[0].filters.size(), 2u);
  }
  EXPECT_EQ(d.ReadSettings(), values);
  EXPECT_EQ(ui::FromQt(ui::qt::Window(d)->windowTitle()), "Device Setting -- Fleet [7] = north");
  EXPECT_TRUE(Item(1057)->isEnabled()) << "an import is there to be sent";
  EXPECT_TRUE(boxes_.Shown().empty());

  // A read keeps the caption but empties the hidden device name, which the
  // next export writes.
  Click(Item(1075));
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(ui::FromQt(ui::qt::Window(d)->windowTitle()), "Device Setting -- Fleet [7] = north");
  EXPECT_EQ(d.ReadSettings().deviceName, "");
}

TEST_F(DeviceSettingFileTest, ExportThatCannotBeWrittenSaysSoAndImportOfAnUnreadableFileChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  {
    FileDialogRecorder chooser(PathOf("missing-folder/fleet.ini"));
    Click(Item(1074));
  }
  auto shown = boxes_.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Save file fail !!!");
  EXPECT_EQ(shown[0].caption, "kvtool");
  EXPECT_EQ(shown[0].type, MB_OK);

  {
    FileDialogRecorder chooser(PathOf("gone.ini"));
    Click(Item(1073));
  }
  shown = boxes_.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[1].text.find("gone.ini"), std::string::npos);
  EXPECT_EQ(d.ReadSettings(), Example()) << "the fields keep their values";
  EXPECT_EQ(ui::FromQt(ui::qt::Window(d)->windowTitle()), "Device Setting");
}

TEST_F(DeviceSettingFileTest, CancelledFileDialogsChangeNothing) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  FileDialogRecorder chooser(std::nullopt);
  Click(Item(1073));
  Click(Item(1074));
  EXPECT_EQ(chooser.Requests().size(), 2u);
  EXPECT_EQ(d.ReadSettings(), Example());
  EXPECT_EQ(ui::FromQt(ui::qt::Window(d)->windowTitle()), "Device Setting");
  EXPECT_TRUE(QDir(folder_.path()).isEmpty());
  EXPECT_TRUE(boxes_.Shown().empty());
}

// The dialog's fields, in the order of the settings table, as a file written
// in the extended layout holds them, with every key of message 3 left out.
std::string WithoutMessage3(const settings::DeviceSettings& values) {
  std::string text = settings::SettingsFileText(values, SettingsLayout::Extended);
  std::string kept;
  bool inMessage3 = false;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at + 1);
    at = end == std::string::npos ? text.size() : end + 1;
    if (line.starts_with("[")) inMessage3 = line.starts_with("[MESSAGE 3]");
    if (!inMessage3) kept += line;
  }
  return kept;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

TEST_F(DeviceSettingFileTest, FileWithoutAnySettingIsRefusedAndTheFieldsStay) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  for (const char* name : {"empty.ini", "foreign.ini", "name-only.ini"}) {
    SCOPED_TRACE(name);
    const std::string path = PathOf(name);
    const std::string bytes = std::string(name) == "empty.ini"     ? std::string()
                              : std::string(name) == "foreign.ini" ? "[Other]\r\nkey=value\r\n"
                                                                   : "[KV DEVICE SETTING]\r\nDevice name=Van 7\r\n";
    ASSERT_NO_FATAL_FAILURE(WriteFile(path, bytes));
    const std::size_t before = boxes_.Shown().size();
    {
      FileDialogRecorder chooser(path);
      Click(Item(IDC_BTN_IMPORT));
    }
    const auto shown = boxes_.Shown();
    ASSERT_EQ(shown.size(), before + 1);
    EXPECT_EQ(shown.back().text, "No settings found in the settings file " + path +
                                     ".\nNothing was imported; the fields keep their values.");
    EXPECT_EQ(shown.back().type, MB_ICONEXCLAMATION);
    EXPECT_EQ(d.ReadSettings(), Example());
    EXPECT_EQ(ui::FromQt(ui::qt::Window(d)->windowTitle()), "Device Setting");
  }
}

TEST_F(DeviceSettingFileTest, FileLackingSomeSettingsImportsAndNamesThem) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  const std::string path = PathOf("partial.ini");
  ASSERT_NO_FATAL_FAILURE(WriteFile(path, WithoutMessage3(Example())));
  {
    FileDialogRecorder chooser(path);
    Click(Item(IDC_BTN_IMPORT));
  }
  const auto shown = boxes_.Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "The settings file " + path +
                               " lacks these settings; their fields are now empty:\nGPRS port\nGPRS apn\n"
                               "GPRS user name\nGPRS password\ndns1\ndns2");
  EXPECT_EQ(d.ReadSettings().sosNumber1, Example().sosNumber1);
  EXPECT_EQ(d.ReadSettings().gprsApn, "");
}

TEST_F(DeviceSettingFileTest, BigEndianUnicodeFileImportsLikeTheLittleEndianOne) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  settings::DeviceSettings values = Example();
  values.userName = "Caf\xE9";
  const std::string ansi = settings::SettingsFileText(values, SettingsLayout::Extended);
  std::string bigEndian = "\xFE\xFF";
  for (const char c : ansi) {
    bigEndian.push_back('\0');  // code page 1252 below 0x100 is Unicode's own
    bigEndian.push_back(c);
  }
  const std::string path = PathOf("unicode-be.ini");
  ASSERT_NO_FATAL_FAILURE(WriteFile(path, bigEndian));
  d.ShowSettings(settings::DeviceSettings::DialogStart());
  {
    FileDialogRecorder chooser(path);
    Click(Item(IDC_BTN_IMPORT));
  }
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(d.ReadSettings(), values);
}

}  // namespace
