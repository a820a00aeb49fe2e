// Paths in any script on Windows: kvctl's files (backups, output files, the
// settings file, checksums, the firmware image) under folders named in Latin
// with accents, Greek and Chinese, checked through the wide API on their own;
// a path that is not UTF-8 is refused and creates nothing. And the route of
// console text: wide to a console, bytes to anything redirected.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "backup_store.h"
#include "common/sha256.h"
#include "console_text.h"
#include "file_sha256.h"
#include "firmware/firmware_image.h"
#include "input_file.h"
#include "output_file.h"
#include "platform/file_replace.h"
#include "platform/path_calls.h"
#include "platform/profile_file.h"
#include "platform/wide_text.h"
#include "temp_folder.h"
#include "user_folders.h"

namespace {

using test_support::TempFolder;

const char* const kNames[] = {"José", "Ελληνικά", "中文"};

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  EXPECT_TRUE(platform::Utf8ToWide(utf8, wide)) << utf8;
  return wide;
}

// The file's bytes read by its wide name, apart from the code under test.
bool ReadWide(const std::string& path, std::string& bytes) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD got = 0;
  bytes.clear();
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  ::CloseHandle(file);
  return true;
}

void WriteWide(const std::string& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  ::CloseHandle(file);
}

bool IsWideFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(UnicodePaths, BackupsOutputsAndInputsInFoldersOfAnyScript) {
  TempFolder temp;
  for (const std::string name : kNames) {
    SCOPED_TRACE(name);
    const std::string folder = temp.path() + "/" + name;
    std::string error;
    ASSERT_TRUE(MakeFolders(folder + "/kv770/backups", error)) << error;
    EXPECT_TRUE(IsWideFolder(folder + "/kv770/backups"));

    // A backup is saved, read back, found as the newest and listed.
    const std::string settings = "[KV DEVICE SETTING]\r\nUser name=" + name + "\r\n";
    std::string backup;
    ASSERT_TRUE(SaveBackup(folder + "/kv770/backups", "356000000000001", settings, std::time(nullptr), backup, error))
        << error;
    std::string onDisk;
    ASSERT_TRUE(ReadWide(backup, onDisk)) << backup;
    EXPECT_EQ(onDisk, settings);
    std::string newest;
    ASSERT_TRUE(FindNewestBackup(folder + "/kv770/backups", "356000000000001", newest, error)) << error;
    EXPECT_EQ(newest, backup);
    std::vector<BackupName> backups;
    ASSERT_TRUE(ListBackups(folder + "/kv770/backups", "", backups, error)) << error;
    ASSERT_EQ(backups.size(), 1u);

    // get -o: checked and written; the settings file read; its digest.
    const std::string output = folder + "/" + name + "-out.ini";
    std::string reason;
    ASSERT_TRUE(CheckOutputPath(output, reason)) << reason;
    ASSERT_TRUE(WriteOutputFile(output, settings, reason)) << reason;
    ASSERT_TRUE(ReadWide(output, onDisk));
    EXPECT_EQ(onDisk, settings);
    std::string input;
    ASSERT_TRUE(ReadInputFile(output, 1 << 20, input, reason)) << reason;
    EXPECT_EQ(input, settings);
    std::string hex;
    ASSERT_TRUE(Sha256OfFile(output, hex, error)) << error;
    EXPECT_EQ(hex, Sha256Hex(settings));
    EXPECT_TRUE(SameFile(output, folder + "/./" + name + "-out.ini"));

    // The firmware image by a name in the same script.
    const std::string image = folder + "/" + name + ".bin";
    WriteWide(image, std::string(1000, '\x5a'));
    FirmwareImage opened;
    FirmwareTransferReport report;
    ASSERT_TRUE(OpenFirmwareImage(image.c_str(), opened, &report)) << FirmwareFileProblem(report);
    ASSERT_TRUE(LoadFirmwareImage(opened, &report)) << FirmwareFileProblem(report);
    EXPECT_EQ(opened.bytes, std::string(1000, '\x5a'));
  }
}

