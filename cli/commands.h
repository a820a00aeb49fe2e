// The kvctl commands; each returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "cli_args.h"
#include "job_runner.h"
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
int CmdSet(const std::vector<std::string>& ports, const ProvisionPlan& plan);
int CmdRestore(const std::vector<std::string>& ports, const ProvisionPlan& plan);
// Waits for tracker ports to appear and provisions each new one once, until
// Ctrl-C; then a summary (written, failed, skipped).
int CmdWatchSet(const ProvisionPlan& plan);

// The settings file as set gives it to a tracker of a layout: refuses a file
// without any of the layout's settings, names (or with `strict` refuses) the
// ones it lacks (`forWrite`: as sent empty; else as compared empty).
bool LoadForTracker(const SettingsFileInput& file, settings::SettingsLayout layout, bool strict, bool forWrite,
                    settings::DeviceSettings& record, JobContext& context, JobResult& result);

class AuditLog;
// `log` may be null (no audit line).
int CmdUpdate(const std::vector<std::string>& ports, const std::string& image, const AuditLog* log = nullptr);

// The output file for a tracker: "%p" in `pattern` becomes the port's name
// with its slashes turned into dashes (with one tracker too).
std::string OutputPathFor(const std::string& pattern, const std::string& port);

// Tracker ports in the main window's order (for --all and scan).
std::vector<std::string> TrackerPorts();
// True when `port` is served by a running simulated tracker of this user
// (the only kind --clock-speed may be used on).
bool IsSimulatedTracker(const std::string& port);
