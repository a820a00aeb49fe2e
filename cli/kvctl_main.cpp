// kvctl: every job of the KV-770 Tool from a terminal, for one tracker or a
// box of them at once.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "audit_log.h"
#include "backup_store.h"
#include "cli_args.h"
#include "command_table.h"
#include "commands.h"
#include "console.h"
#include "exit_codes.h"
#include "help_text.h"
#include "image_version.h"
#include "input_file.h"
#include "interrupt.h"
#include "output_file.h"
#include "platform/clock.h"
#include "platform/serial_io.h"
#include "program_args.h"
#include "provision_job.h"
#include "provision_setup.h"
#include "settings_input.h"
#include "std_streams.h"
#include "trace_file.h"

namespace {

// The device a port name opens: a symbolic link to a port (udev's by-id
// names, kvsim --link) is the port it points to.
std::string PortDevice(const std::string& port) {
  std::string device = platform::PortDevicePath(port);
#ifndef _WIN32
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(device, error);
  if (!error) return real.string();
#endif
  return device;
}

// Ports in the order named, each once ("ttyUSB0", "/dev/ttyUSB0" and a link
// to it are one).
std::vector<std::string> DistinctPorts(const std::vector<std::string>& named) {
  std::vector<std::string> ports, devices;
  for (const auto& p : named) {
    const std::string device = PortDevice(p);
    if (std::find(devices.begin(), devices.end(), device) != devices.end()) continue;
    devices.push_back(device);
    ports.push_back(p);
  }
  return ports;
}

// The command line again, as the advice of a quit at once: for watch set and
// watch update, the set or update of one tracker that was being written.
std::string CommandLineAgain(int argc, char** argv) {
  std::string text = "kvctl";
  bool watch = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "watch" && !watch) {
      watch = true;
      continue;
    }
    const bool job = watch && (word == "set" || word == "update");
    text += " " + ShellWord(word) + (job ? " PORT" : "");
    if (job) watch = false;
  }
  return text;
}

int Usage(const std::string& text) {
  console::Err("kvctl: " + text);
  return kExitUsage;
}

