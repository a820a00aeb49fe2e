#include "command_table.h"

#include <algorithm>

#include "cli_args.h"
#include "commands.h"
#include "common/tool_timings.h"
#include "provision_setup.h"
#include "tracker_return.h"

namespace {

// The general part of kvctl --help, before and after the command list.
const char kUsageHead[] =
    "Usage: kvctl [--trace FILE] [--log FILE | --no-log] COMMAND [PORT... | --port PORT... | --all] [ARGS]\n"
    "\n";

const char kUsageTail[] =
    "\n"
    "Several trackers: name several ports, repeat --port, or --all for every\n"
    "tracker port; each runs on its own thread and a summary table follows. Every\n"
    "port named is used; a port named twice (also through a link to it) is used\n"
    "once. Ports are device names\n"
    "(ttyUSB0) or paths (/dev/pts/5); the terminal kvctl runs in is refused.\n"
    "\n"
    "Options:\n"
    "  --trace FILE   record every byte sent and received, with time stamps; the\n"
    "                 trace is kept in memory and written when kvctl ends (also\n"
    "                 after a first Ctrl-C); it may not be an input or output file\n"
    "  --profiles CSV set, watch set: each tracker's own values by IMEI (kvctl set --help);\n"
    "                 --only-listed skips trackers without a row\n"
    "  --backup-dir DIR  where set and restore keep backups (default\n"
    "                 $XDG_DATA_HOME/kv770/backups, else ~/.local/share/kv770/backups)\n"
    "  --no-backup    set writes without reading a backup first\n"
    "  --log FILE     the audit log that set, restore, update and watch append one\n"
    "                 JSON line per tracker to (default $XDG_STATE_HOME/kv770/audit.jsonl, else\n"
    "                 ~/.local/state/kv770/audit.jsonl)\n"
    "  --no-log       write no audit line\n"
    "  --help         this text, or a command's own help after the command\n"
    "  --clock-speed N  for tests against kvsim: every wait and time-out runs N\n"
    "                 times faster (0 < N <= 1000; kvsim --clock-speed N alike);\n"
    "                 refused (exit 2) for a port that is not a simulated tracker\n"
    "\n"
    "Files: input files are read whole before anything is sent, and set's settings\n"
    "file and profile table are checked, in both settings layouts, before any port\n"
    "is opened (kvctl set --help); a firmware image is read once into memory and\n"
    "that copy is sent. Output files (-o,\n"
    "the trace) are written whole beside the target and then moved into place, so\n"
    "a failure keeps the old file. A read-only file, a folder, a device or a\n"
    "symbolic link planted by another user in a shared sticky folder (/tmp) is\n"
    "refused before anything is sent. New output files, the trace and the audit log\n"
    "are readable by their owner only (they may hold the GPRS password).\n"
    "No output (-o, the trace, the audit log) may be an input (settings file,\n"
    "profile table, firmware image, restore --from's backup), however the path is\n"
    "spelled (symbolic link, hard link, ./name); the trace, the log and get's -o\n"
    "may not go into the backup folder, -o may not be the log, and two ports may\n"
    "not give one -o file. All are refused (exit 2) before anything is sent.\n"
    "\n"
    "Output: a report that does not reach standard output (| head that went away,\n"
    "a full disk, standard output closed) or standard error never stops a write or\n"
    "an update: every tracker in hand is finished and logged, and the exit status\n"
    "is at least 1. TERM=dumb or no terminal: notices are plain lines.\n"
    "\n"
    "Ctrl-C or SIGTERM: stops at the next safe point (a message text being entered\n"
    "is finished, an update is cancelled), releases the ports, writes the trace,\n"
    "prints the state each tracker is left in and the command that finishes the\n"
    "job, and exits with 130. A second Ctrl-C quits at once (the trace is then not\n"
    "written). SIGHUP (the terminal closed) stops nothing: every tracker in hand is\n"
    "finished; watch stops watching.\n"
    "\n"
    "Exit status: 0 success on every tracker; 1 a tracker did not answer, a write\n"
    "or update failed, an output file or the trace could not be written, or no\n"
    "tracker port was found (--all, scan), or the report was lost (standard output\n"
    "or error could not be written); 2 wrong command line; 3 a port could\n"
    "not be opened; 4 the settings or a file were refused before anything was\n"
    "sent; 5 an update was sent whole but the tracker did not come back to confirm\n"
    "it (sent, not verified); 130 interrupted. With several trackers, the worst\n"
    "status of any: the highest, except that 5 ranks below 1, 3 and 4.\n";

// The helps below give these timings in words.
static_assert(PROBE_POLLING_MS > 24000 && PROBE_POLLING_MS < 26000, "kvctl probe --help: about 25 s");
static_assert(FILE_PROMPT_WAIT_MS == 3000, "kvctl update --help: up to 3000 ms for the prompt");
static_assert(RETURN_WAIT_MS == 90000, "kvctl update and watch --help: up to 90 s for the tracker's return");
static_assert(MAIN_BAUD_RATE == 115200 && FIRMWARE_BAUD_RATE == 115200, "kvctl probe and update --help: 115200 baud");

UpdateOptions UpdateOptionsOf(const CliArgs& args) {
  UpdateOptions options;
  options.verify = !args.noVerify;
  options.expectVersion = args.expectVersion;
  return options;
}

int RunPorts(const CommandCall& c) { return CmdPorts(c.args.allSerial); }
int RunProbe(const CommandCall& c) { return CmdProbe(c.ports); }
int RunImei(const CommandCall& c) { return CmdImei(c.ports); }
int RunVersion(const CommandCall& c) { return CmdVersion(c.ports); }
int RunGet(const CommandCall& c) { return CmdGet(c.ports, c.args.outputFile, c.args.json); }
int RunSet(const CommandCall& c) { return CmdSet(c.ports, c.setup.plan); }
int RunRestore(const CommandCall& c) { return CmdRestore(c.ports, c.setup.plan); }
int RunDiff(const CommandCall& c) { return CmdDiff(c.ports, c.settingsFile); }
int RunScan(const CommandCall& c) { return CmdScan(c.ports); }
int RunUpdate(const CommandCall& c) {
  return CmdUpdate(c.ports, c.args.positional[0], c.setup.plan.log, UpdateOptionsOf(c.args));
}
int RunWatch(const CommandCall& c) {
  if (c.args.positional[0] != "update") return CmdWatchSet(c.setup.plan);
  UpdatePlan plan = MakeUpdatePlan(c.args.positional[1], UpdateOptionsOf(c.args));
  plan.log = c.setup.plan.log;
  return CmdWatchUpdate(plan);
}

// The help texts stay one literal each, as written (clang-format would cut them).
// clang-format off
const CommandSpec kCommands[] = {
    {"ports", false, 0, "", kOptAllSerial, false, false,
     // kvctl --help
    "  ports [--all-serial]        list tracker ports (every serial port with --all-serial)\n",
     // kvctl ports --help
     "Usage: kvctl ports [--all-serial]\nLists the tracker ports (Prolific USB-to-Serial bridges and running simulated\ntrackers) with their friendly names; --all-serial lists every serial port.\n",
     RunPorts},
    {"probe", true, 0, "", 0, false, false,
     // kvctl --help
    "  probe PORT...               check that a tracker answers\n",
     // kvctl probe --help
     "Usage: kvctl probe PORT...\nOpens each port at 115200 baud and sends \"ati\" until a tracker answers\n(about 25 s at most); a port that hangs up meanwhile is reported as lost at\nonce. Exit 0 when every tracker answered.\n",
     RunProbe},
    {"imei", true, 0, "", 0, false, false,
     // kvctl --help
    "  imei PORT...                connect and print the tracker's IMEI\n",
     // kvctl imei --help
     "Usage: kvctl imei PORT...\nProbes the tracker, selects its run mode (\"2\") and prints its IMEI.\n",
     RunImei},
    {"version", true, 0, "", 0, false, false,
     // kvctl --help
    "  version PORT...             print the firmware version and settings layout\n",
     // kvctl version --help
     "Usage: kvctl version PORT...\nAsks the tracker for its firmware version (\"kv+fwv\") and prints it with the\nsettings layout it selects: basic when the version holds a Q, else extended.\n",
     RunVersion},
    {"get", true, 0, "", kOptOutput | kOptJson, false, false,
     // kvctl --help
    "  get PORT... [-o FILE] [--json]\n"
    "                              read the settings (settings-file format, or JSON)\n",
     // kvctl get --help
     "Usage: kvctl get PORT... [-o FILE] [--json]\nReads the four settings messages and prints the settings in the settings-file\nformat, or writes them to FILE. %p in FILE becomes the port's name; with\nseveral trackers FILE must hold it (else exit 2 before anything is sent).\n--json prints them as UTF-8 JSON keyed by the settings' identifiers (the\ntracker's code page 1252 text as the characters it stands for); several\ntrackers' JSON on standard output is one array (the summary table then goes to\nstandard error).\nFILE is written whole and then moved into place; a file that cannot be written\nis refused (exit 4) before anything is sent. Exit 1 when a message got no reply.\n",
     RunGet},
    {"set", true, 1, "a settings FILE", kOptStrict | kOptProfiles | kOptBackups | kOptNoBackup | kOptLog, true, true,
     // kvctl --help
    "  set PORT... [--strict] FILE back up, then check, write and verify the settings of FILE\n"
    "  set PORT... --profiles CSV FILE\n"
    "                              the same with each tracker's own row of CSV (by IMEI)\n",
     // kvctl set --help
     "Usage: kvctl set PORT... [--strict] [--profiles CSV [--only-listed]]\n                 [--backup-dir DIR | --no-backup] [--log FILE | --no-log] FILE\nReads FILE whole and refuses it (exit 4, nothing sent) when it cannot be read\nor holds no setting at all (an empty or binary file, /dev/null). Before any\nport is opened, checks FILE (with each row of the profile table) in both\nsettings layouts, since a tracker's layout is known only once it is\nconnected: a text holding a comma or a control byte, a message over 127\ncharacters and, with --strict, a setting neither FILE nor the tracker's row\ngives are refused (exit 4, no tracker touched); the message names the layout\nwhen only one has the problem (message 1 is longer in the extended layout,\nwhich also has six settings of its own). A backup folder that cannot be\nwritten is refused (exit 2) before any port is opened too. Without --strict,\nsettings the file lacks for the tracker's layout are named on standard error\nand sent empty, as the window's Import does. Then reads the tracker's\nsettings and saves them as a backup, <IMEI>-YYYYMMDD-HHMMSS.ini (UTC), in the\nbackup folder; when that read or save fails nothing is written (exit 1) unless\n--no-backup. Then deletes, writes and reads back each message, printing each\nstep, and prints the verdict. Exit 0 only for \"Setting Message OK \".\nCtrl-C stops after the message in hand and names the messages that were\ndeleted and not yet rewritten, with the command that finishes the job (exit 130).\nA write that fails midway (the line lost, a message refused or never read back\nright) names them too, with the same command (exit 1).\n"
            "\n"
            "--profiles CSV: a table whose first row names the columns, IMEI and then keys\n"
            "of the settings file (e.g. IMEI,DEVICE,User name,SOS number1); each row's\n"
            "non-empty cells replace FILE's values for the tracker with that IMEI (an empty\n"
            "cell keeps FILE's value; a cell for a setting the tracker's layout does not\n"
            "hold is named on standard error as not sent). A tracker without a row gets\n"
            "FILE alone, or is skipped with --only-listed. The whole table is checked\n"
            "before any tracker is touched: a control byte (a NUL, a tab, a line end\n"
            "inside quotes) or a character code page 1252 cannot hold in a cell, an\n"
            "unknown column, an IMEI that is not 15 digits or appears twice, or a value\n"
            "the check refuses ends kvctl with exit 4, naming the row and column. A UTF-8\n"
            "table (with or without a byte-order mark) is converted to code page 1252\n"
            "like a settings file. Rows that matched no tracker are listed at the end.\n"
            "\n"
            "Each tracker appends one JSON line to the audit log (see kvctl --help).\n",
     RunSet},
    {"restore", true, 0, "", kOptRestore | kOptBackups | kOptLog, true, false,
     // kvctl --help
    "  restore PORT... [--from BACKUP]\n"
    "                              write the tracker's newest whole backup (or BACKUP) back\n"
    "  restore --list              list the backups and the one restore writes\n",
     // kvctl restore --help
     "Usage: kvctl restore PORT... [--from BACKUP] [--backup-dir DIR] [--log FILE | --no-log]\n"
                "       kvctl restore --list [--backup-dir DIR]\n"
                "Asks the tracker for its IMEI and writes the newest whole backup of that IMEI\n"
                "from the backup folder back: the four message texts the backup recorded, so\n"
                "the tracker's messages end byte for byte as they were, each checked on\n"
                "read-back. The settings it holds now are backed up first, so a second restore\n"
                "undoes the first.\n"
                "\n"
                "A backup taken while messages were missing on the tracker (deleted by an\n"
                "interrupted write) is passed over, and named. A restore that stopped midway\n"
                "(Ctrl-C, a lost line, kvctl killed) is noted in the backup folder, and the\n"
                "next plain restore of that tracker resumes it with the same backup.\n"
                "\n"
                "--from BACKUP writes that file instead; it is read and checked before any\n"
                "tracker is touched. --list prints every backup by IMEI, newest first, with its\n"
                "state and the one a plain restore writes; no tracker is touched.\n"
                "\n"
                "Refused with exit 4, nothing deleted: no whole backup; a backup that lacks\n"
                "settings, message texts or its IMEI (truncated), whose settings and texts\n"
                "disagree (edited), taken while messages were missing, of another IMEI, or of\n"
                "the other settings layout. A backup of an earlier kvctl has no message\n"
                "texts: a plain restore stops at it and names the --from command; with --from\n"
                "it is written from its settings (every one must be there), and a list the\n"
                "tracker held empty is written as a value.\n"
                "Ctrl-C stops after the message in hand and prints the command that finishes\n"
                "the restore (exit 130).\n",
     RunRestore},
    {"watch", false, 0, "", kOptStrict | kOptProfiles | kOptBackups | kOptNoBackup | kOptLog | kOptVerify, true, false,
     // kvctl --help
    "  watch set [--profiles CSV] FILE\n"
    "                              provision each tracker as it is plugged in, until Ctrl-C\n"
    "  watch update FIRMWARE       update each tracker as it is plugged in\n",
     // kvctl watch --help
     "Usage: kvctl watch set [--strict] [--profiles CSV [--only-listed]]\n"
              "                       [--backup-dir DIR | --no-backup] [--log FILE | --no-log] FILE\n"
              "       kvctl watch update [--expect-version TEXT | --no-verify] [--log FILE | --no-log]\n"
              "                          FIRMWARE\n"
              "Waits for tracker ports to appear (USB bridges being plugged in, simulated\n"
              "trackers being started) and runs set (or update) on each new one, once, on its\n"
              "own thread. Prints one line per tracker: port, IMEI, verdict, seconds (update:\n"
              "port, IMEI and version read after the update, verdict, seconds). A tracker that\n"
              "stays plugged in is not written again; with set, one plugged in again is, and\n"
              "its line says so. Ports present when watch starts are left alone. Ctrl-C lets\n"
              "the trackers in progress finish, then prints how many were written, failed and\n"
              "skipped (update: updated, not verified, failed and skipped); a second Ctrl-C\n"
              "stops them at their next safe point, a third quits at once. A hang-up or a\n"
              "standard output that cannot be written (| head that went away) acts as the\n"
              "first Ctrl-C.\n"
              "\n"
              "watch update: the tracker's identity is known only after its update (nothing\n"
              "is asked of it before the hand-off). A port whose tracker is restarting after\n"
              "its update is expected back: when it leaves the port list and comes back while\n"
              "its update waits, or comes back within 90 s after an update sent but not\n"
              "verified (its port went away), it is probed after its boot, not updated again,\n"
              "counted as skipped and logged. Only when it reports the IMEI read after the\n"
              "update there is it \"back after its update\"; after an update not verified\n"
              "that IMEI is unknown, so its line says only whether it runs the version\n"
              "expected, and any other tracker is to be plugged in again to be updated.\n"
              "With --no-verify each tracker ends after its transfer, as with update\n"
              "--no-verify: its line and audit record say \"sent, not verified\" (it counts\n"
              "as not verified, exit 0).\n"
              "Exit status: the worst of any tracker (as for several trackers, see kvctl\n"
              "--help; 130 after a second Ctrl-C).\n",
     RunWatch},
    {"diff", true, 1, "a settings FILE", 0, false, true,
     // kvctl --help
    "  diff PORT... FILE           settings that differ between tracker and FILE\n",
     // kvctl diff --help
     "Usage: kvctl diff PORT... FILE\nReads the tracker's settings and prints, by caption, each setting whose value\ndiffers from FILE (a list the file leaves empty is not compared). A file with\nno setting is refused (exit 4); settings it lacks are named. Exit 0 when none\ndiffers, 1 when some do.\n",
     RunDiff},
    {"update", true, 1, "a FIRMWARE image", kOptLog | kOptVerify, true, false,
     // kvctl --help
    "  update PORT... [--expect-version TEXT | --no-verify] FIRMWARE\n"
    "                              send a firmware image to the boot loader, then\n"
    "                              check the version the tracker restarts with\n",
     // kvctl update --help
     "Usage: kvctl update PORT... [--expect-version TEXT | --no-verify] [--log FILE | --no-log]\n"
               "                    FIRMWARE\n"
               "Opens and measures FIRMWARE first: a missing, unreadable or empty image, one of\n"
               "2 GiB or more (judged by its size alone), or one whose full path does not fit\n"
               "the header block, is refused (exit 4) before the tracker hears anything. Then\n"
               "reads the image once into memory: that copy is sent to every tracker, and its\n"
               "version and SHA-256 are taken from it, whatever happens to the file meanwhile.\n"
               "Prints the version the image names (\"image F-0KV...)\"): the one text that\n"
               "starts with F-0KV and ends with \")\" in it, or that it names none. Then probes\n"
               "the tracker, selects the boot loader's download (\"1\"), waits up to 3000 ms\n"
               "for its prompt and sends the copy with YMODEM at 115200 baud, under\n"
               "FIRMWARE's full path without the leading slash. Shows a progress bar (bytes,\n"
               "percent, rate, time left, counted from the first data block) on a terminal,\n"
               "plain lines otherwise, and ends with the bytes, seconds and rate of the data.\n"
               "Nothing is asked of the tracker before the transfer: reading its IMEI or\n"
               "version takes it out of its menu, and \"1\" would no longer start the boot loader.\n"
               "\n"
               "After the transfer the tracker restarts into the new firmware. kvctl waits up\n"
               "to 90 s for it to answer again (saying so), probes it, reads its IMEI and\n"
               "firmware version, prints them and ends with \"Update NAME Succeed\" (exit 0)\n"
               "when the version holds the one expected: --expect-version TEXT, else the\n"
               "image's own version (one of its version texts when it holds several\n"
               "different ones; any version when it holds none). TEXT counts whole: V1.5 is\n"
               "not found in V1.51; a TEXT no version can hold (over 64 characters, or a \")\"\n"
               "before its end) is refused (exit 2) before anything is sent. Another version:\n"
               "\"the tracker reports ..., not ...\" (exit 1). No answer within 90 s:\n"
               "\"sent, not verified\" (exit 5): the image went out whole, but nothing confirms\n"
               "that the tracker runs it; power it off and on and check with kvctl version.\n"
               "A port that goes away during the wait (cable pulled) ends it at once the same\n"
               "way: a tracker that appears under its name later need not be the one updated.\n"
               "--no-verify ends after the transfer with \"Update NAME Succeed\" (exit 0).\n"
               "\n"
               "Ctrl-C during the transfer cancels it (CAN CAN) and leaves the tracker in its\n"
               "boot loader (exit 130), as a second Ctrl-C that quits at once does, so the\n"
               "command it names can be run at once; during the wait afterwards it ends the\n"
               "wait and says that the transfer is complete (exit 130). Each tracker appends\n"
               "one JSON line to the audit log (--log FILE; see kvctl --help): the image's\n"
               "path, SHA-256 and version, the IMEI and version read after the update, and the\n"
               "verdict: updated, sent, not verified, failed, refused or interrupted. Several\n"
               "trackers end with a summary table; the exit status is the worst of theirs,\n"
               "where a failure (1, 3, 4) outranks sent, not verified (5).\n"
               "\n"
               "To update trackers one after another as they are plugged in, with this check\n"
               "and a line and audit record for each: kvctl watch update FIRMWARE (kvctl\n"
               "watch --help).\n",
     RunUpdate},
    {"scan", false, 0, "", 0, false, false,
     // kvctl --help
    "  scan                        probe every tracker port at once\n",
     // kvctl scan --help
     "Usage: kvctl scan\nProbes every tracker port at once and prints each result:\nOpen Success, Check failed or Open failed. Exit 1 when no tracker port is found.\n",
     RunScan},
};
// clang-format on

using cmdline::OptionSpec;
using cmdline::Takes;
const KvctlOptionSpec kOptions[] = {
    {{"--help", "-h", Takes::Nothing}, kOptCommon},
    {{"--trace", "", Takes::Value}, kOptCommon},
    {{"--clock-speed", "", Takes::Value}, kOptCommon},
    {{"--port", "-p", Takes::Value}, kOptPorts},
    {{"--all", "", Takes::Nothing}, kOptPorts},
    {{"--all-serial", "", Takes::Nothing}, kOptAllSerial},
    {{"--output", "-o", Takes::Value}, kOptOutput},
    {{"--json", "", Takes::Nothing}, kOptJson},
    {{"--strict", "", Takes::Nothing}, kOptStrict},
    {{"--profiles", "", Takes::Value}, kOptProfiles},
    {{"--only-listed", "", Takes::Nothing}, kOptProfiles},
    {{"--backup-dir", "", Takes::Value}, kOptBackups},
    {{"--no-backup", "", Takes::Nothing}, kOptNoBackup},
    {{"--log", "", Takes::Value}, kOptLog},
    {{"--no-log", "", Takes::Nothing}, kOptLog},
    {{"--no-verify", "", Takes::Nothing}, kOptVerify},
    {{"--expect-version", "", Takes::Value}, kOptVerify},
    {{"--from", "", Takes::Value}, kOptRestore},
    {{"--list", "", Takes::Nothing}, kOptRestore},
};

}  // namespace

std::span<const CommandSpec> KvctlCommands() { return kCommands; }

const CommandSpec* FindCommand(std::string_view name) {
  const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                               [name](const CommandSpec& spec) { return spec.name == name; });
  return it == std::end(kCommands) ? nullptr : &*it;
}

std::span<const KvctlOptionSpec> KvctlOptions() { return kOptions; }

std::string KvctlUsage() {
  std::string text = kUsageHead;
  text += "Commands:\n";
  for (const CommandSpec& spec : kCommands) text += spec.synopsis;
  return text + kUsageTail;
}
