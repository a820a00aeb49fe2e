// kvtool's command line.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

bool Parse(std::vector<const char*> args, ToolCommandLine& options, std::string& error) {
  args.insert(args.begin(), "kvtool");
  return ParseToolCommandLine(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(ToolCommandLine, PortAndModes) {
  ToolCommandLine o;
  std::string error;
  ASSERT_TRUE(Parse({"--port", "/dev/pts/3"}, o, error)) << error;
  EXPECT_EQ(o.port, "/dev/pts/3");

  ToolCommandLine p;
  ASSERT_TRUE(Parse({"--version", "--port=ttyUSB0"}, p, error)) << error;
  EXPECT_TRUE(p.showVersion);
  EXPECT_EQ(p.port, "ttyUSB0");

  const char* terminal[] = {"kvtool", "--port", "x", "--help"};
  EXPECT_TRUE(WantsTerminalOnly(4, terminal));
  const char* window[] = {"kvtool", "--port", "--helpful"};
  EXPECT_FALSE(WantsTerminalOnly(3, window));
}

TEST(ToolCommandLine, MistakesAreReported) {
  for (const auto& args : std::vector<std::vector<const char*>>{{"--port"}, {"--port="}, {"--bogus"}, {"extra"}}) {
    ToolCommandLine o;
    std::string error;
    EXPECT_FALSE(Parse(args, o, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
