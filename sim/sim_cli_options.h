// kvsim's command line: the options that shape the simulated tracker
// (SimOptions) and the program's own (link, quiet, help).
//
// Options are written "--name VALUE" or "--name=VALUE"; flags take no value.
// The line, GSM and boot loader parts of the simulator parse their own
// options; they are asked in turn for any option this table does not know.
//
// Thread contract: pure functions, main thread.
#pragma once

#include <string>

#include "sim_options.h"

namespace sim {

struct ProgramOptions {
  std::string linkPath;  // a symlink to the pseudo-terminal, made while running
  bool quiet = false;    // no notes on standard error
  // Test option: every pause and time-out of the tracker (line pacing
  // included) runs this many times faster; a program that talks to it must
  // run its clock at the same speed.
  double clockSpeed = 1.0;
  bool showHelp = false;
};

// Parses argv[1..argc-1] into `options` and, when given, `program` (without
// it the program's options are unknown). False with a one-line `error` for an
// unknown option, a missing value or a bad one; `options` may then be partly
// changed. Stops at --help.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error,
                     ProgramOptions* program = nullptr);

// The option lines of kvsim --help, the simulator parts' lines included.
std::string SimOptionsUsage();

}  // namespace sim
