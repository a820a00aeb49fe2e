// Exit statuses of kvctl (documented in its --help and man page). With
// several trackers the status is the worst one any tracker ended with
// (WorseExit).
//
// Thread contract: constants and a pure function, any thread.
#pragma once

enum ExitCode : int {
  kExitOk = 0,             // every tracker did what was asked
  kExitFailed = 1,         // a tracker did not answer, or a write/transfer failed
  kExitUsage = 2,          // the command line is wrong
  kExitOpenFailed = 3,     // a port could not be opened
  kExitRefused = 4,        // the settings or file were refused before anything was sent
  kExitNotVerified = 5,    // update: the image went out whole, but the tracker did not come back to confirm it
  kExitInterrupted = 130,  // Ctrl-C or SIGTERM: stopped at a safe point
};

// The worse of two trackers' statuses: the higher one, except that "sent,
// not verified" (5) ranks below every failure. It says only that a check
// could not be made, so a tracker confirmed to run the wrong firmware (1),
// an unopened port (3) or a refused file (4) beside it decides the status.
constexpr int WorseExit(int a, int b) {
  const auto rank = [](int code) { return code == kExitNotVerified ? 1 : 2 * code; };
  return rank(b) > rank(a) ? b : a;
}
