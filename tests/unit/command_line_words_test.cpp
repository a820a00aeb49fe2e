// The command-line syntax the three programs share, and kvctl's use of it:
// one table of commands and options from which the checks and the help come.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_args.h"
#include "command_table.h"
#include "common/command_line_words.h"

namespace {

using cmdline::OptionSpec;
using cmdline::Takes;
using cmdline::Word;

const OptionSpec kOptions[] = {{"--trace", "", Takes::Value},
                               {"--output", "-o", Takes::Value},
                               {"--all", "", Takes::Nothing},
                               {"--switch", "", Takes::OptionalValue},
                               {"--help", "-h", Takes::Nothing, true}};

bool Split(std::vector<const char*> args, std::vector<Word>& words, std::string& error) {
  args.insert(args.begin(), "program");
  return cmdline::SplitCommandLine(static_cast<int>(args.size()), args.data(), kOptions, words, error);
}

// Each word as "name=value" for an option and as itself for a loose word.
std::vector<std::string> Shown(const std::vector<Word>& words) {
  std::vector<std::string> shown;
  for (const Word& w : words) shown.push_back(w.option ? std::string(w.option->name) + "=" + w.text : w.text);
  return shown;
}

TEST(CommandLineWords, ValuesEitherWayAliasesAndDashDash) {
  std::vector<Word> words;
  std::string error;
  ASSERT_TRUE(Split({"get", "--trace", "t.log", "P1", "--trace=u.log", "-o", "out", "--all", "--switch", "--switch=off",
                     "--", "--all", "-x.ini", "-"},
                    words, error))
      << error;
  EXPECT_EQ(Shown(words), (std::vector<std::string>{"get", "--trace=t.log", "P1", "--trace=u.log", "--output=out",
                                                    "--all=", "--switch=", "--switch=off", "--all", "-x.ini", "-"}));
  // An empty value written with "=" is a value: the program judges it.
  ASSERT_TRUE(Split({"--trace="}, words, error));
  EXPECT_EQ(Shown(words), std::vector<std::string>{"--trace="});
  // The help ends the line: a mistake after it does not hide it.
  ASSERT_TRUE(Split({"-h", "--bogus"}, words, error));
  EXPECT_EQ(Shown(words), std::vector<std::string>{"--help="});
}

TEST(CommandLineWords, MistakesNameTheOption) {
  std::vector<Word> words;
  std::string error;
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--bogus=1"}, "unknown option --bogus"},
      {{"-z"}, "unknown option -z"},
      {{"--trace"}, "--trace needs a value"},
      {{"--trace", "--all"}, "--trace needs a value"},  // not a trace named "--all"
      {{"--all=yes"}, "--all takes no value"},
      {{"-o=x"}, "unknown option -o=x"},  // a short option takes its value as the next word
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_FALSE(Split(args, words, error)) << args[0];
    EXPECT_EQ(error, expected) << args[0];
  }
  // A value that starts with one dash is a value.
  ASSERT_TRUE(Split({"--trace", "-t.log"}, words, error)) << error;
  EXPECT_EQ(Shown(words), std::vector<std::string>{"--trace=-t.log"});
}

TEST(CommandLineWords, ClockSpeedIsAFinitePositiveFactor) {
  double v = 1.0;
  EXPECT_TRUE(cmdline::ParseClockSpeed("20", v));
  EXPECT_EQ(v, 20.0);
  EXPECT_TRUE(cmdline::ParseClockSpeed(".5", v));
  for (const char* bad : {"", "0", "-1", " 2", "+2", "inf", "nan", "1e9", "1001", "2x"})
    EXPECT_FALSE(cmdline::ParseClockSpeed(bad, v)) << bad;
}

bool ParseKvctl(std::vector<const char*> args, CliArgs& parsed, std::string& error) {
  args.insert(args.begin(), "kvctl");
  return ParseCliArgs(static_cast<int>(args.size()), const_cast<char**>(args.data()), parsed, error);
}

TEST(KvctlCommandLine, BothValueFormsAndDashDashForFilesThatLookLikeOptions) {
  CliArgs a;
  std::string error;
  ASSERT_TRUE(ParseKvctl({"--log=audit.jsonl", "set", "--backup-dir=b", "P", "--", "-fleet.ini"}, a, error)) << error;
  EXPECT_EQ(a.logFile, "audit.jsonl");
  EXPECT_EQ(a.backupDir, "b");
  EXPECT_EQ(a.ports, std::vector<std::string>{"P"});
  EXPECT_EQ(a.positional, std::vector<std::string>{"-fleet.ini"});
  CliArgs b;
  EXPECT_FALSE(ParseKvctl({"--port=P", "imei", "--clock-speed=fast"}, b, error));
  EXPECT_NE(error.find("--clock-speed"), std::string::npos) << error;
}

