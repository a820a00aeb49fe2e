// kvtool --probe-only: the main window's connection without a window. Opens
// the port, probes for a tracker, starts it with "2" and asks for its IMEI
// once a second until the reader has it, then prints it and disconnects.
// Failures print the texts the window would show in its message boxes.
//
// Thread contract: runs on the calling thread; starts and stops its own
// probe and reader threads.
#pragma once

#include <cstdio>
#include <string>

// Queries sent before giving up on an IMEI answer.
constexpr int TERMINAL_IMEI_TRIES = 10;

// `portName` empty: the last tracker port found, as the window selects it.
// Returns 0 when an IMEI was printed, 1 otherwise.
int RunTerminalProbe(const std::string& portName, std::FILE* out, std::FILE* err);
