// kvtool: the KV-770 desktop tool.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "app/tool_app.h"
#include "res/version_info.h"
#include "serial/port_items.h"
#include "ui/application.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/wide_text.h"
#endif

namespace {

// Help, version and command-line errors. On Windows kvtool is a program with
// windows and no console, so they are shown in a message box; elsewhere they
// go to the terminal (an error to standard error).
void Tell(const std::string& text, bool isError) {
#ifdef _WIN32
  std::wstring wide;
  if (!platform::Utf8ToWide(text, wide)) wide = L"kvtool: the text to show is not valid UTF-8";
  ::MessageBoxW(nullptr, wide.c_str(), L"kvtool",
                MB_OK | MB_SETFOREGROUND | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
#else
  std::fputs(text.c_str(), isError ? stderr : stdout);
#endif
}

int PrintHelpOrVersion(int argc, char** argv) {
  ToolCommandLine options;
  std::string error;
  if (!ParseToolCommandLine(argc, argv, options, error)) {
    Tell("kvtool: " + error + "\n" + ToolUsage(), true);
    return 2;
  }
  if (options.showHelp) {
    Tell(ToolUsage(), false);
    return 0;
  }
  if (options.showVersion) {
    const res::VersionInfo& v = res::ToolVersion();
    Tell(std::string(v.fileDescription) + " " + v.productVersion + " (" + v.buildDate + ")\n", false);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (WantsTerminalOnly(argc, argv)) return PrintHelpOrVersion(argc, argv);
  if (!ui::HasDisplay()) {
    std::fprintf(stderr,
                 "kvtool: no display to show the window on; kvctl does the same jobs "
                 "from a terminal (kvctl --help)\n");
    return 2;
  }

  ui::Application app(argc, argv);  // takes the toolkit's own options out of argv
  ToolCommandLine options;
  std::string error;
  if (!ParseToolCommandLine(argc, argv, options, error)) {
    Tell("kvtool: " + error + "\n" + ToolUsage(), true);
    return 2;
  }
  if (!options.port.empty() && PortItemText(options.port).empty()) {
    Tell("kvtool: port name \"" + options.port + "\" is longer than " + std::to_string(PORT_NAME_MAX) +
             " characters and cannot be listed\n",
         true);
    return 2;
  }
  CToolApp theApp(options.port);
  theApp.InitInstance();
  return 0;
}
