// Exit statuses of kvctl (documented in its --help and man page). With
// several trackers the status is the highest one any tracker ended with.
#pragma once

enum ExitCode : int {
  kExitOk = 0,          // every tracker did what was asked
  kExitFailed = 1,      // a tracker did not answer, or a write/transfer failed
  kExitUsage = 2,       // the command line is wrong
  kExitOpenFailed = 3,  // a port could not be opened
  kExitRefused = 4,     // the settings or file were refused before anything was sent
  kExitNotVerified = 5, // update: the image went out whole, but the tracker did not come back to confirm it
  kExitInterrupted = 130,  // Ctrl-C or SIGTERM: stopped at a safe point
};
