#include "provision_setup.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "backup_store.h"
#include "output_file.h"
#include "console.h"
#include "exit_codes.h"
#include "input_file.h"
#include "settings_precheck.h"
#include "common/sha256.h"
#include "user_folders.h"
#include "platform/path_calls.h"

namespace {

int Refuse(int code, const std::string& text) {
  console::Err("kvctl: " + text);
  return code;
}

// The options a command that finishes an interrupted job repeats.
std::string ResumeOptions(const CliArgs& args) {
  std::string options;
  if (!args.backupDir.empty()) options += " --backup-dir " + ShellWord(args.backupDir);
  if (args.noBackup) options += " --no-backup";
  if (!args.logFile.empty()) options += " --log " + ShellWord(args.logFile);
  if (args.noLog) options += " --no-log";
  if (args.clockSpeed != 1.0) {
    char speed[32];
    std::snprintf(speed, sizeof speed, "%g", args.clockSpeed);
    options += std::string(" --clock-speed ") + speed;
  }
  return options;
}

// A refusal of one line, or of a heading line ending in a colon and the
// lines it introduces: the note goes at the end of the first line.
int RefuseBeforeTrackers(const std::string& text) {
  const std::size_t end = text.find('\n');
  if (end == std::string::npos) return Refuse(kExitRefused, text + "; no tracker was touched");
  const bool colon = end > 0 && text[end - 1] == ':';
  return Refuse(kExitRefused, text.substr(0, colon ? end - 1 : end) + "; no tracker was touched" + (colon ? ":" : "") +
                                  text.substr(end));
}

// Whether a file can be made in `folder`, found by making (and removing) one:
// permissions, a read-only file system, ownership and quotas all count.
bool CanWriteIn(const std::string& folder, std::string& error) {
  static std::atomic<unsigned> count{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 10; ++attempt) {
    // Joined as text: a path object would take the name in the system's
    // narrow code page on Windows, not as the UTF-8 it is.
    const bool ended = folder.empty() || (folder.back() == '/' || folder.back() == '\\');
    const std::string probe = folder + (ended ? "" : std::string(1, PATH_SEPARATOR)) + ".kvctl-write-test-" +
                              std::to_string(stamp) + "-" + std::to_string(count++);
    std::FILE* file = path_calls::OpenStream(probe.c_str(), "wx");  // never opens a file that is there
    if (!file && errno == EEXIST) continue;
    if (!file) {
      error = folder + ": " + FileErrorText(errno);
      return false;
    }
    std::fclose(file);
    path_calls::Remove(probe.c_str());
    return true;
  }
  error = folder + ": no new file could be named in it";
  return false;
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path_calls::FsPath(path), ec);
  return ec ? path : path_calls::FsText(absolute.lexically_normal());
}