TEST(UnicodePaths, NamesThatAreNotUtf8AreRefusedAndCreateNothing) {
  TempFolder temp;
  // "José" in code page 1252: the bytes main() gets from a narrow command line.
  const std::string ansi = temp.path() + "/Jos\xE9";
  std::string error, reason;
  EXPECT_FALSE(MakeFolders(ansi + "/backups", error));
  EXPECT_FALSE(platform::ReplaceFileContents(ansi + ".ini", "x"));
  std::string bytes;
  EXPECT_NE(platform::ReadProfileFile(ansi + ".ini", bytes, 100), platform::FileReadError::None);
  errno = 0;
  EXPECT_EQ(path_calls::Open((ansi + ".ini").c_str(), O_WRONLY | O_CREAT, 0600), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(path_calls::OpenStream((ansi + ".ini").c_str(), "wb"), nullptr);
  std::vector<std::string> names;
  ASSERT_TRUE(path_calls::FolderNames(temp.path().c_str(), names));
  EXPECT_TRUE(names.empty()) << names.front();  // neither "Jos?" nor "José" was made
}

TEST(UnicodePaths, TheUserFolderComesFromTheWideEnvironment) {
  TempFolder temp;
  const std::string local = temp.path() + "/Ελληνικά 中文 José/AppData/Local";
  std::string error;
  ASSERT_TRUE(MakeFolders(local, error)) << error;
  std::wstring wideLocal = Wide(local);
  for (wchar_t& c : wideLocal) c = c == L'/' ? L'\\' : c;
  wchar_t saved[32768] = {};
  const DWORD had = ::GetEnvironmentVariableW(L"LOCALAPPDATA", saved, 32768);
  ::_wputenv_s(L"LOCALAPPDATA", wideLocal.c_str());
  std::string got;
  EXPECT_TRUE(platform::WideToUtf8(wideLocal, got));
  EXPECT_EQ(UserDataFolder(), got);
  EXPECT_EQ(DefaultBackupFolder(), got + "/kv770/backups");
  ::_wputenv_s(L"LOCALAPPDATA", had > 0 ? saved : L"");
}

TEST(ConsoleText, RedirectedStreamsGetBytesAndAConsoleGetsWideText) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  EXPECT_EQ(console::RouteOf(writeEnd), console::TextRoute::Bytes);
  ::CloseHandle(readEnd);
  ::CloseHandle(writeEnd);
  TempFolder temp;
  HANDLE file =
      ::CreateFileW(Wide(temp.path() + "/out.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_EQ(console::RouteOf(file), console::TextRoute::Bytes);
  ::CloseHandle(file);
  // NUL is a character device that the runtime's isatty calls a terminal.
  HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(console::RouteOf(nul), console::TextRoute::Bytes);
  ::CloseHandle(nul);
  EXPECT_EQ(console::RouteOf(nullptr), console::TextRoute::Bytes);

  // A console screen buffer of this process (one is made when it has none).
  if (::GetConsoleWindow() == nullptr && !::AllocConsole()) {
    GTEST_SKIP() << "no console can be had here";
  }
  HANDLE screen = ::CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (screen == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no console screen buffer can be made here";
  ASSERT_EQ(console::RouteOf(screen), console::TextRoute::Console);
  ASSERT_TRUE(console::WriteToConsole(screen, "a\xE2\x80\xA6z"));  // "a…z"
  wchar_t shown[3] = {};
  DWORD read = 0;
  ASSERT_TRUE(::ReadConsoleOutputCharacterW(screen, shown, 3, COORD{0, 0}, &read));
  EXPECT_EQ(std::wstring(shown, read), std::wstring(L"a\x2026z"));  // one ellipsis, not three letters
  // A settings line in the tracker's code page 1252, as get prints it.
  ASSERT_TRUE(console::WriteToConsole(screen, "\r\nJos\xE9 \x80"));
  wchar_t line[6] = {};
  ASSERT_TRUE(::ReadConsoleOutputCharacterW(screen, line, 6, COORD{0, 1}, &read));
  EXPECT_EQ(std::wstring(line, read), std::wstring(L"Jos\x00E9 \x20AC"));
  ::CloseHandle(screen);
}

}  // namespace