// Everything about the command line and its files that can be judged before
// a tracker is touched; a status other than kExitOk ends kvctl.
int CheckBeforeSending(const CliArgs& args, const std::vector<std::string>& ports, SettingsFileInput& settingsFile) {
  const std::string& cmd = args.command;
  const CommandSpec& spec = *FindCommand(cmd);
  // An option the command's row does not name belongs to another command.
  for (const auto& [name, allowedBy] : args.givenOptions)
    if (allowedBy != kOptCommon && ((spec.options | (spec.takesPorts ? kOptPorts : 0u)) & allowedBy) == 0)
      return Usage(name + " is not an option of " + cmd + " (try kvctl " + cmd + " --help)");
  if (cmd == "watch" && args.positional.size() > 2)
    return Usage("watch takes no PORT: it waits for trackers to be plugged in (try kvctl watch --help)");
  if (cmd == "watch" &&
      (args.positional.size() != 2 || (args.positional[0] != "set" && args.positional[0] != "update")))
    return Usage(
        "watch needs set and a settings FILE, or update and a FIRMWARE image: kvctl watch set "
        "[--profiles CSV] FILE, kvctl watch update FIRMWARE (try kvctl watch --help)");
  const bool updates = cmd == "update" || (cmd == "watch" && args.positional[0] == "update");
  if ((args.noVerify || args.expectVersionGiven) && !updates)
    return Usage("--no-verify and --expect-version belong to update and watch update (try kvctl update --help)");
  if (args.noVerify && args.expectVersionGiven)
    return Usage("--expect-version needs the check that --no-verify leaves out; give one of them");
  if (args.expectVersionGiven) {
    bool printable = !args.expectVersion.empty();
    for (const char c : args.expectVersion) printable = printable && c >= 0x20 && c <= 0x7E;
    if (!printable) return Usage("--expect-version needs a text of printable ASCII characters, such as F-0KV770E-V1.5");
    // A text that no version can hold would have every tracker flashed only
    // to fail its check afterwards.
    const std::string& expected = args.expectVersion;
    const std::size_t close = expected.find(')');
    if (expected.size() > VERSION_TEXT_LONGEST || (close != std::string::npos && close + 1 != expected.size()))
      return Usage("--expect-version " + expected + " can never be reported: a version is at most " +
                   std::to_string(VERSION_TEXT_LONGEST) + " characters and ends at its first \")\" (nothing was sent)");
  }
  if (updates && cmd == "watch" &&
      (!args.profilesFile.empty() || args.onlyListed || args.strict || !args.backupDir.empty() || args.noBackup))
    return Usage(
        "watch update takes no settings options (--profiles, --only-listed, --strict, --backup-dir, "
        "--no-backup)");
  if (cmd == "restore" && !args.positional.empty()) return Usage("restore takes only PORTs (try kvctl restore --help)");
  if (spec.trailing != 0 && args.positional.size() != spec.trailing)
    return Usage(cmd + " needs a PORT and " + std::string(spec.trailingWhat) + " (try kvctl " + cmd + " --help)");
  // The file the command reads: the settings file or the firmware image.
  const std::string input = spec.trailing != 0 ? args.positional[0] : cmd == "watch" ? args.positional[1] : "";
  if (!args.traceFile.empty()) {
    if (!input.empty() && SameFile(args.traceFile, input))
      return Usage("the trace file " + args.traceFile + " is the " + (updates ? "firmware image " : "settings file ") +
                   input + "; give the trace another name (nothing was sent to any tracker)");
  }
  // set, restore, update and watch judge the trace against their own log
  // and backup folder (PrepareProvision); the other commands against the
  // default ones, whose backups and record the trace would replace.
  if (!args.traceFile.empty() && !spec.provisions) {
    const std::string log = DefaultAuditLogPath();
    if (!log.empty() && SameFile(args.traceFile, log))
      return Usage("the trace file " + args.traceFile +
                   " is the audit log; give the trace another name "
                   "(nothing was sent to any tracker)");
    if (const std::string clash = OutputOnInput(args, "", DefaultBackupFolder()); !clash.empty())
      return Usage(clash + " (nothing was sent to any tracker)");
  }
  if (spec.readsSettingsFile || (cmd == "watch" && !updates)) {
    settingsFile.path = input;
    std::string reason;
    if (!ReadInputFile(input, SETTINGS_FILE_MAX_BYTES, settingsFile.bytes, reason)) {
      console::Err("kvctl: cannot read the settings file " + input + ": " + reason +
                   " (nothing was sent to any tracker)");
      return kExitRefused;
    }
    if (!HoldsAnySetting(settingsFile.bytes, settings::SettingsLayout::Basic) &&
        !HoldsAnySetting(settingsFile.bytes, settings::SettingsLayout::Extended)) {
      console::Err("kvctl: " + input +
                   ": no settings found: it is not a settings file, or it is empty "
                   "(nothing was sent to any tracker)");
      return kExitRefused;
    }
  }
  if (cmd == "get" && !args.outputFile.empty()) {
    const bool several = ports.size() > 1;
    if (several && args.outputFile.find("%p") == std::string::npos)
      return Usage("with several ports, -o FILE must hold %p (it becomes each port's name)");
    const std::string log = DefaultAuditLogPath();
    const std::string backups = DefaultBackupFolder();
    std::vector<std::pair<std::string, std::string>> exports;  // port, its file
    for (const auto& port : several ? ports : std::vector<std::string>{ports.empty() ? "" : ports[0]}) {
      const std::string path = OutputPathFor(args.outputFile, port);
      // Two port names can give one file name (a dash in one, a slash in the
      // other): the second export would replace the first.
      for (const auto& [otherPort, otherPath] : exports)
        if (SameFile(path, otherPath))
          return Usage("the ports " + otherPort + " and " + port + " both give the output file " + path +
                       "; name the files another way (nothing was sent to any tracker)");
      exports.emplace_back(port, path);
      // The settings file would take the place of the record of every write,
      // or of a backup that restore writes back.
      if (!log.empty() && SameFile(path, log))
        return Usage("the output file " + path + " is the audit log; give it another name " +
                     "(nothing was sent to any tracker)");
      if (!backups.empty() && SameFile(FolderOfPath(path), backups))
        return Usage("the output file " + path + " would be written among the backups in " + backups +
                     "; give it another folder (nothing was sent to any tracker)");
      // The trace is written when kvctl ends: on the export it would replace it.
      if (!args.traceFile.empty() && SameFile(args.traceFile, path))
        return Usage("the trace file " + args.traceFile + " is also the output file " + path +
                     "; give the trace another name (nothing was sent to any tracker)");
      std::string reason;
      if (!CheckOutputPath(path, reason)) {
        console::Err("kvctl: cannot write " + path + ": " + reason + " (nothing was sent to any tracker)");
        return kExitRefused;
      }
    }
  }
  return kExitOk;
}

