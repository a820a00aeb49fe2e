#include "app/command_line.h"

#include <string_view>
#include <vector>

#include "common/command_line_words.h"

bool WantsTerminalOnly(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--help" || arg == "-h" || arg == "--version") return true;
  }
  return false;
}

bool ParseToolCommandLine(int argc, const char* const* argv, ToolCommandLine& options, std::string& error) {
  using cmdline::Takes;
  static constexpr cmdline::OptionSpec kOptions[] = {
      {"--help", "-h", Takes::Nothing}, {"--version", "", Takes::Nothing}, {"--port", "", Takes::Value}};
  std::vector<cmdline::Word> words;
  if (!cmdline::SplitCommandLine(argc, argv, kOptions, words, error)) return false;
  for (const cmdline::Word& word : words) {
    if (!word.option) {
      error = "unknown argument: " + word.text;
      return false;
    }
    if (word.IsOption("--help")) options.showHelp = true;
    if (word.IsOption("--version")) options.showVersion = true;
    if (word.IsOption("--port")) {
      if (word.text.empty()) {
        error = "--port needs a port name";
        return false;
      }
      options.port = word.text;
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
