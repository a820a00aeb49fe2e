#include "cli_args.h"

#include <cstdlib>
#include <string_view>

namespace {
// Commands whose loose words are ports.
bool TakesPort(const std::string& command) {
  return command != "ports" && command != "scan" && command != "help" && command != "watch";
}

// Words a command needs after its ports (the settings file, the image).
std::size_t TrailingArguments(const std::string& command) {
  return command == "set" || command == "diff" || command == "update" ? 1 : 0;
}

// A clock speed: a finite number above zero and at most 1000 (beyond that a
// millisecond wait is shorter than a system call).
bool ParseClockSpeed(const std::string& text, double& value) {
  // Digits first: strtod would skip blanks and take a sign, "inf" or "nan".
  if (text.empty() || text.size() > 32 || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(v > 0.0 && v <= 1000.0)) return false;
  value = v;
  return true;
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
    } else if (a == "--strict") {
      args.strict = true;
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
    } else if (a == "--no-verify") {
      args.noVerify = true;
    } else if (a == "--expect-version") {
      if (!value("--expect-version", args.expectVersion)) return false;
      args.expectVersionGiven = true;
    } else if (a == "--no-log") {
      args.noLog = true;
    } else if (a == "--from") {
      if (!value("--from", args.restoreFrom)) return false;
    } else if (a == "--list") {
      args.listBackups = true;
    } else if (a == "--clock-speed") {
      std::string speed;
      if (!value("--clock-speed", speed)) return false;
      if (!ParseClockSpeed(speed, args.clockSpeed)) {
        error = "--clock-speed needs a number above 0 and at most 1000, not \"" + speed + "\"";
        return false;
      }
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
  if (args.command == "watch") {
    args.positional = loose;  // "set" and the settings FILE, or "update" and the FIRMWARE
    return true;
  }
  if (!TakesPort(args.command)) {
    if (!loose.empty()) {
      error = args.command + " takes no PORT or other argument (\"" + loose.front() + "\")";
      return false;
    }
    return true;
  }
  // Every loose word before the command's own arguments is a port: no port
  // named on the line is ever left out.
  const std::size_t trailing = TrailingArguments(args.command);
  while (loose.size() > trailing) {
    args.ports.push_back(loose.front());
    loose.erase(loose.begin());
  }
  args.positional = loose;
  return true;
}
