// kvtool's command line:
//   kvtool [--port NAME]     the main window, NAME selected in its port list
//   kvtool --help | --version
//
// Thread contract: plain functions, any thread.
#pragma once

#include <string>

struct ToolCommandLine {
  std::string port;
  bool showHelp = false;
  bool showVersion = false;
};

// True when the arguments ask for a run without a window (help or version),
// so no display is needed. Looks only for the exact flags.
bool WantsTerminalOnly(int argc, const char* const* argv);

// Parses argv[1..argc-1] ("--port NAME" or "--port=NAME"). False with a
// one-line `error` for an unknown option or a missing value.
bool ParseToolCommandLine(int argc, const char* const* argv, ToolCommandLine& options, std::string& error);

std::string ToolUsage();
