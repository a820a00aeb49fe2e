// What set refuses because of its FILE, its profile table or its backup
// folder is refused before any port is opened: kvctl is pointed at a
// pseudo-terminal the test holds, and no byte (not even the probe's "ati")
// may arrive on it. kvctl runs at real speed (the test clock is for
// simulated trackers only): a check that wrongly waits for the probe takes
// its 25 s.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "run_program.h"
#include "scoped_runtime_folder.h"
#include "temp_folder.h"

namespace {

using test_support::TempFolder;
using test_support::WriteTestFile;

const std::string kKvctl = std::string(KV_BINARY_DIR) + "/kvctl";

// A pseudo-terminal whose far end is the port kvctl is given; Heard()
// returns whatever kvctl wrote to it.
class SilentPort {
 public:
  SilentPort() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) path_ = ::ptsname(master_);
  }
  ~SilentPort() {
    if (master_ >= 0) ::close(master_);
  }
  const std::string& Path() const { return path_; }
  std::string Heard() {
    std::string bytes;
    char buffer[256];
    for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;)
      bytes.append(buffer, static_cast<std::size_t>(n));
    return bytes;
  }

 private:
  int master_ = -1;
  std::string path_;
};

// A settings file that lacks most settings. Its message 1 is over 127
// characters in the extended layout only with a user name of 91 to 99
// characters (the extended layout adds disconnect_interval and five more).
std::string File(const std::string& userName, const std::string& server = "192.0.2.10") {
  return "[KV DEVICE SETTING]\r\nDEVICE=Van\r\n[MESSAGE 1]\r\nCheck return number=1\r\nPark time=30\r\n"
         "User name=" +
         userName +
         "\r\nSet time zone=+8.00\r\nReport mode=8\r\nReport interval time=600\r\n"
         "disconnect_interval=3600\r\n[MESSAGE 4]\r\nGPRS server address=" +
         server + "\r\n";
}

struct Case {
  std::string why;
  std::vector<std::string> options;
  std::string file;
  int code;
  std::string says;
};

TEST(KvctlPrecheck, RefusalsOfTheFileTableAndBackupFolderComeBeforeAnyByteReachesAPort) {
  ScopedRuntimeFolder runtime;
  TempFolder temp;
  SilentPort port;
  ASSERT_FALSE(port.Path().empty());
  WriteTestFile(temp.File("units.csv"), "IMEI,User name\n356938035643809,Van 1\n");
  const std::vector<Case> cases = {
      {"a comma in a text", {}, File("Van,7"), 4, "\"User Name\" (userName): comma at character 4"},
      {"a message over 127 characters", {}, File("Van", std::string(130, 's')), 4, "Message 4"},
      {"message 1 too long in the extended layout only",
       {},
       File(std::string(95, 'n')),
       4,
       "(trackers of the extended layout)"},
      {"--strict and a file that lacks settings", {"--strict"}, File("Van"), 4, "settings (--strict)"},
      {"--strict and a row that does not fill the gap",
       {"--strict", "--only-listed", "--profiles", temp.File("units.csv")},
       File("Van"),
       4,
       "neither the row nor"},
      {"a backup folder that cannot be written",
       {"--backup-dir", "/proc/self"},
       File("Van"),
       2,
       "cannot keep backups: /proc/self"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    WriteTestFile(temp.File("fleet.ini"), c.file);
    std::vector<std::string> args = {"set", port.Path(), "--log", temp.File("audit.jsonl")};
    if (c.options.empty() || c.options[0] != "--backup-dir")
      args.insert(args.end(), {"--backup-dir", temp.File("backups")});
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(temp.File("fleet.ini"));
    const ProgramRun run = RunProgram(kKvctl, args);
    EXPECT_EQ(run.exitCode, c.code) << run.out << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(port.Heard(), "") << "the port was probed before the refusal";
    EXPECT_EQ(run.err.find("Connecting"), std::string::npos) << run.err;
  }
}

}  // namespace
