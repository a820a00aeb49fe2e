// The kvctl commands; each returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "cli_args.h"

int CmdPorts(bool allSerial);
int CmdProbe(const std::vector<std::string>& ports);
int CmdImei(const std::vector<std::string>& ports);
int CmdScan(const std::vector<std::string>& ports);
int CmdVersion(const std::vector<std::string>& ports);
int CmdGet(const std::vector<std::string>& ports, const std::string& output, bool json);
struct ProvisionPlan;
int CmdSet(const std::vector<std::string>& ports, const ProvisionPlan& plan);
int CmdRestore(const std::vector<std::string>& ports, const ProvisionPlan& plan);
// Waits for tracker ports to appear and provisions each new one once, until
// Ctrl-C; then a summary (written, failed, skipped).
int CmdWatchSet(const ProvisionPlan& plan);
int CmdDiff(const std::vector<std::string>& ports, const std::string& file);
class AuditLog;
int CmdUpdate(const std::vector<std::string>& ports, const std::string& image, const AuditLog* log);

// Tracker ports in the main window's order (for --all and scan).
std::vector<std::string> TrackerPorts();
