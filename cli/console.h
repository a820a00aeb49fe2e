// Output of kvctl: whole lines, safe to write from several tracker threads.
// Errors go to standard error with the tool's own text plus the detail.
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
bool StdoutIsTerminal();

}  // namespace console
