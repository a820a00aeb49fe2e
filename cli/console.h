// Output of kvctl: whole lines, safe to write from several tracker threads.
// Errors go to standard error with the tool's own text plus the detail.
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
