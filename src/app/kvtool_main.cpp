// kvtool: the KV-770 desktop tool.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "app/tool_app.h"
#include "res/version_info.h"
#include "serial/port_items.h"
#include "ui/application.h"

namespace {

int PrintHelpOrVersion(int argc, char** argv) {
  ToolCommandLine options;
  std::string error;
  if (!ParseToolCommandLine(argc, argv, options, error)) {
    std::fprintf(stderr, "kvtool: %s\n%s", error.c_str(), ToolUsage().c_str());
    return 2;
  }
  if (options.showHelp) {
    std::fputs(ToolUsage().c_str(), stdout);
    return 0;
  }
  if (options.showVersion) {
    const res::VersionInfo& v = res::ToolVersion();
    std::printf("%s %s (%s)\n", v.fileDescription, v.productVersion, v.buildDate);
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
    std::fprintf(stderr, "kvtool: %s\n%s", error.c_str(), ToolUsage().c_str());
    return 2;
  }
  if (!options.port.empty() && PortItemText(options.port).empty()) {
    std::fprintf(stderr, "kvtool: port name \"%s\" is longer than %zu characters and cannot be listed\n",
                 options.port.c_str(), PORT_NAME_MAX);
    return 2;
  }
  CToolApp theApp(options.port);
  theApp.InitInstance();
  return 0;
}
