// Everything `set`, `restore`, `update` and `watch set` read or open before
// any tracker is touched: the base settings file, the profile table checked
// against it, the backup folder and the audit log. A problem here ends kvctl
// before a port is opened.
//
// Thread contract: main thread, before tracker threads start.
#pragma once

#include <memory>
#include <string>

#include "audit_log.h"
#include "cli_args.h"
#include "provision_job.h"
#include "unit_profiles.h"

struct ProvisionSetup {
  ProvisionPlan plan;
  UnitProfiles profiles;
  SettingsFileInput restoreFrom;  // restore --from FILE, read whole
  AuditLog log;
};

// The path from the root, for the audit log (kvctl may run anywhere).
std::string AbsolutePath(const std::string& path);

// The first output of the command line (the trace, the audit log at
// `logPath` unless empty) that is one of its inputs (the settings file, the
// profile table, the firmware image, restore --from's backup) or that would
// be written among the backups in `backupFolder` (unless empty): an error
// text naming both; empty when none is.
std::string OutputOnInput(const CliArgs& args, const std::string& logPath, const std::string& backupFolder);

// Fills `setup` for `command` ("set", "restore", "update" or "watch set")
// from the command line; `settingsFile` is set's FILE, already read (null
// otherwise; it must outlive the jobs). Returns kExitOk, or the exit status
// after an error line on stderr.
int PrepareProvision(const CliArgs& args, const std::string& command, const SettingsFileInput* settingsFile,
                     ProvisionSetup& setup);
