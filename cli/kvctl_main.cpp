// kvctl: every job of the KV-770 Tool from a terminal, for one tracker or a
// box of them at once.
#include <cstdio>
#include <map>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "console.h"
#include "exit_codes.h"
#include "provision_setup.h"
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
    "  set PORT FILE               back up, then check, write and verify the settings of FILE\n"
    "  set --profiles CSV FILE     the same with each tracker's own row of CSV (by IMEI)\n"
    "  restore PORT                write the tracker's newest backup back\n"
    "  watch set [--profiles CSV] FILE\n"
    "                              provision each tracker as it is plugged in, until Ctrl-C\n"
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
    "  --backup-dir DIR  where set and restore keep backups (default\n"
    "                 $XDG_DATA_HOME/kv770/backups, else ~/.local/share/kv770/backups)\n"
    "  --no-backup    set writes without reading a backup first\n"
    "  --log FILE     the audit log set, restore and update append to (default\n"
    "                 $XDG_STATE_HOME/kv770/audit.jsonl, else ~/.local/state/kv770/audit.jsonl)\n"
    "  --help         this text, or a command's own help after the command\n"
    "\n"
    "Exit status: 0 success on every tracker; 1 a tracker did not answer or a write\n"
    "or update failed; 2 wrong command line; 3 a port could not be opened; 4 the\n"
    "settings or file were refused before anything was sent. With several trackers,\n"
    "the highest status of any.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"ports", "Usage: kvctl ports [--all-serial]\nLists the tracker ports (Prolific USB-to-Serial bridges and running simulated\ntrackers) with their friendly names; --all-serial lists every serial port.\n"},
    {"probe", "Usage: kvctl probe PORT...\nOpens each port at 115200 baud and sends \"ati\" until a tracker answers\n(about 25 s at most). Exit 0 when every tracker answered.\n"},
    {"imei", "Usage: kvctl imei PORT...\nProbes the tracker, selects its run mode (\"2\") and prints its IMEI.\n"},
    {"version", "Usage: kvctl version PORT...\nAsks the tracker for its firmware version (\"kv+fwv\") and prints it with the\nsettings layout it selects: basic when the version holds a Q, else extended.\n"},
    {"get", "Usage: kvctl get PORT... [-o FILE] [--json]\nReads the four settings messages and prints the settings in the settings-file\nformat, or writes them to FILE (with several trackers, %p in FILE becomes the\nport). --json prints them as JSON keyed by the settings' identifiers.\nExit 1 when a message got no reply.\n"},
    {"set", "Usage: kvctl set PORT... [--profiles CSV [--only-listed]] [--backup-dir DIR | --no-backup]\n"
            "                 [--log FILE] FILE\n"
            "Loads FILE in the tracker's layout and checks it: a text holding a comma or a\n"
            "control byte, or a message over 127 characters, is refused (exit 4) before\n"
            "anything is deleted on the tracker. Then reads the tracker's settings and\n"
            "saves them as a backup, <IMEI>-YYYYMMDD-HHMMSS.ini (UTC) in the backup folder;\n"
            "if that read or save fails nothing is written (exit 1) unless --no-backup.\n"
            "Then deletes, writes and reads back each message, printing each step, and\n"
            "prints the verdict. Exit 0 only for \"Setting Message OK \".\n"
            "\n"
            "--profiles CSV: a table whose first row names the columns, IMEI and then keys\n"
            "of the settings file (e.g. IMEI,DEVICE,User name,SOS number1); each row's\n"
            "non-empty cells replace FILE's values for the tracker with that IMEI (an empty\n"
            "cell keeps FILE's value). A tracker without a row gets FILE alone, or is\n"
            "skipped with --only-listed. The whole table is checked before any tracker is\n"
            "touched: an unknown column, a repeated IMEI or a value the check refuses ends\n"
            "kvctl with exit 4, naming the row and column.\n"
            "\n"
            "Each tracker appends one JSON line to the audit log (see kvctl --help).\n"},
    {"restore", "Usage: kvctl restore PORT... [--backup-dir DIR] [--log FILE]\n"
                "Asks the tracker for its IMEI and writes the newest backup of that IMEI from\n"
                "the backup folder back, as set does (the settings it holds now are backed up\n"
                "first, so a second restore undoes the first). Exit 4 when the tracker has no\n"
                "backup.\n"},
    {"watch", "Usage: kvctl watch set [--profiles CSV [--only-listed]] [--backup-dir DIR | --no-backup]\n"
              "                       [--log FILE] FILE\n"
              "Waits for tracker ports to appear (USB bridges being plugged in, simulated\n"
              "trackers being started) and runs set on each new one, once, on its own thread.\n"
              "Prints one line per tracker: port, IMEI, verdict, seconds. A tracker that stays\n"
              "plugged in is not written again; one plugged in again is, and its line says\n"
              "so. Ports present when watch starts are left alone. Ctrl-C lets the trackers\n"
              "in progress finish, then prints how many were written, failed and skipped\n"
              "(a second Ctrl-C quits at once). Exit status: the highest of any tracker.\n"},
    {"diff", "Usage: kvctl diff PORT... FILE\nReads the tracker's settings and prints, by caption, each setting whose value\ndiffers from FILE (a list the file leaves empty is not compared). Exit 0 when\nnone differs, 1 when some do.\n"},
    {"update", "Usage: kvctl update PORT... FIRMWARE\nProbes the tracker, selects the boot loader's download (\"1\"), waits up to\n3000 ms for its prompt, then sends FIRMWARE with YMODEM at 115200 baud. Shows a\nprogress bar (bytes, percent, rate, time left) on a terminal, plain lines\notherwise. Exit 0 when the image went out completely. Each tracker appends one\nJSON line to the audit log (--log FILE; see kvctl --help).\n"},
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
  const bool provisionOptions = !args.profilesFile.empty() || args.onlyListed || !args.backupDir.empty() ||
                                args.noBackup || !args.logFile.empty();
  if (provisionOptions && cmd != "set" && cmd != "restore" && cmd != "update" && cmd != "watch") {
    console::Err("kvctl: --profiles, --only-listed, --backup-dir, --no-backup and --log belong to set, restore, "
                 "update and watch (try kvctl --help)");
    StopTrace();
    return kExitUsage;
  }
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
    ProvisionSetup setup;
    if (args.positional.size() != 1) {
      console::Err("kvctl: update needs a PORT and a FIRMWARE image (try kvctl update --help)");
    } else if (needPorts() && (code = PrepareProvision(args, cmd, "", setup)) == kExitOk) {
      code = CmdUpdate(ports, args.positional[0], &setup.log);
    }
  } else if (cmd == "restore") {
    ProvisionSetup setup;
    if (!args.positional.empty()) {
      console::Err("kvctl: restore takes only PORTs (try kvctl restore --help)");
    } else if (needPorts() && (code = PrepareProvision(args, cmd, "", setup)) == kExitOk) {
      code = CmdRestore(ports, setup.plan);
    }
  } else if (cmd == "watch") {
    ProvisionSetup setup;
    if (args.positional.size() != 2 || args.positional[0] != "set" || !args.ports.empty() || args.allPorts) {
      console::Err("kvctl: watch needs set and a settings FILE, and no ports (try kvctl watch --help)");
    } else if ((code = PrepareProvision(args, "watch set", args.positional[1], setup)) == kExitOk) {
      setup.plan.printSteps = false;
      code = CmdWatchSet(setup.plan);
    }
  } else if (cmd == "set") {
    ProvisionSetup setup;
    if (args.positional.size() != 1) {
      console::Err("kvctl: set needs a PORT and a settings FILE (try kvctl set --help)");
    } else if (needPorts() && (code = PrepareProvision(args, cmd, args.positional[0], setup)) == kExitOk) {
      code = CmdSet(ports, setup.plan);
    }
  } else if (cmd == "diff") {
    if (args.positional.size() != 1) {
      console::Err("kvctl: diff needs a PORT and a settings FILE (try kvctl diff --help)");
    } else if (needPorts()) {
      code = CmdDiff(ports, args.positional[0]);
    }
  } else {
    console::Err("kvctl: unknown command " + cmd + " (try kvctl --help)");
  }
  StopTrace();
  return code;
}
