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
// A settings file given to set or diff, read whole before any port is opened.
struct SettingsFileInput {
  std::string path;
  std::string bytes;
};

int CmdSet(const std::vector<std::string>& ports, const SettingsFileInput& file, bool strict);
int CmdDiff(const std::vector<std::string>& ports, const SettingsFileInput& file);
int CmdUpdate(const std::vector<std::string>& ports, const std::string& image);

// The output file for one of several trackers: "%p" in `pattern` becomes
// the port's name with its slashes turned into dashes.
std::string OutputPathFor(const std::string& pattern, const std::string& port);

// Tracker ports in the main window's order (for --all and scan).
std::vector<std::string> TrackerPorts();
