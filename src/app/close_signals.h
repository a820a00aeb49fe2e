// Interrupt (SIGINT), terminate (SIGTERM) and hang-up (SIGHUP) for kvtool.
//
// A signal is a request to close the main window, carried out as the close
// box does it and never midway through work on a tracker: a settings write,
// a read, Start's probe or an update runs to its end first, and a box that
// tells the user what happened stays until it is answered. An open Device
// Setting or Scan COM Port dialog is closed through its own close handling
// first. Until then the window keeps painting and taking input; each signal
// only asks again. kvtool says on standard error that it is closing; a
// broken pipe there (SIGPIPE is ignored meanwhile) does not end it.
//
// The handlers write to a pipe; a watcher thread turns each byte into a call
// posted to the main window. Without a pipe nothing is installed and signals
// act as the system's defaults. On Windows there is nothing to install.
//
// Thread contract: construct and destroy on the GUI thread, one at a time,
// while the window exists; the destructor stops the watcher, joins it and
// gives the signals their defaults back.
#pragma once

#include <thread>

#ifndef _WIN32
#include <signal.h>
#endif

#include "app/main_dlg.h"

class CloseOnSignals {
 public:
  explicit CloseOnSignals(CMainDlg& window);
  ~CloseOnSignals();
  CloseOnSignals(const CloseOnSignals&) = delete;
  CloseOnSignals& operator=(const CloseOnSignals&) = delete;

 private:
  std::thread watcher_;
#ifndef _WIN32
  struct sigaction previousPipe_ {};
#endif
};
