#include "cli_args.h"

#include <string_view>

#include "command_table.h"

namespace {

// Stores the value of one option in `args`; false with `error` for a bad one.
bool Apply(std::string_view name, const std::string& value, CliArgs& args, std::string& error) {
  if (name == "--help") args.help = true;
  else if (name == "--trace") args.traceFile = value;
  else if (name == "--port") args.ports.push_back(value);
  else if (name == "--all") args.allPorts = true;
  else if (name == "--all-serial") args.allSerial = true;
  else if (name == "--json") args.json = true;
  else if (name == "--strict") args.strict = true;
  else if (name == "--output") args.outputFile = value;
  else if (name == "--profiles") args.profilesFile = value;
  else if (name == "--only-listed") args.onlyListed = true;
  else if (name == "--backup-dir") args.backupDir = value;
  else if (name == "--no-backup") args.noBackup = true;
  else if (name == "--log") args.logFile = value;
  else if (name == "--no-verify") args.noVerify = true;
  else if (name == "--no-log") args.noLog = true;
  else if (name == "--from") args.restoreFrom = value;
  else if (name == "--list") args.listBackups = true;
  else if (name == "--expect-version") {
    args.expectVersion = value;
    args.expectVersionGiven = true;
  } else if (name == "--clock-speed") {
    if (!cmdline::ParseClockSpeed(value, args.clockSpeed)) {
      error = "--clock-speed needs a number above 0 and at most 1000, not \"" + value + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseCliArgs(int argc, char** argv, CliArgs& args, std::string& error) {
  std::vector<cmdline::OptionSpec> syntax;
  for (const KvctlOptionSpec& option : KvctlOptions()) syntax.push_back(option.syntax);
  std::vector<cmdline::Word> words;
  if (!cmdline::SplitCommandLine(argc, argv, syntax, words, error)) return false;

  std::vector<std::string> loose;
  for (const cmdline::Word& word : words) {
    if (!word.option) {
      if (args.command.empty()) args.command = word.text;
      else loose.push_back(word.text);
      continue;
    }
    // `syntax` was made from KvctlOptions() in its order.
    const KvctlOptionSpec& option = KvctlOptions()[static_cast<std::size_t>(word.option - syntax.data())];
    args.givenOptions.emplace_back(std::string(option.syntax.name), option.allowedBy);
    if (!Apply(word.option->name, word.text, args, error)) return false;
  }
  if (args.command.empty()) {
    if (args.help) return true;
    error = "no command given";
    return false;
  }
  if (args.command == "help") {
    // "kvctl help set" asks for the help of set.
    if (loose.size() > 1) {
      error = "help takes one command at most";
      return false;
    }
    if (!loose.empty()) args.command = loose.front();
    args.help = true;
    return true;
  }
  const CommandSpec* spec = FindCommand(args.command);
  if (args.command == "watch" || !spec) {
    args.positional = loose;  // watch: "set" and the settings FILE, or "update" and the FIRMWARE
    return true;
  }
  if (!spec->takesPorts) {
    if (!loose.empty()) {
      error = args.command + " takes no PORT or other argument (\"" + loose.front() + "\")";
      return false;
    }
    return true;
  }
  // Every loose word before the command's own arguments is a port: no port
  // named on the line is ever left out.
  while (loose.size() > spec->trailing) {
    args.ports.push_back(loose.front());
    loose.erase(loose.begin());
  }
  args.positional = loose;
  return true;
}