int Run(int argc, char** argv) {
  CliArgs args;
  std::string error;
  if (!ParseCliArgs(argc, argv, args, error)) {
    console::Err("kvctl: " + error + " (try kvctl --help)");
    return kExitUsage;
  }
  if (args.help || args.command == "help") {
    console::Raw(HelpForThisSystem(HelpText(args.command)));
    return kExitOk;
  }
  // Before anything is timed: every wait of the jobs reads this clock.
  platform::SetClockSpeed(args.clockSpeed);
  const std::string& cmd = args.command;
  const CommandSpec* spec = FindCommand(cmd);
  if (!spec) return Usage("unknown command " + cmd + " (try kvctl --help)");
  if (cmd == "watch" && (!args.ports.empty() || args.allPorts))
    return Usage("watch takes no PORT: it waits for trackers to appear");
  // For watch, the first Ctrl-C lets the trackers in progress finish. The
  // watcher ends with main, after every job.
  const interrupt::Handling interruptHandling(cmd == "watch" ? interrupt::FirstSignal::Finish
                                                             : interrupt::FirstSignal::Stop);

  if (cmd == "restore" && args.listBackups) {
    // Only the backup folder is read: no tracker is touched.
    if (!args.ports.empty() || args.allPorts || !args.restoreFrom.empty() || !args.positional.empty())
      return Usage("restore --list takes no PORT and no --from (try kvctl restore --help)");
    const std::string folder = args.backupDir.empty() ? DefaultBackupFolder() : args.backupDir;
    if (folder.empty()) return Usage("no home folder is known for the backups: give --backup-dir DIR");
    return CmdListBackups(folder);
  }
  if (spec->provisions)
    SetQuitAdvice(CommandLineAgain(argc, argv) +
                  (cmd == "watch" ? " (PORT: each tracker that was being written)" : ""));
  std::vector<std::string> named = args.ports;
  if (args.allPorts || cmd == "scan") {
    for (const auto& p : TrackerPorts()) named.push_back(p);
  }
  const std::vector<std::string> ports = DistinctPorts(named);
  const bool searched = args.allPorts || cmd == "scan";
  if (spec->takesPorts && ports.empty() && !searched) {
    if (spec->trailing != 0)
      return Usage(cmd + " needs a PORT and " + std::string(spec->trailingWhat) + " (try kvctl " + cmd + " --help)");
    return Usage(cmd + " needs a PORT (or --port, --all)");
  }
  // A sped-up clock makes a real tracker's answers look late: it is for
  // tests against simulated trackers only.
  if (platform::ClockSpeed() != 1.0) {
    for (const auto& port : ports)
      if (!IsSimulatedTracker(port))
        return Usage("--clock-speed is for simulated trackers only, and " + port + " is not one (nothing was sent)");
  }
  SettingsFileInput settingsFile;
  if (const int refused = CheckBeforeSending(args, ports, settingsFile); refused != kExitOk) return refused;
  if ((spec->takesPorts || cmd == "scan") && ports.empty()) {
    // No tracker port found is a failure of the job, not of the line.
    console::Err("kvctl: no tracker port found");
    return kExitFailed;
  }
  ProvisionSetup setup;
  if (spec->provisions) {
    const bool watchUpdate = cmd == "watch" && args.positional[0] == "update";
    const bool takesFile = cmd == "set" || (cmd == "watch" && !watchUpdate);
    const std::string command = watchUpdate ? "update" : cmd == "watch" ? "watch set" : cmd;
    if (const int refused = PrepareProvision(args, command, takesFile ? &settingsFile : nullptr, setup);
        refused != kExitOk)
      return refused;
    setup.plan.printSteps = cmd != "watch";  // watch prints one line per tracker
  }
  // The trace starts only now that every input was read.
  if (!args.traceFile.empty() && !StartTrace(args.traceFile, error))
    return Usage("cannot write the trace file " + args.traceFile + ": " + error);

  int code = spec->run(CommandCall{args, ports, settingsFile, setup});
  if (!FinishTrace(error)) {
    console::Err("kvctl: the trace was not written to " + args.traceFile + ": " + error);
    code = WorseExit(code, kExitFailed);
  }
  if (interrupt::Requested()) {
    // A probe that was not waited for may still hold its port.
    platform::ReleasePortsForExit();
    return interrupt::EXIT_INTERRUPTED;
  }
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any file is opened: descriptors 0 to 2 taken, broken pipes ignored.
  PrepareStandardStreams();
  std::vector<std::string> words;
  std::string error;
  if (!ProgramArguments(argc, argv, words, error)) {
    console::Err("kvctl: " + error);
    return console::FinishOutput(kExitUsage);
  }
  std::vector<char*> utf8Argv;
  for (std::string& word : words) utf8Argv.push_back(word.data());
  utf8Argv.push_back(nullptr);
  return console::FinishOutput(Run(static_cast<int>(words.size()), utf8Argv.data()));
}
