#include "wait_notice.h"

#include <unistd.h>

#include <cstdio>

#include "console.h"

const char SWITCHING_NOTICE[] = "Switching to the boot loader\xE2\x80\xA6";
const char RECEIVER_NOTICE[] = "Waiting for the receiver\xE2\x80\xA6";

std::string ConnectingNotice(const std::string& port) {
  return "Connecting to the tracker on " + port + "\xE2\x80\xA6";
}

WaitNotice::WaitNotice(const JobContext& context)
    : inPlace_(!context.Prefixed() && console::CanRedrawLine(STDERR_FILENO)),
      // One job runs when the notice is drawn in place, so nothing else
      // writes to standard error between its pieces.
      raw_([](const std::string& text) { console::RawErr(text); }),
      line_([&context](const std::string& text) {
        console::Err(context.Prefixed() ? "[" + context.Port() + "] " + text : text);
      }) {}

void WaitNotice::Show(const std::string& text) {
  if (inPlace_) {
    raw_("\r" + text + "\033[K");
  } else {
    line_(text);
  }
  shown_ = true;
}

void WaitNotice::Clear() {
  if (inPlace_ && shown_) raw_("\r\033[K");
  shown_ = false;
}
