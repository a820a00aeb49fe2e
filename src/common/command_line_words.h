// The command-line syntax kvtool, kvctl and kvsim share. Each program lists
// its options in a table; this splits the words of its command line by it:
//   --name VALUE   --name=VALUE   -n VALUE   (an option that takes a value)
//   --name                                   (a flag; --name=VALUE is refused)
//   --name[=VALUE]                           (a flag that may take a value, only after "=")
//   --                                       every later word is a loose word,
//                                            so a file named "-x" can be given
// Everything else is a loose word (a command, a port, a file), kept in order
// among the options. A word after an option that takes a value is its value,
// unless it is itself written as a long option ("--trace --all" is refused,
// not a trace file named "--all").
//
// Thread contract: pure functions, any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cmdline {

enum class Takes { Nothing, Value, OptionalValue };

struct OptionSpec {
  std::string_view name;   // "--trace"
  std::string_view alias;  // "-o", or empty
  Takes takes = Takes::Nothing;
  // Splitting ends after this option: whatever follows is not looked at
  // (a program's --help, which wins over any mistake after it).
  bool endsLine = false;
};

// One word of the line: an option with its value (empty for a flag), or a
// loose word (`option` null, `text` the word). `option` points into the
// table given to SplitCommandLine, which must outlive the words.
struct Word {
  const OptionSpec* option = nullptr;
  std::string text;
  bool IsOption(std::string_view name) const { return option && option->name == name; }
};

// False with a one-line `error` for an unknown option ("unknown option
// --x"), a value missing ("--trace needs a value") or one given to a flag
// ("--all takes no value"). A lone "-" is a loose word (standard input or
// output, to programs that read it so).
bool SplitCommandLine(int argc, const char* const* argv, std::span<const OptionSpec> options, std::vector<Word>& words,
                      std::string& error);

// A clock speed for tests: a finite number above zero and at most 1000
// (beyond that a millisecond wait is shorter than a system call), written
// with digits first (no blanks, sign, "inf" or "nan").
bool ParseClockSpeed(std::string_view text, double& value);

}  // namespace cmdline
