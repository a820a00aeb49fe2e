// Command line of kvctl: global options, the command, its ports and options,
// split by the syntax the three programs share (common/command_line_words.h)
// with the options and commands of kvctl's table (command_table.h).
//
// Thread contract: pure functions, main thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct CliArgs {
  std::string command;
  std::vector<std::string> ports;       // from --port and every loose PORT word
  std::vector<std::string> positional;  // the command's own arguments after the ports (FILE, FIRMWARE)
  bool allPorts = false;                // --all: every tracker port
  bool allSerial = false;               // ports --all-serial
  bool json = false;                    // get --json
  bool strict = false;                  // set --strict: refuse a file that lacks settings
  bool help = false;
  std::string outputFile;           // get -o FILE
  std::string traceFile;            // --trace FILE
  std::string profilesFile;         // set --profiles FILE: values per IMEI
  bool onlyListed = false;          // set --only-listed: skip trackers without a row
  std::string backupDir;            // --backup-dir DIR
  bool noBackup = false;            // --no-backup
  std::string logFile;              // --log FILE: the audit log
  bool noVerify = false;            // update --no-verify: end after the transfer
  bool expectVersionGiven = false;  // update --expect-version TEXT
  std::string expectVersion;
  bool noLog = false;        // --no-log: no audit line
  std::string restoreFrom;   // restore --from FILE: this backup
  bool listBackups = false;  // restore --list
  double clockSpeed = 1.0;   // --clock-speed N: tests run every wait N times faster
  // Each option given, by its name, with the KvctlOption bit that allows
  // it: the command's row says which it takes.
  std::vector<std::pair<std::string, unsigned>> givenOptions;
};

// Parses argv; false with a message in `error` when the line is wrong.
bool ParseCliArgs(int argc, char** argv, CliArgs& args, std::string& error);
