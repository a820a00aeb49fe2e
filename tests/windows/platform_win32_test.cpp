// The Windows platform layer: port names, waits on the sped-up clock, the
// handle count tests rely on, the refusal of anything but a serial device,
// file replacement and settings-file reading through the Win32 API, and
// kvctl's folders.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/port_enum.h"
#include "platform/profile_file.h"
#include "platform/serial_io.h"
#include "platform/sync.h"
#include "temp_folder.h"
#include "input_file.h"
#include "user_folders.h"

namespace {

using test_support::ReadTestFile;
using test_support::TempFolder;
using test_support::WriteTestFile;

struct ClockSpeedGuard {
  explicit ClockSpeedGuard(double f) { platform::SetClockSpeed(f); }
  ~ClockSpeedGuard() { platform::SetClockSpeed(1.0); }
};

TEST(WindowsPorts, NamesOpenThroughTheDeviceNamespaceAndPathsAsGiven) {
  EXPECT_EQ(platform::PortDevicePath("COM5"), "\\\\.\\COM5");
  EXPECT_EQ(platform::PortDevicePath("COM12"), "\\\\.\\COM12");
  EXPECT_EQ(platform::PortDevicePath("\\\\.\\COM3"), "\\\\.\\COM3");
  EXPECT_EQ(platform::PortDevicePath("Z:\\dev\\pts\\4"), "Z:\\dev\\pts\\4");
  // A name as the port list shows it, with its colon, is the same port; only
  // COM1 to COM9 open through their old DOS names, so COM12: must not.
  EXPECT_EQ(platform::PortDevicePath("COM12:"), "\\\\.\\COM12");
  EXPECT_EQ(platform::PortDevicePath("COM7:"), "\\\\.\\COM7");
  EXPECT_EQ(platform::PortDevicePath("Z:"), "Z:");
  // The friendly names the list shows give back the port to open.
  EXPECT_EQ(platform::PortNameFromFriendlyName(platform::TrackerFriendlyName("COM5")), "COM5");
}

TEST(WindowsPorts, OnlyASerialDeviceOpensAsAPort) {
  TempFolder folder;
  const std::string file = folder.File("not-a-port");
  WriteTestFile(file, "x");
  const long before = platform::LiveHandleCount();
  for (const std::string& path : {file, std::string("NUL"), folder.File("missing")}) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << path;
  }
  EXPECT_EQ(platform::LiveHandleCount(), before) << "a refused open must not leave a handle behind";
}

TEST(WindowsSync, WaitsRunOnTheSpedUpClock) {
  ClockSpeedGuard fast(1000);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  // 60 clock seconds: without the clock's speed the test would hit its
  // time-out; with it, the wait still lasts its full clock time.
  const auto start = platform::ClockMs();
  EXPECT_EQ(WaitForSingleObject(event, 60000), static_cast<DWORD>(WAIT_TIMEOUT));
  const HANDLE both[2] = {event, event};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 60000), static_cast<DWORD>(WAIT_TIMEOUT));
  Sleep(60000);
  EXPECT_GE(platform::ClockMs() - start, 180000u);
  CloseHandle(event);
}

DWORD ReturnSeven(void*) { return 7; }

