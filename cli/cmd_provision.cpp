// kvctl set and restore: writing settings to trackers with a backup of
// what they held first, a row of a profile table per IMEI, and an audit line
// per tracker.
#include <algorithm>
#include <mutex>
#include <set>

#include "backup_file.h"
#include "backup_store.h"
#include "commands.h"
#include "console.h"
#include "exit_codes.h"
#include "input_file.h"
#include "provision_job.h"

int CmdSet(const std::vector<std::string>& ports, const ProvisionPlan& plan) {
  std::mutex lock;
  std::set<std::string> matched;  // IMEIs that got their row
  const int code = RunOnPorts(ports, [&](JobContext& context) {
    ProvisionOutcome outcome;
    JobResult result = ProvisionTracker(context, plan, outcome);
    if (outcome.profileRow != 0) {
      std::lock_guard<std::mutex> hold(lock);
      matched.insert(outcome.imei);
    }
    return result;
  });
  // Rows no tracker took: a box short of a tracker, or an IMEI typed wrong.
  if (plan.profiles && plan.command == "set") {
    const std::string unmatched = DescribeUnmatchedRows(*plan.profiles, plan.profilesPath, matched);
    if (!unmatched.empty()) console::Out(unmatched);
  }
  return code;
}

int CmdRestore(const std::vector<std::string>& ports, const ProvisionPlan& plan) {
  return CmdSet(ports, plan);  // the plan's command makes it a restore
}

int CmdListBackups(const std::string& folder) {
  std::vector<BackupName> backups;
  std::string error;
  if (!ListBackups(folder, "", backups, error)) {
    console::Err("kvctl: " + error);
    return kExitFailed;
  }
  // A restore in progress of a tracker that has no backup here yet (an
  // interrupted restore --from) is what a plain restore of it resumes.
  for (const std::string& noted : ImeisWithRestoreInProgress(folder)) {
    const bool listed =
        std::any_of(backups.begin(), backups.end(), [&](const BackupName& backup) { return backup.imei == noted; });
    if (listed) continue;
    if (const auto interrupted = RestoreInProgress(folder, noted))
      console::Out(noted + ":\n  an interrupted restore is resumed from " + *interrupted);
  }
  if (backups.empty()) {
    if (ImeisWithRestoreInProgress(folder).empty()) console::Out("no backups in " + folder);
    return kExitOk;
  }
  std::string imei;
  bool chosen = false;  // the plain restore of this IMEI is decided
  for (const BackupName& backup : backups) {
    if (backup.imei != imei) {
      imei = backup.imei;
      console::Out(imei + ":");
      const auto interrupted = RestoreInProgress(folder, imei);
      if (interrupted) console::Out("  an interrupted restore is resumed from " + *interrupted);
      chosen = interrupted.has_value();
    }
    std::string bytes, reason, state;
    BackupContents contents;
    if (ReadInputFile(backup.path, SETTINGS_FILE_MAX_BYTES, bytes, reason)) {
      contents = ReadBackupContents(bytes);
      state = DescribeBackup(contents);
    } else {
      state = "unreadable: " + reason;
    }
    std::string mark;
    if (!chosen && !bytes.empty() && contents.kind != BackupContents::Kind::Incomplete) {
      chosen = true;
      mark = contents.kind == BackupContents::Kind::Exact ? "  <- restore writes this" : "  <- restore stops here";
    } else if (!chosen && bytes.empty()) {
      chosen = true;
      mark = "  <- restore stops here";
    }
    console::Out("  " + backup.path + "  " + state + mark);
  }
  return kExitOk;
}
