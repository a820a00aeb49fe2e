#include "provision_setup.h"

#include <filesystem>

#include "backup_store.h"
#include "console.h"
#include "exit_codes.h"
#include "input_file.h"
#include "sha256.h"
#include "user_folders.h"

namespace {

int Refuse(int code, const std::string& text) {
  console::Err("kvctl: " + text);
  return code;
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

int PrepareProvision(const CliArgs& args, const std::string& command, const SettingsFileInput* settingsFile,
                     ProvisionSetup& setup) {
  ProvisionPlan& plan = setup.plan;
  const bool writesSettings = command != "update";
  const bool takesProfiles = command == "set" || command == "watch set";
  if (!takesProfiles && (!args.profilesFile.empty() || args.onlyListed))
    return Refuse(kExitUsage, "--profiles and --only-listed belong to set and watch set");
  if (args.onlyListed && args.profilesFile.empty()) return Refuse(kExitUsage, "--only-listed needs --profiles FILE");
  if (!writesSettings && (args.noBackup || !args.backupDir.empty()))
    return Refuse(kExitUsage, "--backup-dir and --no-backup belong to set, restore and watch set");
  if (command == "restore" && args.noBackup)
    return Refuse(kExitUsage, "restore reads the backups: --no-backup makes no sense with it");

  plan.command = command == "restore" ? "restore" : "set";
  plan.strict = args.strict;
  if (settingsFile) {
    plan.settingsFile = settingsFile;
    plan.settingsSha256 = Sha256Hex(settingsFile->bytes);
    plan.settingsAuditPath = AbsolutePath(settingsFile->path);
  }
  if (!args.profilesFile.empty()) {
    std::string bytes, error;
    if (!LoadUnitProfiles(args.profilesFile, setup.profiles, bytes, error))
      return Refuse(kExitRefused, error + "; no tracker was touched");
    if (!setup.profiles.CheckAgainst(settingsFile ? settingsFile->bytes : std::string(), error))
      return Refuse(kExitRefused, args.profilesFile + ": " + error + "; no tracker was touched");
    plan.profiles = &setup.profiles;
    plan.profilesPath = args.profilesFile;
    plan.profilesAuditPath = AbsolutePath(args.profilesFile);
    plan.profilesSha256 = Sha256Hex(bytes);
    plan.onlyListed = args.onlyListed;
  }
  if (writesSettings) {
    plan.backup = !args.noBackup;
    plan.backupFolder = args.backupDir.empty() ? DefaultBackupFolder() : args.backupDir;
    if (plan.backupFolder.empty())
      return Refuse(kExitUsage, "no home folder is known for the backups: give --backup-dir DIR or --no-backup");
    // A backup folder that cannot be made is found before any tracker is touched.
    std::string error;
    if (plan.backup && command != "restore" && !MakeFolders(plan.backupFolder, error))
      return Refuse(kExitUsage, "cannot keep backups: " + error + " (nothing was sent to any tracker)");
  }
  const std::string logPath = args.logFile.empty() ? DefaultAuditLogPath() : args.logFile;
  if (!args.traceFile.empty() && SameFile(args.traceFile, logPath))
    return Refuse(kExitUsage, "the trace file " + args.traceFile + " is the audit log; give the trace another name");
  std::string error;
  if (!setup.log.Open(logPath, error)) return Refuse(kExitUsage, error);
  plan.log = &setup.log;
  return kExitOk;
}
