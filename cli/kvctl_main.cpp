// kvctl: every job of the KV-770 Tool from a terminal, for one tracker or a
// box of them at once.
#include <cstdio>
#include <map>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "console.h"
#include "exit_codes.h"
#include "trace_file.h"

namespace {

const char kUsage[] =
    "Usage: kvctl [--trace FILE] COMMAND [PORT | --port PORT... | --all] [ARGS]\n"
    "\n"
    "Commands:\n"
    "  ports [--all-serial]        list tracker ports (every serial port with --all-serial)\n"
    "  probe PORT                  check that a tracker answers\n"
    "  imei PORT                   connect and print the tracker's IMEI\n"
    "  version PORT                print the firmware version and settings layout\n"
    "  get PORT [-o FILE] [--json] read the settings (settings-file format, or JSON)\n"
    "  set PORT FILE               check, write and verify the settings of FILE\n"
    "  diff PORT FILE              settings that differ between tracker and FILE\n"
    "  update PORT FIRMWARE        send a firmware image to the boot loader\n"
    "  scan                        probe every tracker port at once\n"
    "\n"
    "Several trackers: repeat --port, or --all for every tracker port; each runs on\n"
    "its own thread and a summary table follows. Ports are device names (ttyUSB0)\n"
    "or paths (/dev/pts/5).\n"
    "\n"
    "Options:\n"
    "  --trace FILE   write every byte sent and received, with time stamps\n"
    "  --help         this text, or a command's own help after the command\n"
    "\n"
    "Exit status: 0 success on every tracker; 1 a tracker did not answer or a write\n"
    "or update failed; 2 wrong command line; 3 a port could not be opened; 4 the\n"
    "settings or file were refused before anything was sent. With several trackers,\n"
    "the highest status of any.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"ports", "Usage: kvctl ports [--all-serial]\nLists the tracker ports (Prolific USB-to-Serial bridges and running simulated\ntrackers) with their friendly names; --all-serial lists every serial port.\n"},
    {"probe", "Usage: kvctl probe PORT...\nOpens each port at 115200 baud and sends \"ati\" until a tracker answers\n(about 25 s at most); a port that hangs up meanwhile is reported as lost at\nonce. Exit 0 when every tracker answered.\n"},
    {"imei", "Usage: kvctl imei PORT...\nProbes the tracker, selects its run mode (\"2\") and prints its IMEI.\n"},
    {"version", "Usage: kvctl version PORT...\nAsks the tracker for its firmware version (\"kv+fwv\") and prints it with the\nsettings layout it selects: basic when the version holds a Q, else extended.\n"},
    {"get", "Usage: kvctl get PORT... [-o FILE] [--json]\nReads the four settings messages and prints the settings in the settings-file\nformat, or writes them to FILE (with several trackers, %p in FILE becomes the\nport). --json prints them as JSON keyed by the settings' identifiers.\nExit 1 when a message got no reply.\n"},
    {"set", "Usage: kvctl set PORT... FILE\nLoads FILE in the tracker's layout and checks it: a text holding a comma or a\ncontrol byte, or a message over 127 characters, is refused (exit 4) before\nanything is deleted on the tracker. Then deletes, writes and reads back each\nmessage, printing each step, and prints the verdict. Exit 0 only for\n\"Setting Message OK \".\n"},
    {"diff", "Usage: kvctl diff PORT... FILE\nReads the tracker's settings and prints, by caption, each setting whose value\ndiffers from FILE (a list the file leaves empty is not compared). Exit 0 when\nnone differs, 1 when some do.\n"},
    {"update", "Usage: kvctl update PORT... FIRMWARE\nOpens and measures FIRMWARE first: a missing, unreadable or empty image, or one\nwhose full path does not fit the header block, is refused (exit 4) before the\ntracker hears anything. Then probes the tracker, selects the boot loader's\ndownload (\"1\"), waits up to 3000 ms for its prompt and sends FIRMWARE with\nYMODEM at 115200 baud, under its full path without the leading slash. Shows a\nprogress bar (bytes, percent, rate, time left, counted from the first data\nblock) on a terminal, plain lines otherwise, and ends with the bytes, seconds\nand rate of the data. Exit 0 when the image went out completely.\n"},
    {"scan", "Usage: kvctl scan\nProbes every tracker port at once and prints each result:\nOpen Success, Check failed or Open failed.\n"},
};

}  // namespace

int main(int argc, char** argv) {
  CliArgs args;
  std::string error;
  if (!ParseCliArgs(argc, argv, args, error)) {
    console::Err("kvctl: " + error + " (try kvctl --help)");
    return kExitUsage;
  }
  if (args.help || args.command == "help") {
    const auto it = kCommandHelp.find(args.command);
    console::Raw(it != kCommandHelp.end() ? it->second : kUsage);
    return kExitOk;
  }
  if (!args.traceFile.empty() && !StartTrace(args.traceFile, error)) {
    console::Err("kvctl: cannot write the trace file " + args.traceFile + " (" + error + ")");
    return kExitUsage;
  }
  std::vector<std::string> ports = args.ports;
  if (args.allPorts) {
    for (const auto& p : TrackerPorts()) ports.push_back(p);
  }
  auto needPorts = [&]() {
    if (!ports.empty()) return true;
    console::Err(args.allPorts ? "kvctl: no tracker port found"
                               : "kvctl: " + args.command + " needs a PORT (or --port, --all)");
    return false;
  };

  int code = kExitUsage;
  const std::string& cmd = args.command;
  if (cmd == "ports") {
    code = CmdPorts(args.allSerial);
  } else if (cmd == "scan") {
    ports = TrackerPorts();
    if (ports.empty()) {
      console::Err("kvctl: no tracker port found");
      code = kExitFailed;
    } else {
      code = CmdScan(ports);
    }
  } else if (cmd == "probe") {
    code = needPorts() ? CmdProbe(ports) : kExitUsage;
  } else if (cmd == "imei") {
    code = needPorts() ? CmdImei(ports) : kExitUsage;
  } else if (cmd == "version") {
    code = needPorts() ? CmdVersion(ports) : kExitUsage;
  } else if (cmd == "get") {
    code = needPorts() ? CmdGet(ports, args.outputFile, args.json) : kExitUsage;
  } else if (cmd == "update") {
    if (args.positional.size() != 1) {
      console::Err("kvctl: update needs a PORT and a FIRMWARE image (try kvctl update --help)");
    } else if (needPorts()) {
      code = CmdUpdate(ports, args.positional[0]);
    }
  } else if (cmd == "set" || cmd == "diff") {
    if (args.positional.size() != 1) {
      console::Err("kvctl: " + cmd + " needs a PORT and a settings FILE (try kvctl " + cmd + " --help)");
    } else if (needPorts()) {
      code = cmd == "set" ? CmdSet(ports, args.positional[0]) : CmdDiff(ports, args.positional[0]);
    }
  } else {
    console::Err("kvctl: unknown command " + cmd + " (try kvctl --help)");
  }
  StopTrace();
  return code;
}
