// What a kvctl backup holds and how a restore judges it: the message texts
// recorded exactly beside the settings, every cut or edit refused, a backup
// of a half-deleted tracker told apart; the restore in progress noted beside
// the backups; paths that name one file however they are spelled; the
// command that finishes an interrupted job.
#include <gtest/gtest.h>
#include <unistd.h>

#include "backup_file.h"
#include "backup_store.h"
#include "input_file.h"
#include "provision_job.h"
#include "settings/settings_file.h"
#include "settings/settings_message.h"
#include "temp_folder.h"

namespace {

using namespace settings;
using test_support::TempFolder;
using test_support::WriteTestFile;

const char kImei[] = "356938035643809";

// Texts as a tracker may hold them: empty list fields, blanks at the ends of
// a text field, a backslash, a quote.
MessageTexts TrackerTexts() {
  return {std::string("1,,30,,,,,,Unit7,+8.00,8,,,,,,,,,,"), std::string("5550101,,,,,,,"),
          std::string(" port ,a\\pn,\"user\",,,,"), std::string("192.0.2.10,")};
}

// The record a read of these texts gives, as the session's read builds it.
DeviceSettings RecordOf(const MessageTexts& texts, SettingsLayout layout) {
  DeviceSettings record = DeviceSettings::DialogStart();
  for (unsigned n = 1; n <= MESSAGE_COUNT; ++n)
    if (texts[n - 1]) ApplyMessage(record, layout, texts[n - 1]->data(), n, texts[n - 1]->size());
  return record;
}

std::string Backup(const MessageTexts& texts, SettingsLayout layout = SettingsLayout::Extended) {
  return BackupFileText(RecordOf(texts, layout), layout, kImei, texts);
}

TEST(KvctlBackupFile, TextsComeBackExactlyAndTheSettingsImportAsBefore) {
  for (const SettingsLayout layout : {SettingsLayout::Extended, SettingsLayout::Basic}) {
    const MessageTexts texts = TrackerTexts();
    const std::string bytes = Backup(texts, layout);
    const BackupContents contents = ReadBackupContents(bytes);
    ASSERT_EQ(contents.kind, BackupContents::Kind::Exact) << contents.problem << "\n" << bytes;
    EXPECT_EQ(contents.imei, kImei);
    EXPECT_EQ(contents.layout, layout);
    for (unsigned n = 1; n <= MESSAGE_COUNT; ++n) EXPECT_EQ(contents.texts[n - 1], *texts[n - 1]) << n;
    // A settings-file reader sees the same settings as in a plain export.
    DeviceSettings imported = DeviceSettings::DialogStart(), exported = DeviceSettings::DialogStart();
    EXPECT_TRUE(ApplySettingsFileText(bytes, layout, imported).empty());
    ApplySettingsFileText(SettingsFileText(RecordOf(texts, layout), layout), layout, exported);
    EXPECT_EQ(imported, exported);
  }
}

TEST(KvctlBackupFile, EveryCutOfABackupIsRefused) {
  const std::string bytes = Backup(TrackerTexts());
  // Cut anywhere short of the last line's end: never written back.
  for (std::size_t size = 0; size + 2 < bytes.size(); ++size) {
    const BackupContents contents = ReadBackupContents(bytes.substr(0, size));
    EXPECT_NE(contents.kind, BackupContents::Kind::Exact) << "cut at " << size;
    EXPECT_NE(contents.kind, BackupContents::Kind::Incomplete) << "cut at " << size;
  }
  // Cut inside the section: refused, naming what it lacks.
  const BackupContents cut = ReadBackupContents(bytes.substr(0, bytes.find("Message 3=")));
  EXPECT_EQ(cut.kind, BackupContents::Kind::Refused);
  EXPECT_NE(cut.problem.find("lacks the text of message 3"), std::string::npos) << cut.problem;
  // Cut before it: a settings file without texts, which a plain restore
  // never takes and restore --from loads only when no setting is missing.
  EXPECT_EQ(ReadBackupContents(bytes.substr(0, 300)).kind, BackupContents::Kind::WithoutTexts);
}

TEST(KvctlBackupFile, EditsOfSettingsOrTextsAreRefusedNamingTheSetting) {
  const std::string bytes = Backup(TrackerTexts());
  struct Edit {
    std::string from, to, problem;
  };
  const Edit edits[] = {
      {"User name=Unit7", "User name=Unit8",
       "\"User Name\" (User name in [MESSAGE 1]) is \"Unit8\" in the settings but \"Unit7\" in the text of message 1"},
      {"5550101,,,,,,,\"", "5550102,,,,,,,\"", "\"SOS Number1\" (SOS number1 in [MESSAGE 2])"},
      {"Layout=extended", "Layout=wide", "Layout=basic or Layout=extended"},
      {"a\\\\pn", "a\\qpn", "backslash that is no escape"},
      {"Unit7,+8.00", "Unit\\x07", "control byte (0x07) at character 16"},
      {"Missing messages=", "Missing messages=5", "not a list of message numbers"},
      {"Missing messages=", "Missing messages=4", "listed as missing and has a text"},
  };
  for (const Edit& edit : edits) {
    std::string edited = bytes;
    ASSERT_NE(edited.find(edit.from), std::string::npos) << edit.from;
    edited.replace(edited.find(edit.from), edit.from.size(), edit.to);
    const BackupContents contents = ReadBackupContents(edited);
    EXPECT_EQ(contents.kind, BackupContents::Kind::Refused) << edit.to;
    EXPECT_NE(contents.problem.find(edit.problem), std::string::npos) << contents.problem;
  }
  // A text too long for the tracker's message buffer.
  MessageTexts texts = TrackerTexts();
  texts[3] = std::string(127, 'a') + ",";
  const BackupContents tooLong = ReadBackupContents(Backup(texts));
  EXPECT_EQ(tooLong.kind, BackupContents::Kind::Refused);
  EXPECT_NE(tooLong.problem.find("at most 126"), std::string::npos) << tooLong.problem;
}

// A backup whose IMEI was taken out or mangled could be written to any
// tracker with restore --from: refused, naming the key.
TEST(KvctlBackupFile, ABackupWithoutItsTrackersImeiIsRefused) {
  const std::string bytes = Backup(TrackerTexts());
  const std::string line = std::string("IMEI=") + kImei + "\r\n";
  ASSERT_NE(bytes.find(line), std::string::npos);
  for (const std::string& to : {std::string(), std::string("IMEI=\r\n"), std::string("IMEI=35693803564380x\r\n")}) {
    std::string edited = bytes;
    edited.replace(edited.find(line), line.size(), to);
    const BackupContents contents = ReadBackupContents(edited);
    EXPECT_EQ(contents.kind, BackupContents::Kind::Refused) << to;
    EXPECT_NE(contents.problem.find("IMEI"), std::string::npos) << contents.problem;
  }
}

TEST(KvctlBackupFile, HalfDeletedTrackersAndOldBackupsAreToldApart) {
  MessageTexts texts = TrackerTexts();
  texts[0].reset();
  texts[1].reset();
  const std::string bytes = Backup(texts);
  EXPECT_NE(bytes.find("Missing messages=1, 2\r\n"), std::string::npos) << bytes;
  const BackupContents half = ReadBackupContents(bytes);
  EXPECT_EQ(half.kind, BackupContents::Kind::Incomplete);
  EXPECT_EQ(half.problem, "messages 1, 2 missing on the tracker when it was taken (as an interrupted write leaves it)");

  const DeviceSettings record = RecordOf(TrackerTexts(), SettingsLayout::Extended);
  const BackupContents old = ReadBackupContents(SettingsFileText(record, SettingsLayout::Extended));
  EXPECT_EQ(old.kind, BackupContents::Kind::WithoutTexts);
}

TEST(KvctlBackupFile, ARestoreInProgressIsNotedUntilCleared) {
  TempFolder temp;
  EXPECT_FALSE(RestoreInProgress(temp.path(), kImei).has_value());
  std::string error;
  ASSERT_TRUE(NoteRestoreInProgress(temp.path(), kImei, "/b/one.ini", error)) << error;
  ASSERT_TRUE(NoteRestoreInProgress(temp.path(), kImei, "/b/two.ini", error)) << error;
  EXPECT_EQ(RestoreInProgress(temp.path(), kImei), "/b/two.ini");
  EXPECT_FALSE(RestoreInProgress(temp.path(), "490154203237518").has_value());
  ClearRestoreInProgress(temp.path(), kImei);
  EXPECT_FALSE(RestoreInProgress(temp.path(), kImei).has_value());

  // The note is no backup, and backups list newest first per IMEI.
  WriteTestFile(temp.File(std::string(kImei) + "-20261207-120000.ini"), "a");
  WriteTestFile(temp.File(std::string(kImei) + "-20261207-120000-2.ini"), "b");
  WriteTestFile(temp.File("490154203237518-20261208-000000.ini"), "c");
  NoteRestoreInProgress(temp.path(), kImei, "/b/two.ini", error);
  std::vector<BackupName> all;
  ASSERT_TRUE(ListBackups(temp.path(), "", all, error)) << error;
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].path, temp.File(std::string(kImei) + "-20261207-120000-2.ini"));
  EXPECT_EQ(all[1].path, temp.File(std::string(kImei) + "-20261207-120000.ini"));
  EXPECT_EQ(all[2].imei, "490154203237518");
}

