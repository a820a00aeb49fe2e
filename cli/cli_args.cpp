#include "cli_args.h"

#include <string_view>

namespace {
// Commands whose first positional argument is a port.
bool TakesPort(const std::string& command) {
  return command != "ports" && command != "scan" && command != "help" && command != "watch";
}
}  // namespace

bool ParseCliArgs(int argc, char** argv, CliArgs& args, std::string& error) {
  std::vector<std::string> loose;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&](const char* name, std::string& into) {
      if (i + 1 >= argc) {
        error = std::string(name) + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      args.help = true;
    } else if (a == "--trace") {
      if (!value("--trace", args.traceFile)) return false;
    } else if (a == "--port" || a == "-p") {
      std::string port;
      if (!value("--port", port)) return false;
      args.ports.push_back(port);
    } else if (a == "--all") {
      args.allPorts = true;
    } else if (a == "--all-serial") {
      args.allSerial = true;
    } else if (a == "--json") {
      args.json = true;
    } else if (a == "-o" || a == "--output") {
      if (!value("-o", args.outputFile)) return false;
    } else if (a == "--profiles") {
      if (!value("--profiles", args.profilesFile)) return false;
    } else if (a == "--only-listed") {
      args.onlyListed = true;
    } else if (a == "--backup-dir") {
      if (!value("--backup-dir", args.backupDir)) return false;
    } else if (a == "--no-backup") {
      args.noBackup = true;
    } else if (a == "--log") {
      if (!value("--log", args.logFile)) return false;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option " + std::string(a);
      return false;
    } else if (args.command.empty()) {
      args.command = std::string(a);
    } else {
      loose.emplace_back(a);
    }
  }
  if (args.command.empty()) {
    if (args.help) return true;
    error = "no command given";
    return false;
  }
  // The first loose word is the port when no --port/--all named one.
  if (TakesPort(args.command) && args.ports.empty() && !args.allPorts && !loose.empty()) {
    args.ports.push_back(loose.front());
    loose.erase(loose.begin());
  }
  args.positional = loose;
  return true;
}
