// The kvctl commands; each returns the process exit status.
//
// Thread contract: the Cmd functions run on the main thread and start one thread per
// tracker (job_runner.h); an UpdatePlan or ProvisionPlan is made before those
// threads start and only read by them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli_args.h"
#include "job_runner.h"
#include "update_verify.h"
#include "settings/device_settings.h"

int CmdPorts(bool allSerial);
int CmdProbe(const std::vector<std::string>& ports);
int CmdImei(const std::vector<std::string>& ports);
int CmdScan(const std::vector<std::string>& ports);
int CmdVersion(const std::vector<std::string>& ports);
int CmdGet(const std::vector<std::string>& ports, const std::string& output, bool json);
// A settings file given to set or diff, read whole before any port is opened.
struct SettingsFileInput {
  std::string path;
  std::string bytes;
};

int CmdDiff(const std::vector<std::string>& ports, const SettingsFileInput& file);

// set, restore and watch set: the plan says what each tracker gets, with a
// backup first and an audit line (provision_job.h).
struct ProvisionPlan;
struct FirmwareImage;
int CmdSet(const std::vector<std::string>& ports, const ProvisionPlan& plan);
int CmdRestore(const std::vector<std::string>& ports, const ProvisionPlan& plan);
// restore --list: every backup in `folder` by IMEI, newest first, with its
// state and the one a plain restore writes.
int CmdListBackups(const std::string& folder);
// Waits for tracker ports to appear and provisions each new one once, until
// Ctrl-C; then a summary (written, failed, skipped).
int CmdWatchSet(const ProvisionPlan& plan);

// The settings file as set gives it to a tracker of a layout: refuses a file
// without any of the layout's settings, names (or with `strict` refuses) the
// ones it lacks (`forWrite`: as sent empty; else as compared empty). A
// setting in `supplied` (the tracker's row of a profile table gives it) is
// not lacking.
bool LoadForTracker(const SettingsFileInput& file, settings::SettingsLayout layout, bool strict, bool forWrite,
                    settings::DeviceSettings& record, JobContext& context, JobResult& result,
                    const std::vector<settings::SettingId>& supplied = {});

class AuditLog;
// update and watch update.
struct UpdateOptions {
  bool verify = true;         // false (--no-verify): end after the transfer
  std::string expectVersion;  // --expect-version; empty: the image's own version
};
// What every tracker of one update gets, worked out once before any is touched.
struct UpdatePlan {
  std::string image;  // the path as given
  UpdateOptions options;
  bool readable = false;  // the image was measured and loaded
  std::string problem;    // why it cannot be sent ("" when loaded)
  // The image read once into memory (null when it cannot be sent): what
  // every tracker is sent, whatever happens to the file meanwhile.
  std::shared_ptr<FirmwareImage> firmware;
  std::string imageSha256;   // of that copy
  std::string imageVersion;  // the version the image names ("" when none)
  // The different version texts the image holds: several mean it names none.
  std::vector<std::string> imageVersionTexts;
  std::string expected;  // must appear in the version read back ("" compares nothing)
  // An image that holds several version texts, checked without
  // --expect-version: the version read back must hold one of them.
  std::vector<std::string> expectedOneOf;
  const AuditLog* log = nullptr;  // null: no audit line
};
UpdatePlan MakeUpdatePlan(const std::string& image, const UpdateOptions& options);
struct UpdateOutcome;
// The audit line of an update job on `context`'s port (none without a log):
// the IMEI and version read after it, the plan's image, and `result`.
void AppendUpdateAuditLine(JobContext& context, const UpdatePlan& plan, const std::string& imei,
                           const std::string& version, JobResult& result, double seconds);
// One tracker's update with its audit line; `several` when trackers run at once.
JobResult UpdateTrackerWithAudit(JobContext& context, const UpdatePlan& plan, bool several, UpdateOutcome& outcome);
// `log` may be null (no audit line).
int CmdUpdate(const std::vector<std::string>& ports, const std::string& image, const AuditLog* log,
              const UpdateOptions& options);
// The transfer alone, as the window's Update does: no wait for the tracker's
// return (--no-verify).
int CmdUpdate(const std::vector<std::string>& ports, const std::string& image, const AuditLog* log = nullptr);
// Waits for tracker ports to appear and updates each new one once, until
// Ctrl-C; then a summary (updated, not verified, failed, skipped).
int CmdWatchUpdate(const UpdatePlan& plan);

// The output file for a tracker: "%p" in `pattern` becomes the port's name
// with its slashes turned into dashes (with one tracker too).
std::string OutputPathFor(const std::string& pattern, const std::string& port);

// Tracker ports in the main window's order (for --all and scan).
std::vector<std::string> TrackerPorts();
// True when `port` is served by a running simulated tracker of this user
// (the only kind --clock-speed may be used on).
bool IsSimulatedTracker(const std::string& port);