TEST(KvctlOutputAliases, ThePathsOfOneFileAreOneFile) {
  TempFolder temp;
  WriteTestFile(temp.File("f.ini"), "x");
  ASSERT_EQ(::symlink(temp.File("f.ini").c_str(), temp.File("sym").c_str()), 0);
  ASSERT_EQ(::link(temp.File("f.ini").c_str(), temp.File("hard").c_str()), 0);
  EXPECT_TRUE(SameFile(temp.File("sym"), temp.File("f.ini")));
  EXPECT_TRUE(SameFile(temp.File("hard"), temp.File("f.ini")));
  EXPECT_TRUE(SameFile(temp.path() + "/./f.ini", temp.File("f.ini")));
  // Not there yet: the same file once resolved, through a linked folder too.
  ASSERT_EQ(::symlink(temp.path().c_str(), temp.File("here").c_str()), 0);
  EXPECT_TRUE(SameFile(temp.File("here/new.log"), temp.path() + "/./new.log"));
  EXPECT_FALSE(SameFile(temp.File("new.log"), temp.File("new.trace")));
  EXPECT_FALSE(SameFile(temp.File("new.log"), temp.File("f.ini")));
}

TEST(KvctlResumeCommand, NamesTheSameJobOnTheSamePortReadyForAShell) {
  SettingsFileInput file{"my fleet.ini", ""};
  ProvisionPlan plan;
  plan.settingsFile = &file;
  plan.strict = true;
  plan.resumeOptions = " --backup-dir /b --no-log";
  EXPECT_EQ(ResumeCommand(plan, "/dev/pts/3", ""),
            "kvctl set /dev/pts/3 --strict --backup-dir /b --no-log 'my fleet.ini'");
  plan.command = "restore";
  EXPECT_EQ(ResumeCommand(plan, "ttyUSB0", "/b/it's.ini"),
            "kvctl restore ttyUSB0 --from '/b/it'\\''s.ini' --backup-dir /b --no-log");
}

}  // namespace