TEST(WindowsSync, HandleCountFollowsCreateRetainAndClose) {
  const long before = platform::LiveHandleCount();
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  HANDLE copy = platform::RetainHandle(thread);
  EXPECT_EQ(platform::LiveHandleCount(), before + 3);
  CloseHandle(thread);
  // The retained copy still names the thread.
  EXPECT_EQ(WaitForSingleObject(copy, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(copy, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(copy);
  CloseHandle(event);
  EXPECT_EQ(platform::LiveHandleCount(), before);
}

TEST(WindowsFileReplace, ReplacesKeepsOrRefusesAndLeavesNoTemporaryFile) {
  TempFolder folder;
  const std::string path = folder.File("settings.ini");
  // A new file, then a replacement with fewer bytes.
  ASSERT_TRUE(platform::ReplaceFileContents(path, "first version, long\r\n"));
  ASSERT_TRUE(platform::ReplaceFileContents(path, "second\n"));
  EXPECT_EQ(ReadTestFile(path), "second\n") << "bytes are written as given, no CR added";
  EXPECT_EQ(folder.Listing(), "settings.ini\n");

  int error = 0;
  EXPECT_FALSE(platform::ReplaceFileContents(folder.path(), "x", error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_FALSE(platform::ReplaceFileContents(folder.File("missing/settings.ini"), "x", error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(platform::ReplaceFileContents(folder.path() + "/", "x", error));
  EXPECT_EQ(error, EINVAL);

  // A read-only file is refused and kept as it was.
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(platform::ReplaceFileContents(path, "third\n", error));
  EXPECT_EQ(error, EACCES);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadTestFile(path), "second\n");
  EXPECT_EQ(folder.Listing(), "settings.ini\n");
}

TEST(WindowsFileReplace, AFileWithAnotherHardLinkIsWrittenInPlace) {
  TempFolder folder;
  const std::string path = folder.File("a.ini"), other = folder.File("b.ini");
  WriteTestFile(path, "old bytes\n");
  if (!CreateHardLinkA(other.c_str(), path.c_str(), nullptr)) GTEST_SKIP() << "no hard links here";
  ASSERT_TRUE(platform::ReplaceFileContents(path, "new\n"));
  EXPECT_EQ(ReadTestFile(path), "new\n");
  EXPECT_EQ(ReadTestFile(other), "new\n") << "the other name must still name the same file";
}

TEST(WindowsSettingsFile, ReadRefusesFoldersMissingFilesDevicesAndOversizedFiles) {
  TempFolder folder;
  std::string bytes = "left over";
  EXPECT_EQ(platform::ReadProfileFile(folder.path(), bytes, 1024), platform::FileReadError::IsDirectory);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(platform::ReadProfileFile(folder.File("none.ini"), bytes, 1024), platform::FileReadError::NotFound);
  EXPECT_EQ(platform::ReadProfileFile("NUL", bytes, 1024), platform::FileReadError::NotRegular);
  WriteTestFile(folder.File("big.ini"), std::string(2048, 'x'));
  EXPECT_EQ(platform::ReadProfileFile(folder.File("big.ini"), bytes, 1024), platform::FileReadError::TooLarge);
  WriteTestFile(folder.File("ok.ini"), "[A]\r\nB=1\r\n");
  EXPECT_EQ(platform::ReadProfileFile(folder.File("ok.ini"), bytes, 1024), platform::FileReadError::None);
  EXPECT_EQ(bytes, "[A]\r\nB=1\r\n");
}

TEST(WindowsUserFolders, MakesNestedFoldersWithEitherSeparator) {
  TempFolder folder;
  std::string error;
  const std::string nested = folder.path() + "\\kv770/backups\\x";
  ASSERT_TRUE(MakeFolders(nested, error)) << error;
  EXPECT_TRUE(MakeFolders(nested, error)) << "an existing folder is fine: " << error;
  WriteTestFile(folder.File("file"), "x");
  EXPECT_FALSE(MakeFolders(folder.File("file") + "/sub", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace

namespace {

TEST(WindowsInputFile, SameFileTellsFilesApartAndFindsHardLinks) {
  test_support::TempFolder folder;
  const std::string a = folder.File("a.ini"), b = folder.File("b.ini"), link = folder.File("a-link.ini");
  test_support::WriteTestFile(a, "a");
  test_support::WriteTestFile(b, "b");
  // The C runtime's stat has no inode numbers here: two files are not one.
  EXPECT_FALSE(SameFile(a, b));
  EXPECT_TRUE(SameFile(a, folder.path() + "\\a.ini"));
  if (CreateHardLinkA(link.c_str(), a.c_str(), nullptr)) {
    EXPECT_TRUE(SameFile(a, link));
  }
  EXPECT_FALSE(SameFile(a, folder.File("missing.ini")));
}

}  // namespace
