// What kvctl is waiting for ("Connecting to the tracker on PORT…"), on
// standard error so that standard output keeps only results. On a terminal
// with one tracker the notice is one line redrawn in place and cleared again
// when the wait ends, so results print on a clean line; otherwise (a file, a
// pipe, several trackers at once) each notice is a plain line of its own,
// prefixed with the port when several trackers run.
//
// Thread contract: a notice belongs to its job's thread.
#pragma once

#include <functional>
#include <string>

#include "job_runner.h"

class WaitNotice {
 public:
  using Write = std::function<void(const std::string&)>;

  // `inPlace`: redraw with CR through `raw`; else whole lines through `line`.
  WaitNotice(bool inPlace, Write raw, Write line) : inPlace_(inPlace), raw_(std::move(raw)), line_(std::move(line)) {}
  // For a job: in place when standard error is a terminal that can redraw a
  // line (console::CanRedrawLine) and the job's lines are not prefixed;
  // plain lines go to standard error.
  explicit WaitNotice(const JobContext& context);
  ~WaitNotice() { Clear(); }
  WaitNotice(const WaitNotice&) = delete;
  WaitNotice& operator=(const WaitNotice&) = delete;

  // Shows what is awaited now (replacing the notice before it).
  void Show(const std::string& text);
  // Removes an in-place notice (nothing for plain lines); Show may follow.
  void Clear();

 private:
  bool inPlace_;
  Write raw_;
  Write line_;
  bool shown_ = false;
};

// The notices' texts.
std::string ConnectingNotice(const std::string& port);  // "Connecting to the tracker on PORT…"
extern const char SWITCHING_NOTICE[];                   // "Switching to the boot loader…"
extern const char RECEIVER_NOTICE[];                    // "Waiting for the receiver…"
