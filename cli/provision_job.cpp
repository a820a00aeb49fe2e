#include "provision_job.h"

#include <array>
#include <chrono>
#include <ctime>
#include <optional>

#include "backup_store.h"
#include "input_file.h"
#include "interrupt.h"
#include "provision_setup.h"
#include "settings/settings_check.h"
#include "settings/settings_file.h"
#include "settings_input.h"
#include "settings_session.h"
#include "common/sha256.h"
#include "tracker_session.h"

using namespace settings;

namespace {

constexpr std::size_t MAX_BACKUP_FILE_BYTES = 1024 * 1024;

JobResult Failure(JobContext& context, ExitCode code, const std::string& verdict, const std::string& text,
                  const std::string& detail) {
  JobResult result;
  result.code = code;
  result.verdict = verdict;
  result.detail = detail;
  context.Fail(text, detail);
  return result;
}

// A record the settings check refused: the problems on stderr, one line
// for the summary table.
JobResult Refused(JobContext& context, const std::string& problems) {
  JobResult result;
  result.code = kExitRefused;
  result.verdict = "refused";
  result.detail = "nothing was deleted or written";
  context.Fail("Refused before anything was deleted or written on the tracker", problems);
  return result;
}

// The backup a restore writes to this tracker: restore --from's file, the
// one an interrupted restore was writing, or the newest whole backup of the
// IMEI (backups taken while messages were missing are passed over, said so).
// False with `result` filled.
bool ChooseBackup(JobContext& context, const ProvisionPlan& plan, SettingsLayout layout, const std::string& imei,
                  SettingsFileInput& backup, BackupContents& contents, JobResult& result) {
  const std::string choose = "kvctl restore --list shows the backups; kvctl restore " + ShellWord(context.Port()) +
                             " --from FILE writes the one you choose";
  auto refuse = [&](const std::string& verdict, const std::string& text, const std::string& detail) {
    result = Failure(context, kExitRefused, verdict, text, detail + "; nothing was deleted or written");
    return false;
  };
  if (plan.restoreFrom) {
    backup = *plan.restoreFrom;
    contents = plan.restoreFromContents;
    return true;
  }
  std::string error;
  auto read = [&](const std::string& path) {
    backup.path = path;
    if (!ReadInputFile(path, MAX_BACKUP_FILE_BYTES, backup.bytes, error)) return false;
    contents = ReadBackupContents(backup.bytes);
    return true;
  };
  if (const auto interrupted = RestoreInProgress(plan.backupFolder, imei)) {
    context.Say("resuming the interrupted restore of " + *interrupted);
    if (!read(*interrupted))
      return refuse("backup unreadable", "Cannot read the backup an interrupted restore was writing",
                    *interrupted + ": " + error + "; " + choose);
    if (contents.kind != BackupContents::Kind::Exact)
      return refuse("backup refused", "The backup an interrupted restore was writing is refused",
                    *interrupted + ": " + DescribeBackup(contents) + "; " + choose);
    return true;
  }
  std::vector<BackupName> backups;
  if (!ListBackups(plan.backupFolder, imei, backups, error)) return refuse("no backup", "Nothing to restore", error);
  for (const BackupName& name : backups) {
    if (!read(name.path))
      return refuse("backup unreadable", "Cannot read the backup", name.path + ": " + error + "; " + choose);
    switch (contents.kind) {
      case BackupContents::Kind::Exact: return true;
      case BackupContents::Kind::Incomplete:
        context.Say("passed over " + name.path + ": " + contents.problem);
        continue;
      case BackupContents::Kind::WithoutTexts:
        if (const auto missing = MissingSettings(backup.bytes, layout); !missing.empty())
          return refuse("backup refused", "The newest backup is refused",
                        name.path + ": it holds no message texts and lacks " + std::to_string(missing.size()) +
                            " settings (cut short or edited); " + choose);
        return refuse("old backup", "The newest backup holds no message texts",
                      name.path +
                          " was saved by an earlier kvctl, so kvctl cannot tell whether the tracker was "
                          "whole then; if it is the one, run kvctl restore " +
                          ShellWord(context.Port()) + " --from " + ShellWord(name.path) +
                          " (restored from its settings, not byte for byte)");
      case BackupContents::Kind::Refused:
        return refuse("backup refused", "The newest backup is refused",
                      name.path + ": " + contents.problem + "; " + choose);
    }
  }
  return refuse("no backup", "Nothing to restore",
                "no whole backup of " + imei + " in " + plan.backupFolder +
                    (backups.empty() ? "" : " (" + std::to_string(backups.size()) + " passed over)"));
}

// The settings this tracker is to get: the base file (set) or a backup
// (restore), with its row of the profile table. Fills the audit's file
// fields and, for a backup with message texts, the exact texts to write.
// False with `result` filled, or with `outcome.skipped`.
bool ChooseRecord(JobContext& context, const ProvisionPlan& plan, SettingsLayout layout, const std::string& imei,
                  DeviceSettings& record, std::optional<std::array<std::string, MESSAGE_COUNT>>& texts,
                  std::string& source, AuditRecord& audit, ProvisionOutcome& outcome, JobResult& result) {
  SettingsFileInput backup;
  const SettingsFileInput* file = plan.settingsFile;
  bool strict = plan.strict;
  if (plan.command == "restore") {
    if (!IsBackupImei(imei)) {
      result = Failure(context, kExitFailed, "no IMEI", "No IMEI answer: the tracker's backups cannot be found",
                       "nothing was written");
      return false;
    }
    BackupContents contents;
    if (!ChooseBackup(context, plan, layout, imei, backup, contents, result)) return false;
    source = backup.path;
    audit.settingsFile = AbsolutePath(backup.path);
    audit.settingsFileSha256 = Sha256Hex(backup.bytes);
    const std::string refused = "Refused before anything was deleted or written on the tracker";
    if (!contents.imei.empty() && contents.imei != imei) {
      result = Failure(context, kExitRefused, "other tracker", refused,
                       backup.path + " is a backup of IMEI " + contents.imei + ", not of " + imei);
      return false;
    }
    context.Say("restoring " + backup.path);
    if (contents.kind == BackupContents::Kind::Exact) {
      if (contents.layout != layout) {
        result = Failure(context, kExitRefused, "other layout", refused,
                         backup.path + " holds the messages of the " +
                             (contents.layout == SettingsLayout::Basic ? "basic" : "extended") +
                             " layout; the tracker's firmware now uses the other one (kvctl set PORT FILE loads "
                             "the backup's settings in the tracker's layout)");
        return false;
      }
      record = contents.record;
      texts = contents.texts;
      return true;
    }
    // restore --from with a backup of an earlier kvctl: its settings, every
    // one of them, as set --strict gives them.
    context.Fail(backup.path + " holds no message texts (saved by an earlier kvctl)",
                 "restored from its settings: a list the tracker held empty is written as a value");
    file = &backup;
    strict = true;
  }
  if (!file) return false;
  if (!plan.profiles) return LoadForTracker(*file, layout, strict, true, record, context, result);
  if (!IsBackupImei(imei)) {
    result = Failure(context, kExitFailed, "no IMEI", "No IMEI answer: the tracker's row cannot be chosen",
                     "nothing was written");
    return false;
  }
  const UnitProfile* row = plan.profiles->Find(imei);
  if (!row && plan.onlyListed) {
    outcome.skipped = true;
    result.verdict = "skipped";
    result.detail = "IMEI " + imei + " is not in " + plan.profilesPath + " (--only-listed)";
    context.Say("IMEI " + imei + " is not in the profile table: skipped, nothing written");
    return false;
  }
  // What the row gives is not lacking from the file.
  if (!LoadForTracker(*file, layout, plan.strict, true, record, context, result,
                      row ? plan.profiles->Supplied(*row) : std::vector<SettingId>{}))
    return false;
  if (!row) {
    context.Say("IMEI " + imei + " is not in the profile table: the base file alone");
    return true;
  }
  plan.profiles->Apply(*row, record);
  // A cell for a setting this tracker's layout does not hold cannot reach it.
  std::string unsent;
  for (const SettingId id : plan.profiles->Supplied(*row))
    if (!IsSent(Setting(id), layout)) unsent += (unsent.empty() ? "" : ", ") + std::string(Setting(id).fileKey);
  if (!unsent.empty())
    context.Fail("row " + std::to_string(row->row) + " of " + plan.profilesPath + " gives " + unsent +
                     ", which trackers of the " + (layout == SettingsLayout::Basic ? "basic" : "extended") +
                     " layout do not hold: not sent",
                 "");
  audit.profileRow = row->row;
  outcome.profileRow = row->row;
  context.Say("IMEI " + imei + ": row " + std::to_string(row->row) + " of " + plan.profilesPath);
  return true;
}

// Reads the tracker's settings and saves them as its newest backup.
// `untouched` is what an interrupt of the read says, with the command that
// finishes the job.
bool TakeBackup(JobContext& context, const ProvisionPlan& plan, SettingsSession& session, const std::string& imei,
                SettingsLayout layout, AuditRecord& audit, JobResult& result, const std::string& untouched) {
  const std::string nothing = "nothing was written (--no-backup writes without a backup)";
  if (!IsBackupImei(imei)) {
    result = Failure(context, kExitFailed, "no backup", "No IMEI answer: the backup cannot be named", nothing);
    return false;
  }
  DeviceSettings current;
  if (!session.Read(current, result, untouched)) {
    if (interrupt::Requested()) return false;  // the read said so already
    context.Fail("The current settings could not be read for the backup", nothing);
    result.detail += "; " + nothing;
    return false;
  }
  std::string path, error;
  const std::string bytes = BackupFileText(current, layout, imei, session.ReadTexts());
  if (!SaveBackup(plan.backupFolder, imei, bytes, std::time(nullptr), path, error)) {
    result = Failure(context, kExitFailed, "no backup", "The backup could not be saved", error + "; " + nothing);
    return false;
  }
  audit.backup = AbsolutePath(path);  // the log outlives the working folder
  const BackupContents saved = ReadBackupContents(bytes);
  context.Say(
      "backup: " + path +
      (saved.kind == BackupContents::Kind::Incomplete ? " (" + saved.problem + "; restore passes over it)" : ""));
  return true;
}

JobResult Provision(JobContext& context, const ProvisionPlan& plan, AuditRecord& audit, ProvisionOutcome& outcome) {
  JobResult result;
  SettingsSession session(context, plan.printSteps);
  if (!session.Open(result)) return result;
  outcome.imei = session.Imei();
  audit.imei = session.Imei();
  if (session.Version().answered) audit.firmwareVersion = session.Version().text;
  const SettingsLayout layout = session.Version().layout;

  DeviceSettings record;
  std::optional<std::array<std::string, MESSAGE_COUNT>> texts;
  std::string source;
  if (!ChooseRecord(context, plan, layout, outcome.imei, record, texts, source, audit, outcome, result)) return result;
  // Refused records are found before the backup's read, as before any delete.
  if (const auto problems = CheckForDevice(record, layout); !problems.empty())
    return Refused(context, DescribeProblems(problems));
  // A restore that stops anywhere from here on, for whatever reason, is
  // resumed by the next plain restore of the tracker: the backup it is about
  // to take never takes the place of the one it restores.
  if (plan.command == "restore") {
    std::string error;
    if (!NoteRestoreInProgress(plan.backupFolder, outcome.imei, AbsolutePath(source), error)) {
      result = Failure(context, kExitFailed, "no note", "The restore could not be noted in the backup folder",
                       error + "; nothing was deleted or written");
      return result;
    }
  }
  // What an interrupt left, and the command that finishes the job.
  const std::string finish = "; to finish the job, run: " + ResumeCommand(plan, context.Port(), AbsolutePath(source));
  const std::string untouched = "nothing was deleted or written on the tracker" + finish;
  if (SayIfInterrupted(context, result, untouched)) return result;
  if (plan.backup && !TakeBackup(context, plan, session, outcome.imei, layout, audit, result, untouched)) {
    if (interrupt::Requested() && result.code != kExitInterrupted) SayIfInterrupted(context, result, untouched);
    return result;
  }
  if (SayIfInterrupted(context, result, untouched)) return result;

  std::string refused;
  const std::string verdict = session.Write(record, refused, texts ? &*texts : nullptr);
  if (!refused.empty()) return Refused(context, refused);
  if (verdict.empty() && interrupt::Requested()) {
    SayIfInterrupted(context, result, session.WriteState() + finish);
    return result;
  }
  result.verdict = verdict.empty() ? "write failed" : verdict;
  if (verdict != SETTING_MESSAGE_OK_TEXT) {
    // A write that failed midway (a pulled cable, ERROR answers, read-backs
    // that never matched) may have left messages deleted: say which, and
    // how to finish, as after an interrupt.
    const std::string state = session.WriteState(verdict == TRACKER_DISCONNECTED_TEXT);
    result.code = kExitFailed;
    result.detail =
        (verdict.empty() ? "settings: the write did not run" : "settings: last status " + verdict) + "; " + state;
    context.Fail(verdict.empty() ? "The write did not run" : verdict, state + finish);
    return result;
  }
  outcome.written = true;
  // The tracker is whole again: no restore is left to resume.
  ClearRestoreInProgress(plan.backupFolder, outcome.imei);
  if (!audit.backup.empty()) result.detail = "backup " + audit.backup;
  return result;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void AppendAuditLine(JobContext& context, const AuditLog* log, AuditRecord& audit, JobResult& result, double seconds) {
  if (!log) return;
  audit.time = std::chrono::system_clock::now();
  audit.verdict = result.verdict;
  audit.exitStatus = result.code;
  audit.seconds = seconds;
  std::string error;
  if (log->Append(audit, error)) return;
  context.Fail("The audit line was not written", error);
  result.code = static_cast<ExitCode>(WorseExit(result.code, kExitFailed));
  result.detail += (result.detail.empty() ? "" : "; ") + std::string("audit line not written");
}

JobResult ProvisionTracker(JobContext& context, const ProvisionPlan& plan, ProvisionOutcome& outcome) {
  const auto start = std::chrono::steady_clock::now();
  AuditRecord audit;
  audit.command = plan.command;
  audit.port = context.Port();
  if (plan.command != "restore") {
    audit.settingsFile = plan.settingsAuditPath;
    audit.settingsFileSha256 = plan.settingsSha256;
  }
  if (plan.profiles) {
    audit.profiles = plan.profilesAuditPath;
    audit.profilesSha256 = plan.profilesSha256;
  }
  JobResult result = Provision(context, plan, audit, outcome);
  AppendAuditLine(context, plan.log, audit, result, SecondsSince(start));
  return result;
}

std::string ShellWord(const std::string& word) {
  const bool safe = !word.empty() && word.find_first_not_of(
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                         "0123456789_./:=@%+,-") == std::string::npos;
  if (safe) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ResumeCommand(const ProvisionPlan& plan, const std::string& port, const std::string& source) {
  std::string command = "kvctl " + plan.command + " " + ShellWord(port);
  if (plan.command == "restore") return command + " --from " + ShellWord(source) + plan.resumeOptions;
  if (plan.strict) command += " --strict";
  if (plan.profiles) command += " --profiles " + ShellWord(plan.profilesPath);
  if (plan.onlyListed) command += " --only-listed";
  command += plan.resumeOptions;
  if (plan.settingsFile) command += " " + ShellWord(plan.settingsFile->path);
  return command;
}
