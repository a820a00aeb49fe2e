// The backup store and the audit log of kvctl: backup names, the newest
// backup of a tracker, backups that never replace one another, and audit
// lines that stay whole and valid when several writers share a log.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "audit_log.h"
#include "backup_store.h"
#include "temp_folder.h"

namespace {

using test_support::ReadTestFile;
using test_support::TempFolder;
using test_support::WriteTestFile;

constexpr std::time_t kNoon = 1796644800;  // 2026-12-07 12:00:00 UTC

std::string Name(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

TEST(KvctlBackups, NamedByImeiAndUtcTimeAndNeverReplaced) {
  TempFolder temp;
  const std::string folder = temp.File("data/kv770/backups");
  std::string path, error;
  ASSERT_TRUE(SaveBackup(folder, "356938035643809", "first", kNoon, path, error)) << error;
  EXPECT_EQ(path, folder + "/356938035643809-20261207-120000.ini");
  EXPECT_EQ(ReadTestFile(path), "first");
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "backups hold the GPRS password";
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The same second again: a new number, the first file untouched.
  ASSERT_TRUE(SaveBackup(folder, "356938035643809", "second", kNoon, path, error)) << error;
  EXPECT_EQ(Name(path), "356938035643809-20261207-120000-2.ini");
  ASSERT_TRUE(SaveBackup(folder, "356938035643809", "third", kNoon, path, error)) << error;
  EXPECT_EQ(Name(path), "356938035643809-20261207-120000-3.ini");
  EXPECT_EQ(ReadTestFile(folder + "/356938035643809-20261207-120000.ini"), "first");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
  EXPECT_EQ(files, 3u) << "no temporary file is left";
}

TEST(KvctlBackups, NewestIsFoundByTimeThenNumberForThatImeiOnly) {
  TempFolder temp;
  const std::string& folder = temp.path();
  std::string found, error;
  EXPECT_FALSE(FindNewestBackup(folder, "356938035643809", found, error));
  EXPECT_EQ(error, "no backup of 356938035643809 in " + folder);
  // Numbers sort as numbers (10 after 9), and a later second beats any number.
  for (const char* name : {"356938035643809-20261207-115959.ini", "356938035643809-20261207-120000-9.ini",
                           "356938035643809-20261207-120000-10.ini", "356938035643809-20261207-120000.ini"})
    WriteTestFile(temp.File(name), name);
  ASSERT_TRUE(FindNewestBackup(folder, "356938035643809", found, error)) << error;
  EXPECT_EQ(Name(found), "356938035643809-20261207-120000-10.ini");
  // Another tracker whose IMEI begins the same, and files that only look alike.
  for (const char* name : {"3569380356438090-20271207-120000.ini", "35693803564380-20271207-120000.ini",
                           "356938035643809-20271207-1200.ini", "356938035643809-20271207-120000.ini~",
                           ".356938035643809-20271207-120000.ini.tmp", "356938035643809-20271207-120000-1.ini"})
    WriteTestFile(temp.File(name), name);
  ASSERT_TRUE(FindNewestBackup(folder, "356938035643809", found, error)) << error;
  EXPECT_EQ(Name(found), "356938035643809-20261207-120000-10.ini");

  ASSERT_TRUE(SaveBackup(folder, "356938035643809", "later", kNoon + 1, found, error)) << error;
  std::string newest;
  ASSERT_TRUE(FindNewestBackup(folder, "356938035643809", newest, error)) << error;
  EXPECT_EQ(newest, found);
}

TEST(KvctlBackups, RefusedWithoutAnImeiOrAFolder) {
  TempFolder temp;
  std::string path, error;
  EXPECT_FALSE(SaveBackup(temp.path(), "", "x", kNoon, path, error));
  EXPECT_EQ(error, "the tracker's IMEI is unknown, so the backup cannot be named");
  EXPECT_FALSE(SaveBackup(temp.path(), "35693/../x", "x", kNoon, path, error)) << "an IMEI never makes a path";
  WriteTestFile(temp.File("file"), "");
  EXPECT_FALSE(SaveBackup(temp.File("file/backups"), "1", "x", kNoon, path, error));
  EXPECT_NE(error.find("cannot create the folder"), std::string::npos) << error;
  EXPECT_FALSE(FindNewestBackup(temp.File("missing"), "1", path, error));
  EXPECT_NE(error.find("the folder does not exist"), std::string::npos) << error;
}

AuditRecord SampleRecord() {
  AuditRecord r;
  r.time = std::chrono::system_clock::from_time_t(kNoon) + std::chrono::milliseconds(42);
  r.command = "set";
  r.port = "/dev/pts/7";
  r.imei = "356938035643809";
  r.firmwareVersion = "F-0KV770-V2.1";
  r.settingsFile = "/home/u/Fahrzeug \xC3\xBC\"1\".ini";
  r.settingsFileSha256 = std::string(64, 'a');
  r.profiles = "units.csv";
  r.profilesSha256 = std::string(64, 'b');
  r.profileRow = 3;
  r.backup = "/b/356938035643809-20261207-120000.ini";
  r.verdict = "Setting Message OK ";
  r.exitStatus = 0;
  r.seconds = 12.3456;
  return r;
}

TEST(KvctlAuditLog, OneJsonObjectPerLine) {
  AuditRecord r = SampleRecord();
  EXPECT_EQ(FormatAuditLine(r),
            "{\"time\":\"2026-12-07T12:00:00.042Z\",\"command\":\"set\",\"port\":\"/dev/pts/7\","
            "\"imei\":\"356938035643809\",\"firmwareVersion\":\"F-0KV770-V2.1\","
            "\"settingsFile\":\"/home/u/Fahrzeug \xC3\xBC\\\"1\\\".ini\",\"settingsFileSha256\":\"" +
                std::string(64, 'a') + "\",\"profiles\":\"units.csv\",\"profilesSha256\":\"" + std::string(64, 'b') +
                "\",\"profileRow\":3,\"backup\":\"/b/356938035643809-20261207-120000.ini\","
                "\"verdict\":\"Setting Message OK \",\"exitStatus\":0,\"seconds\":12.346}\n");

  // An update names its image; what is unknown is null; a tracker's text
  // (code page 1252) with control bytes stays one valid line of UTF-8.
  AuditRecord u;
  u.time = std::chrono::system_clock::from_time_t(kNoon);
  u.command = "update";
  u.port = "ttyUSB0";
  u.firmwareVersion = "V\x1b[2J\xFF\xC3";
  u.image = "kv770.bin";
  u.imageSha256 = std::string(64, 'c');
  u.verdict = "failed";
  u.exitStatus = 1;
  EXPECT_EQ(FormatAuditLine(u),
            "{\"time\":\"2026-12-07T12:00:00.000Z\",\"command\":\"update\",\"port\":\"ttyUSB0\",\"imei\":null,"
            "\"firmwareVersion\":\"V\\u001b[2J\xC3\xBF\xC3\x83\",\"image\":\"kv770.bin\",\"imageSha256\":\"" +
                std::string(64, 'c') +
                "\",\"imageVersion\":null,\"verdict\":\"failed\",\"exitStatus\":1,\"seconds\":0.000}\n");
  // The version the image names, beside the one read after the update.
  u.imageVersion = "F-0KV770E-V1.5(20100301)";
  EXPECT_NE(FormatAuditLine(u).find(",\"imageVersion\":\"F-0KV770E-V1.5(20100301)\",\"verdict\""), std::string::npos);
}

TEST(KvctlAuditLog, WritersSharingALogNeverCutALine) {
  TempFolder temp;
  const std::string path = temp.File("state/kv770/audit.jsonl");
  WriteTestFile(temp.File("state"), "");  // a file where the folder should be
  AuditLog refused;
  std::string error;
  EXPECT_FALSE(refused.Open(path, error));
  ::unlink(temp.File("state").c_str());

  // Separate descriptors, as separate kvctl processes have; long lines, so
  // that a line written in pieces would be cut by the other writers' lines.
  constexpr int WRITERS = 4, LINES = 200;
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int w = 0; w < WRITERS; ++w) {
    writers.emplace_back([&, w] {
      AuditLog log;
      std::string e;
      if (!log.Open(path, e)) {
        ++failures;
        return;
      }
      AuditRecord r = SampleRecord();
      r.verdict = std::string(3000, static_cast<char>('A' + w));
      for (int i = 0; i < LINES; ++i)
        if (!log.Append(r, e)) ++failures;
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(failures.load(), 0);
  const std::string text = ReadTestFile(path);
  const std::string expected[WRITERS] = {
      FormatAuditLine([] {
        auto r = SampleRecord();
        r.verdict = std::string(3000, 'A');
        return r;
      }()),
      FormatAuditLine([] {
        auto r = SampleRecord();
        r.verdict = std::string(3000, 'B');
        return r;
      }()),
      FormatAuditLine([] {
        auto r = SampleRecord();
        r.verdict = std::string(3000, 'C');
        return r;
      }()),
      FormatAuditLine([] {
        auto r = SampleRecord();
        r.verdict = std::string(3000, 'D');
        return r;
      }()),
  };
  int counts[WRITERS] = {};
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(at, end + 1 - at);
    bool known = false;
    for (int w = 0; w < WRITERS; ++w)
      if (line == expected[w]) ++counts[w], known = true;
    ASSERT_TRUE(known) << "a cut or mixed line at byte " << at;
    at = end + 1;
  }
  for (int w = 0; w < WRITERS; ++w) EXPECT_EQ(counts[w], LINES);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(KvctlAuditLog, OnlyARegularFileIsALog) {
  TempFolder temp;
  AuditLog log;
  std::string error;
  EXPECT_FALSE(log.Open(temp.path(), error));
  ASSERT_EQ(::mkfifo(temp.File("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(log.Open(temp.File("fifo"), error)) << "a FIFO without a reader is refused, not waited on";
  EXPECT_FALSE(log.Open("/dev/null", error));
  EXPECT_EQ(error, "the audit log /dev/null is not a regular file");
  EXPECT_FALSE(log.IsOpen());
}

}  // namespace
