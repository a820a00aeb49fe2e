// Everything kvctl knows about its commands, in one table: the name, whether
// loose words are ports, the words after the ports, the options the command
// takes besides the common ones, its lines in `kvctl --help`, its own help
// and the function that runs it. The parser, the checks before a tracker is
// touched, the dispatch and the help all read it; the test of the manual
// page compares the page with it. Adding a command is one row here, a
// handler, and its entry in the manual page.
//
// Thread contract: constant data and pure functions, any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/command_line_words.h"

struct CliArgs;
struct ProvisionSetup;
struct SettingsFileInput;

// The options of kvctl. Common ones (kOptCommon) go with every command;
// kOptPorts with every command that takes ports; the rest with the commands
// whose row names them.
enum KvctlOption : unsigned {
  kOptCommon = 0,
  kOptPorts = 1u << 0,      // --port, --all
  kOptAllSerial = 1u << 1,  // ports --all-serial
  kOptOutput = 1u << 2,     // get -o FILE
  kOptJson = 1u << 3,       // get --json
  kOptStrict = 1u << 4,     // set --strict
  kOptProfiles = 1u << 5,   // --profiles CSV, --only-listed
  kOptBackups = 1u << 6,    // --backup-dir DIR
  kOptNoBackup = 1u << 7,   // --no-backup
  kOptLog = 1u << 8,        // --log FILE, --no-log
  kOptVerify = 1u << 9,     // --no-verify, --expect-version TEXT
  kOptRestore = 1u << 10,   // restore --from BACKUP, --list
};

// What a command's handler is given, once every check has passed.
struct CommandCall {
  const CliArgs& args;
  const std::vector<std::string>& ports;
  const SettingsFileInput& settingsFile;  // set, diff, watch set: read whole
  const ProvisionSetup& setup;            // set, restore, update, watch
};

struct CommandSpec {
  std::string_view name;
  bool takesPorts;
  // The words after the ports and what they are, for the refusal of a line
  // that lacks them ("a settings FILE"); watch has its own ("set FILE").
  std::size_t trailing;
  std::string_view trailingWhat;
  unsigned options;  // KvctlOption bits besides the common ones
  // Backs up, logs and may be resumed: backups, the audit log, the quit advice.
  bool provisions;
  // Reads a settings file before any port is opened (set, diff, watch set).
  bool readsSettingsFile;
  std::string_view synopsis;  // its lines in the command list of kvctl --help
  std::string_view help;      // kvctl COMMAND --help
  int (*run)(const CommandCall& call);
};

std::span<const CommandSpec> KvctlCommands();
// The row of `name`; null for an unknown command.
const CommandSpec* FindCommand(std::string_view name);

// An option of kvctl's command line: its syntax, and which bit of a
// command's row allows it (kOptCommon: every command).
struct KvctlOptionSpec {
  cmdline::OptionSpec syntax;
  unsigned allowedBy;
};
std::span<const KvctlOptionSpec> KvctlOptions();

// kvctl --help: the general text with the command list from the table.
std::string KvctlUsage();