std::string OutputOnInput(const CliArgs& args, const std::string& logPath, const std::string& backupFolder) {
  std::vector<std::pair<std::string, std::string>> inputs, outputs;
  const std::string& cmd = args.command;
  if (!args.positional.empty() && (cmd == "set" || cmd == "diff" || cmd == "update"))
    inputs.emplace_back(cmd == "update" ? "the firmware image" : "the settings file", args.positional.front());
  if (cmd == "watch" && args.positional.size() == 2)
    inputs.emplace_back(args.positional[0] == "update" ? "the firmware image" : "the settings file",
                        args.positional[1]);
  if (!args.profilesFile.empty()) inputs.emplace_back("the profile table", args.profilesFile);
  if (!args.restoreFrom.empty()) inputs.emplace_back("the backup", args.restoreFrom);
  if (!args.traceFile.empty()) outputs.emplace_back("the trace file", args.traceFile);
  if (!logPath.empty()) outputs.emplace_back("the audit log", logPath);
  for (const auto& [outputRole, output] : outputs) {
    for (const auto& [inputRole, input] : inputs)
      if (SameFile(output, input))
        return outputRole + " " + output + " is " + inputRole + " " + input + "; give " + outputRole + " another name";
    if (!backupFolder.empty() && SameFile(FolderOfPath(output), backupFolder))
      return outputRole + " " + output + " would be written among the backups in " + backupFolder +
             "; give it another folder";
  }
  return {};
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
  if (command != "restore" && (!args.restoreFrom.empty() || args.listBackups))
    return Refuse(kExitUsage, "--from and --list belong to restore (try kvctl restore --help)");
  if (args.noLog && !args.logFile.empty()) return Refuse(kExitUsage, "--log FILE and --no-log exclude each other");
  plan.resumeOptions = ResumeOptions(args);

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
    plan.profiles = &setup.profiles;
    plan.profilesPath = args.profilesFile;
    plan.profilesAuditPath = AbsolutePath(args.profilesFile);
    plan.profilesSha256 = Sha256Hex(bytes);
    plan.onlyListed = args.onlyListed;
  }
  // What each tracker would be refused is refused here, before any port is
  // opened, in both layouts (settings_precheck.h).
  if (settingsFile) {
    SettingsCheckInput check;
    check.file = settingsFile;
    check.profiles = plan.profiles;
    check.profilesPath = plan.profilesPath;
    check.onlyListed = plan.onlyListed;
    check.strict = plan.strict;
    std::string error;
    if (!CheckSettingsBeforeTrackers(check, error)) return RefuseBeforeTrackers(error);
  }
  if (writesSettings) {
    plan.backup = !args.noBackup;
    plan.backupFolder = args.backupDir.empty() ? DefaultBackupFolder() : args.backupDir;
    if (plan.backupFolder.empty())
      return Refuse(kExitUsage, "no home folder is known for the backups: give --backup-dir DIR or --no-backup");
    // A backup folder that cannot be made or written is found before any
    // tracker is touched (a plain restore's folder holds the backups, so it
    // exists when there is anything to restore; restore --from's backup may
    // come from anywhere, and the folder takes the tracker's backup and the
    // note of the restore in progress).
    std::string error;
    const bool makesFolder = command != "restore" || !args.restoreFrom.empty();
    if (plan.backup && makesFolder && !MakeFolders(plan.backupFolder, error))
      return Refuse(kExitUsage, "cannot keep backups: " + error + " (nothing was sent to any tracker)");
    std::error_code ec;
    if (plan.backup && std::filesystem::is_directory(path_calls::FsPath(plan.backupFolder), ec) &&
        !CanWriteIn(plan.backupFolder, error))
      return Refuse(kExitUsage, "cannot keep backups: " + error + " (nothing was sent to any tracker)");
  }
  const std::string logPath = args.noLog ? std::string() : args.logFile.empty() ? DefaultAuditLogPath() : args.logFile;
  if (!args.traceFile.empty() && !logPath.empty() && SameFile(args.traceFile, logPath))
    return Refuse(kExitUsage, "the trace file " + args.traceFile +
                                  " is the audit log; give the trace another name "
                                  "(nothing was sent to any tracker)");
  if (const std::string clash = OutputOnInput(args, logPath, writesSettings ? plan.backupFolder : std::string());
      !clash.empty())
    return Refuse(kExitUsage, clash + " (nothing was sent to any tracker)");
  if (!args.restoreFrom.empty()) {
    // The backup is read and judged once, before any tracker is touched.
    SettingsFileInput& from = setup.restoreFrom;
    from.path = args.restoreFrom;
    std::string reason;
    if (!ReadInputFile(from.path, SETTINGS_FILE_MAX_BYTES, from.bytes, reason))
      return Refuse(kExitRefused,
                    "cannot read the backup " + from.path + ": " + reason + " (nothing was sent to any tracker)");
    plan.restoreFromContents = ReadBackupContents(from.bytes);
    const auto kind = plan.restoreFromContents.kind;
    if (kind == BackupContents::Kind::Incomplete || kind == BackupContents::Kind::Refused)
      return Refuse(kExitRefused, "the backup " + from.path + " is refused: " + plan.restoreFromContents.problem +
                                      " (nothing was sent to any tracker; kvctl restore --list shows the backups)");
    plan.restoreFrom = &from;
  }
  if (args.noLog) return kExitOk;  // plan.log stays null: no audit line
  std::string error;
  if (!setup.log.Open(logPath, error)) return Refuse(kExitUsage, error);
  plan.log = &setup.log;
  return kExitOk;
}
