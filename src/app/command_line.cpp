#include "app/command_line.h"

#include <string_view>

bool WantsTerminalOnly(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--help" || arg == "-h" || arg == "--version") return true;
  }
  return false;
}

bool ParseToolCommandLine(int argc, const char* const* argv, ToolCommandLine& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--help" || arg == "-h") {
      options.showHelp = true;
    } else if (arg == "--version") {
      options.showVersion = true;
    } else if (arg == "--port") {
      if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
        error = "--port needs a port name";
        return false;
      }
      options.port = argv[++i];
    } else if (arg.substr(0, 7) == "--port=") {
      options.port = std::string(arg.substr(7));
      if (options.port.empty()) {
        error = "--port needs a port name";
        return false;
      }
    } else {
      error = "unknown argument: " + std::string(arg);
      return false;
    }
  }
  return true;
}

std::string ToolUsage() {
#ifdef _WIN32
  return "Usage: kvtool [--port NAME]\n"
         "Configures and updates KV-770 trackers (kvctl does the same from a console).\n"
         "\n"
         "  --port NAME   select NAME in the port list (COM5); at most 14 characters\n"
         "  --version     show the version\n"
         "  --help        show this text\n";
#else
  return "Usage: kvtool [--port NAME]\n"
         "Configures and updates KV-770 trackers (kvctl does the same from a terminal).\n"
         "\n"
         "  --port NAME   select NAME in the port list (ttyUSB0, or a path such as\n"
         "                /dev/pts/5 of a simulated tracker); at most 14 characters\n"
         "  --version     print the version\n"
         "  --help        print this text\n";
#endif
}
