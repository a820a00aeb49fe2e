// Output of kvctl: whole lines, safe to write from several tracker threads.
// Errors go to standard error with the tool's own text plus the detail.
//
// A write that fails (a reader that went away, a full disk, a terminal that
// hung up) marks its stream as lost; nothing more is written to it, the job
// goes on, and FinishOutput makes the exit status say the report was lost.
//
// The lock that keeps lines whole is never destroyed: kvctl's own threads
// end before main returns (job threads and the interrupt watcher are joined,
// probes stopped and waited for), but a settings session's callback that
// outran its session's stop bound (settings_exchange.h) may still print while
// the process exits.
#pragma once

#include <cstdio>
#include <string>

namespace console {

void Out(const std::string& line);  // one line to stdout
void Err(const std::string& line);  // one line to stderr
// Writes text to stdout without a line end (progress bars); flushes.
void Raw(const std::string& text);
// The same to stderr (notices redrawn in place).
void RawErr(const std::string& text);
bool StdoutIsTerminal();
// True when `fd` is a terminal that can redraw a line in place (carriage
// return and erase to the end of the line): not a file or pipe, and TERM is
// set and not "dumb".
bool CanRedrawLine(int fd);

// True once a write to standard output failed (or it was closed at start
// and something was meant for it).
bool StdoutLost();

// Flushes both streams and returns `code`, raised to 1 when the report did
// not reach standard output or a message did not reach standard error; a
// lost standard output is said on standard error.
int FinishOutput(int code);

}  // namespace console
