#include "provision_job.h"

#include <chrono>
#include <ctime>

#include "backup_store.h"
#include "input_file.h"
#include "interrupt.h"
#include "settings/settings_check.h"
#include "settings/settings_file.h"
#include "settings_session.h"
#include "sha256.h"
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

// The settings this tracker is to get: the base file (set) or its newest
// backup (restore), with its row of the profile table. Fills the audit's
// file fields. False with `result` filled, or with `outcome.skipped`.
bool ChooseRecord(JobContext& context, const ProvisionPlan& plan, SettingsLayout layout, const std::string& imei,
                  DeviceSettings& record, AuditRecord& audit, ProvisionOutcome& outcome, JobResult& result) {
  SettingsFileInput backup;
  const SettingsFileInput* file = plan.settingsFile;
  if (plan.command == "restore") {
    std::string path, error;
    if (!IsBackupImei(imei)) {
      result = Failure(context, kExitFailed, "no IMEI", "No IMEI answer: the tracker's backups cannot be found",
                       "nothing was written");
      return false;
    }
    if (!FindNewestBackup(plan.backupFolder, imei, path, error)) {
      result = Failure(context, kExitRefused, "no backup", "Nothing to restore", error);
      return false;
    }
    if (!ReadInputFile(path, MAX_BACKUP_FILE_BYTES, backup.bytes, error)) {
      result = Failure(context, kExitRefused, "backup unreadable", "Cannot read the backup", path + ": " + error);
      return false;
    }
    backup.path = path;
    file = &backup;
    audit.settingsFile = path;
    audit.settingsFileSha256 = Sha256Hex(backup.bytes);
    context.Say("restoring " + path);
  }
  if (!file) return false;
  if (!plan.profiles) return LoadForTracker(*file, layout, plan.strict, true, record, context, result);
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
  audit.profileRow = row->row;
  outcome.profileRow = row->row;
  context.Say("IMEI " + imei + ": row " + std::to_string(row->row) + " of " + plan.profilesPath);
  return true;
}

// Reads the tracker's settings and saves them as its newest backup.
bool TakeBackup(JobContext& context, const ProvisionPlan& plan, SettingsSession& session, const std::string& imei,
                SettingsLayout layout, AuditRecord& audit, JobResult& result) {
  const std::string nothing = "nothing was written (--no-backup writes without a backup)";
  if (!IsBackupImei(imei)) {
    result = Failure(context, kExitFailed, "no backup", "No IMEI answer: the backup cannot be named", nothing);
    return false;
  }
  DeviceSettings current;
  if (!session.Read(current, result)) {
    if (interrupt::Requested()) return false;  // the read said so already
    context.Fail("The current settings could not be read for the backup", nothing);
    result.detail += "; " + nothing;
    return false;
  }
  std::string path, error;
  if (!SaveBackup(plan.backupFolder, imei, SettingsFileText(current, layout), std::time(nullptr), path, error)) {
    result = Failure(context, kExitFailed, "no backup", "The backup could not be saved", error + "; " + nothing);
    return false;
  }
  audit.backup = path;
  context.Say("backup: " + path);
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
  if (!ChooseRecord(context, plan, layout, outcome.imei, record, audit, outcome, result)) return result;
  // Refused records are found before the backup's read, as before any delete.
  if (const auto problems = CheckForDevice(record, layout); !problems.empty())
    return Refused(context, DescribeProblems(problems));
  const std::string untouched = "nothing was deleted or written on the tracker";
  if (SayIfInterrupted(context, result, untouched)) return result;
  if (plan.backup && !TakeBackup(context, plan, session, outcome.imei, layout, audit, result)) {
    if (interrupt::Requested() && result.code != kExitInterrupted) SayIfInterrupted(context, result, untouched);
    return result;
  }
  if (SayIfInterrupted(context, result, untouched)) return result;

  std::string refused;
  const std::string verdict = session.Write(record, refused);
  if (!refused.empty()) return Refused(context, refused);
  if (verdict.empty() && interrupt::Requested()) {
    const std::string state = session.WriteState();
    SayIfInterrupted(context, result,
                     state + (state.rfind("nothing", 0) == 0 ? "" : "; run kvctl " + plan.command + " again"));
    return result;
  }
  result.verdict = verdict.empty() ? "write failed" : verdict;
  if (verdict != SETTING_MESSAGE_OK_TEXT) {
    result.code = kExitFailed;
    result.detail = verdict.empty() ? "settings: the write did not run" : "settings: last status " + verdict;
    context.Fail(verdict.empty() ? "The write did not run" : verdict, "");
    return result;
  }
  outcome.written = true;
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
  if (result.code < kExitFailed) result.code = kExitFailed;
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
