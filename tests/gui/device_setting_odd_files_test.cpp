// Import and Export of the Device Setting dialog with the files a careless
// user picks: a pipe, a folder, an endless device, a file just over the size
// limit, the file just imported, a read-only file; and who may read an
// exported file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include <QTemporaryDir>

#include "device_setting_fixture.h"
#include "settings/settings_file.h"

namespace {

using settings::SettingsLayout;

constexpr std::size_t kLimit = 1024 * 1024;

class DeviceSettingOddFilesTest : public DeviceSettingTest {
 protected:
  void SetUp() override {
    DeviceSettingTest::SetUp();
    ASSERT_TRUE(folder_.isValid());
  }
  std::string PathOf(const char* name) const { return folder_.filePath(QString::fromLatin1(name)).toStdString(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // A settings file of `record`, padded with empty lines to `size` bytes.
  static void WritePadded(const std::string& path, const settings::DeviceSettings& record, std::size_t size) {
    ASSERT_TRUE(settings::SaveSettingsFile(path, SettingsLayout::Extended, record));
    std::string bytes = Contents(path);
    ASSERT_LE(bytes.size(), size);
    bytes.append(size - bytes.size(), '\n');
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  void Import(const std::string& path) {
    FileDialogRecorder chooser(path);
    Click(Item(IDC_BTN_IMPORT));
  }
  void Export(const std::string& path) {
    FileDialogRecorder chooser(path);
    Click(Item(IDC_BTN_EXPORT));
  }

  QTemporaryDir folder_;
};

TEST_F(DeviceSettingOddFilesTest, ImportRefusesWhatIsNoSettingsFileAtOnceAndTheFieldsStay) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  d.ShowSettings(Example());
  const std::string pipe = PathOf("pipe.ini");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  settings::DeviceSettings other = Example();
  other.userName = "Other";
  const std::string over = PathOf("over.ini");
  ASSERT_NO_FATAL_FAILURE(WritePadded(over, other, kLimit + 1));

  std::size_t boxes = 0;
  for (const std::string& path : {pipe, folder_.path().toStdString(), std::string("/dev/zero"), over}) {
    SCOPED_TRACE(path);
    const auto start = std::chrono::steady_clock::now();
    Import(path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "the window stopped painting";
    ASSERT_EQ(boxes_.Shown().size(), ++boxes);
    EXPECT_NE(boxes_.Shown().back().text.find(path), std::string::npos) << boxes_.Shown().back().text;
    EXPECT_EQ(d.ReadSettings(), Example());
  }

  // Exactly at the limit the file is read.
  const std::string at = PathOf("at.ini");
  ASSERT_NO_FATAL_FAILURE(WritePadded(at, other, kLimit));
  Import(at);
  EXPECT_EQ(boxes_.Shown().size(), boxes);
  EXPECT_EQ(d.ReadSettings().userName, "Other");
}

TEST_F(DeviceSettingOddFilesTest, ExportOntoTheImportedFileAReadOnlyFileAndANewFile) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  CDeviceSettingDlg& d = OpenDialogIdle();
  const std::string kept = PathOf("kept.ini");
  ASSERT_TRUE(settings::SaveSettingsFile(kept, SettingsLayout::Extended, Example()));
  Import(kept);
  ASSERT_TRUE(boxes_.Shown().empty());
  settings::DeviceSettings edited = d.ReadSettings();
  edited.userName = "Unit9";
  d.ShowSettings(edited);

  // Onto the file just imported: it holds the edited fields, whole.
  Export(kept);
  EXPECT_TRUE(boxes_.Shown().empty());
  settings::DeviceSettings back = settings::DeviceSettings::DialogStart();
  ASSERT_TRUE(settings::LoadSettingsFileReport(kept, SettingsLayout::Extended, back).Ok());
  EXPECT_EQ(back.userName, "Unit9");

  // A read-only file is left as it was, and the box says so.
  const std::string locked = PathOf("locked.ini");
  ASSERT_TRUE(settings::SaveSettingsFile(locked, SettingsLayout::Extended, Example()));
  ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
  const std::string before = Contents(locked);
  if (::access(locked.c_str(), W_OK) != 0) {  // root may write anyway
    Export(locked);
    ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{"Save file fail !!!"});
    EXPECT_EQ(Contents(locked), before);
  }

  // A new file holds the GPRS password: only its owner may read it.
  const mode_t old = ::umask(022);
  Export(PathOf("new.ini"));
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat(PathOf("new.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