// The manual page lists every command and option of the table, and no other.
TEST(KvctlCommandTable, TheManualPageNamesEveryCommandAndOptionAndNoOther) {
  std::ifstream file(std::string(KV_SOURCE_DIR) + "/docs/kvctl.1");
  ASSERT_TRUE(file) << "docs/kvctl.1";
  std::stringstream read;
  read << file.rdbuf();
  std::string page = read.str();
  // roff writes a dash as "\-" and switches fonts with "\fB", "\fR", "\fI".
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
  page = std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");

  std::set<std::string> pageCommands;
  const std::size_t commands = page.find(".SH COMMANDS");
  const std::size_t options = page.find(".SH OPTIONS");
  ASSERT_NE(commands, std::string::npos);
  ASSERT_NE(options, std::string::npos);
  const std::string commandSection = page.substr(commands, options - commands);
  const std::regex entry(R"(\n\.TP\n\.B ([a-z]+))");
  for (auto it = std::sregex_iterator(commandSection.begin(), commandSection.end(), entry);
       it != std::sregex_iterator(); ++it)
    pageCommands.insert((*it)[1]);
  std::set<std::string> tableCommands;
  for (const CommandSpec& spec : KvctlCommands()) tableCommands.insert(std::string(spec.name));
  EXPECT_EQ(pageCommands, tableCommands);

  std::set<std::string> pageOptions;
  const std::regex option(R"((^|[^a-zA-Z-])(--[a-z][a-z-]*|-[a-z])\b)");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), option); it != std::sregex_iterator(); ++it)
    pageOptions.insert((*it)[2]);
  // Either spelling of an option names it; each page option is one of them.
  for (const KvctlOptionSpec& o : KvctlOptions()) {
    const std::string name(o.syntax.name), alias(o.syntax.alias);
    EXPECT_TRUE(pageOptions.count(name) || (!alias.empty() && pageOptions.count(alias))) << name;
  }
  for (const std::string& named : pageOptions) {
    bool known = false;
    for (const KvctlOptionSpec& o : KvctlOptions()) known = known || o.syntax.name == named || o.syntax.alias == named;
    EXPECT_TRUE(known) << named << " is in the manual page but not an option of kvctl";
  }
}

TEST(KvctlCommandTable, EveryCommandHasHelpAndAUsageLineAndTheGeneralHelpListsThemAll) {
  const std::string usage = KvctlUsage();
  for (const CommandSpec& spec : KvctlCommands()) {
    EXPECT_EQ(std::string(spec.help).rfind("Usage: kvctl " + std::string(spec.name), 0), 0u) << spec.name;
    EXPECT_NE(usage.find("\n  " + std::string(spec.name) + " "), std::string::npos) << spec.name;
    EXPECT_NE(spec.run, nullptr) << spec.name;
    EXPECT_EQ(spec.trailing == 0, spec.trailingWhat.empty()) << spec.name;
  }
}

// A command's own help is where a user looks for what it takes: each option
// the command accepts beyond the common ones is named there (--port and --all
// are explained once, in kvctl --help).
TEST(KvctlCommandTable, EachCommandsHelpNamesTheOptionsItTakes) {
  for (const CommandSpec& spec : KvctlCommands()) {
    const std::string help(spec.help);
    for (const KvctlOptionSpec& o : KvctlOptions()) {
      if (o.allowedBy == kOptCommon || o.allowedBy == kOptPorts || !(spec.options & o.allowedBy)) continue;
      const std::string name(o.syntax.name), alias(o.syntax.alias);
      const bool named =
          help.find(name) != std::string::npos || (!alias.empty() && help.find(alias) != std::string::npos);
      EXPECT_TRUE(named) << "kvctl " << spec.name << " --help does not name " << name;
    }
  }
  // The firmware check's outcomes and the way to update a box one after
  // another are told where the update is explained.
  const CommandSpec* update = FindCommand("update");
  ASSERT_NE(update, nullptr);
  for (const char* told : {"--expect-version", "--no-verify", "(exit 5)", "kvctl watch update FIRMWARE"})
    EXPECT_NE(update->help.find(told), std::string_view::npos) << told;
}

}  // namespace
