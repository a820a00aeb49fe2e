#include "sim_cli_options.h"

#include "sim_fault_options.h"
#include "common/command_line_words.h"

#include <charconv>
#include <deque>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace sim {
namespace {

constexpr std::size_t MAX_IMEI_DIGITS = 20;

// One option of the table below. `valueHint` is empty for a flag.
struct OptionSpec {
  std::string_view name;
  std::string_view valueHint;
  std::string_view help;
  bool (*apply)(std::string_view value, SimOptions& options, ProgramOptions& program);
};

bool ParseUint32(std::string_view text, std::uint32_t& value) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool AllDigits(std::string_view text) {
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

constexpr OptionSpec kOptions[] = {
    {"probe", "menu|siemens|silent|garbage",
     "answer to \"ati\": the main menu (default), the GSM module's\n"
     "identification, nothing, or bytes that hold neither",
     [](std::string_view v, SimOptions& o, ProgramOptions&) {
       if (v == "menu") o.menu.probeAnswer = ProbeAnswer::MainMenu;
       else if (v == "siemens") o.menu.probeAnswer = ProbeAnswer::Siemens;
       else if (v == "silent") o.menu.probeAnswer = ProbeAnswer::Silent;
       else if (v == "garbage") o.menu.probeAnswer = ProbeAnswer::Garbage;
       else return false;
       return true;
     }},
    {"split-probe", "", "send the probe answer in two halves 300 ms apart",
     [](std::string_view, SimOptions& o, ProgramOptions&) { return o.menu.splitProbeAnswer = true; }},
    {"imei", "DIGITS", "the IMEI to report (default 356938035643809)",
     [](std::string_view v, SimOptions& o, ProgramOptions&) {
       if (!AllDigits(v) || v.size() > MAX_IMEI_DIGITS) return false;
       o.menu.imei = std::string(v);
       return true;
     }},
    {"imei-missing", "", "answer \"at+gsn\" with its echo and ERROR only",
     [](std::string_view, SimOptions& o, ProgramOptions&) { return o.menu.imeiMissing = true; }},
    {"imei-delay", "MS", "pause before the IMEI answer, in milliseconds",
     [](std::string_view v, SimOptions& o, ProgramOptions&) { return ParseUint32(v, o.menu.imeiDelayMs); }},
    {"no-file-prompt", "", "menu choice \"1\" prints nothing and starts no transfer",
     [](std::string_view, SimOptions& o, ProgramOptions&) { return o.menu.filePromptMissing = true; }},
    {"boot-ms", "MS",
     "after a whole transfer the tracker restarts: silent this\n"
     "long, then its menu again (default 3000)",
     [](std::string_view v, SimOptions& o, ProgramOptions&) { return ParseUint32(v, o.restart.bootMs); }},
    {"version-after", "TEXT",
     "the version reported after the restart (default: the one\n"
     "version text \"F-0KV...)\" in the received image, else the old one)",
     [](std::string_view v, SimOptions& o, ProgramOptions&) {
       if (v.empty() || v.size() > 64) return false;
       for (const char c : v)
         if (c < 0x20 || c > 0x7E) return false;
       o.restart.versionAfter = std::string(v);
       return true;
     }},
    {"no-restart", "", "after a whole transfer the tracker stays silent until a\npower cycle (kvsim ends)",
     [](std::string_view, SimOptions& o, ProgramOptions&) { return !(o.restart.restarts = false); }},
    {"boot-leaves-list", "",
     "while it restarts the port leaves the tool's port list and\n"
     "comes back (a USB bridge that restarts with the tracker)",
     [](std::string_view, SimOptions& o, ProgramOptions&) { return o.restart.portLeavesDuringBoot = true; }},
    {"link", "PATH", "make PATH a symlink to the pseudo-terminal while running",
     [](std::string_view v, SimOptions&, ProgramOptions& p) {
       p.linkPath = std::string(v);
       return !v.empty();
     }},
    {"clock-speed", "N",
     "for tests: every pause and time-out, line pacing included,\n"
     "runs N times faster (0 < N <= 1000); run the tool's side\n"
     "(kvctl --clock-speed N) at the same speed",
     [](std::string_view v, SimOptions&, ProgramOptions& p) { return cmdline::ParseClockSpeed(v, p.clockSpeed); }},
    {"quiet", "", "no notes on standard error (the path and reports still print)",
     [](std::string_view, SimOptions&, ProgramOptions& p) { return p.quiet = true; }},
    {"help", "", "show this text", [](std::string_view, SimOptions&, ProgramOptions& p) { return p.showHelp = true; }},
};

constexpr bool IsProgramOption(std::string_view name) {
  return name == "link" || name == "quiet" || name == "help" || name == "clock-speed";
}

// ---------------------------------------------------------------------------
// The option parsers of the simulator's parts: line (pacing, faults), GSM
// side and boot loader. Each is `bool Parse...Option(name, value, options)`,
// called with the option name without its dashes ("start-char") and the value
// ("" for a flag); it returns false for a name it does not know or a bad
// value. Adding a part's options is one line in this list, with its usage text.
// ---------------------------------------------------------------------------
struct PartParser {
  bool (*parse)(std::string_view name, std::string_view value, SimOptions& options);
  std::string_view usage;
  // Its options' names (without dashes); all take a value, except the flags.
  std::vector<std::string_view> names;
  std::vector<std::string_view> flags;  // "--name" alone, or "--name=VALUE"
};

const std::vector<PartParser>& PartParsers() {
  static const std::vector<PartParser> parsers = {
      {[](std::string_view n, std::string_view v, SimOptions& o) { return ParseGsmOption(n, v, o.gsm); },
       GsmOptionsUsage(),
       {"firmware", "gsm-error", "gsm-silent", "gsm-late", "gsm-mismatch", "gsm-split"},
       {}},
      {[](std::string_view n, std::string_view v, SimOptions& o) { return ParseBootOption(n, v, o.boot); },
       BootOptionsUsage(),
       {"boot-start", "boot-start-interval", "boot-start-tries", "boot-nak-every", "boot-crc-request-at",
        "boot-silent-after", "boot-cancel-at"},
       {"boot-nak-first-eot"}},
      {[](std::string_view n, std::string_view v, SimOptions& o) { return ParseLineOption(n, v, o.line); },
       LineOptionsUsage(),
       {"line-baud", "line-latency", "line-bit-errors", "line-drops", "line-pull-cable-after", "line-seed"},
       {}},
  };
  return parsers;
}

const OptionSpec* FindOption(std::string_view name, bool withProgram) {
  for (const auto& spec : kOptions)
    if (spec.name == name && (withProgram || !IsProgramOption(name))) return &spec;
  return nullptr;
}

// The syntax of every option, as the shared splitter reads it: this file's
// table (the program's own options only `withProgram`), then the parts'.
std::vector<cmdline::OptionSpec> Syntax(bool withProgram) {
  static const std::deque<std::string> names = [] {
    std::deque<std::string> all;
    for (const auto& spec : kOptions) all.push_back("--" + std::string(spec.name));
    for (const auto& part : PartParsers()) {
      for (const auto name : part.names) all.push_back("--" + std::string(name));
      for (const auto name : part.flags) all.push_back("--" + std::string(name));
    }
    return all;
  }();
  using cmdline::Takes;
  std::vector<cmdline::OptionSpec> syntax;
  std::size_t at = 0;
  for (const auto& spec : kOptions) {
    const std::string& name = names[at++];
    if (!withProgram && IsProgramOption(spec.name)) continue;
    const bool help = spec.name == "help";
    syntax.push_back({name, help ? "-h" : "", spec.valueHint.empty() ? Takes::Nothing : Takes::Value, help});
  }
  for (const auto& part : PartParsers()) {
    for (std::size_t i = 0; i < part.names.size(); ++i) syntax.push_back({names[at++], "", Takes::Value});
    for (std::size_t i = 0; i < part.flags.size(); ++i) syntax.push_back({names[at++], "", Takes::OptionalValue});
  }
  return syntax;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error,
                     ProgramOptions* program) {
  ProgramOptions ignored;
  ProgramOptions& prog = program ? *program : ignored;
  error.clear();
  // Kept while the words are read: each option word points into it.
  const std::vector<cmdline::OptionSpec> syntax = Syntax(program != nullptr);
  std::vector<cmdline::Word> words;
  if (!cmdline::SplitCommandLine(argc, argv, syntax, words, error)) return false;
  for (const cmdline::Word& word : words) {
    if (!word.option) {
      error = "unexpected argument: " + word.text;
      return false;
    }
    const std::string_view name = word.option->name.substr(2);
    bool taken = false;
    if (const OptionSpec* spec = FindOption(name, program != nullptr)) {
      taken = spec->apply(word.text, options, prog);
    } else {
      for (const auto& part : PartParsers())
        if (part.parse(name, word.text, options)) {
          taken = true;
          break;
        }
    }
    if (!taken) {
      error = "bad value for --" + std::string(name) + ": " + word.text;
      return false;
    }
    if (prog.showHelp) return true;
  }
  return true;
}

std::string SimOptionsUsage() {
  std::string text;
  for (const auto& spec : kOptions) {
    std::string head = "  --" + std::string(spec.name);
    if (!spec.valueHint.empty()) head += " " + std::string(spec.valueHint);
    // Name and value on their own line when long; help lines indented below.
    std::string_view help = spec.help;
    bool first = true;
    while (!help.empty()) {
      const auto nl = help.find('\n');
      const std::string_view line = help.substr(0, nl);
      help.remove_prefix(nl == std::string_view::npos ? help.size() : nl + 1);
      if (first && head.size() < 26) {
        text += head + std::string(26 - head.size(), ' ') + std::string(line) + "\n";
      } else {
        if (first) text += head + "\n";
        text += std::string(26, ' ') + std::string(line) + "\n";
      }
      first = false;
    }
  }
  for (const auto& part : PartParsers()) text += part.usage;
  return text;
}

}  // namespace sim
