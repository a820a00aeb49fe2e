// The line kvctl prints when a second Ctrl-C makes it quit at once, kept
// where a signal handler (or Windows' console handler) can read it at any
// moment. It is held in two buffers: a change fills the one not in use and
// then switches, so a handler never reads a line half written.
//
// Thread contract: QuitLine from any thread, a signal
// handler included (async-signal-safe); the setters from one thread at a time.
#pragma once

#include <cstddef>
#include <string>

// The whole line, from "\nkvctl: " to its line end, and its `length`
// (both from one buffer, also while the line changes).
const char* QuitLine(std::size_t& length);

// The command that finishes the job, for the line a quit at once prints
// ("... to finish the job, run: COMMAND"); without it the line says "run it
// again". Set on the main thread before any port is opened; a command too
// long for the buffer leaves the line before in place.
void SetQuitAdvice(const std::string& command);

// The whole line from now on, for a job whose state changed so that the
// advice no longer fits (an update whose transfer is complete). A text too
// long for the buffer leaves the line before in place.
void SetQuitLine(const std::string& text);
