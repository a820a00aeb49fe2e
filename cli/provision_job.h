// What `set`, `restore` and `watch set` do on one tracker: connect, pick the
// tracker's row of the profile table by its IMEI, check the record, save the
// tracker's current settings as a backup, write and verify, and append the
// tracker's line to the audit log.
//
// Nothing is deleted on a tracker before its backup is on the disk: when the
// read or the backup fails, nothing is written (exit 1) unless the plan has
// no backup (--no-backup).
//
// Thread contract: a ProvisionPlan is filled before tracker threads start
// and only read by them; ProvisionTracker runs on the tracker's own thread.
#pragma once

#include <string>

#include "audit_log.h"
#include "backup_file.h"
#include "commands.h"
#include "job_runner.h"
#include "unit_profiles.h"

struct ProvisionPlan {
  std::string command = "set";  // "set" or "restore"
  // set: the base settings file, read once before any tracker is touched
  // (it outlives the jobs), and --strict.
  const SettingsFileInput* settingsFile = nullptr;
  bool strict = false;
  std::string settingsSha256;
  std::string settingsAuditPath;  // the file's path from the root

  // set --profiles: the table (checked against the base file) and its file.
  const UnitProfiles* profiles = nullptr;
  std::string profilesPath, profilesSha256;
  std::string profilesAuditPath;
  bool onlyListed = false;  // a tracker without a row is skipped
  bool backup = true;
  std::string backupFolder;
  // restore --from: the backup, read and checked before any tracker is
  // touched (it outlives the jobs); null for the tracker's newest backup.
  const SettingsFileInput* restoreFrom = nullptr;
  BackupContents restoreFromContents;
  // The options a command that finishes an interrupted job repeats
  // (--backup-dir, --no-backup, --log, --no-log, --clock-speed), each word
  // ready for a shell.
  std::string resumeOptions;
  const AuditLog* log = nullptr;  // null: no audit line
  bool printSteps = true;         // each step of the write on its own line
};

struct ProvisionOutcome {
  std::string imei;
  bool written = false;        // verified on the tracker
  bool skipped = false;        // --only-listed and no row
  std::size_t profileRow = 0;  // the row of the profile table it got (0: none)
};

// The command that finishes an interrupted set or restore on `port`: the
// same settings (set) or the same backup `source` (restore).
std::string ResumeCommand(const ProvisionPlan& plan, const std::string& port, const std::string& source);

// A word as a POSIX shell reads it back: as it is when it holds only safe
// characters, else in single quotes.
std::string ShellWord(const std::string& word);

JobResult ProvisionTracker(JobContext& context, const ProvisionPlan& plan, ProvisionOutcome& outcome);

// Appends the tracker's audit line with `result`'s verdict and status; a line
// that is not written makes the status at least 1 (the record is missing).
void AppendAuditLine(JobContext& context, const AuditLog* log, AuditRecord& audit, JobResult& result, double seconds);
