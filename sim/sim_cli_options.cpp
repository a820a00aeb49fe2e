#include "sim_cli_options.h"

#include "sim_fault_options.h"

#include <charconv>
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

// A clock speed: a finite number above zero and at most 1000 (beyond that a
// millisecond wait is shorter than a system call).
bool ParseClockSpeed(std::string_view text, double& value) {
  // Digits first: strtod would skip blanks and take a sign, "inf" or "nan".
  if (text.empty() || text.size() > 32 || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  const std::string copy(text);
  char* end = nullptr;
  const double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !(v > 0.0 && v <= 1000.0)) return false;
  value = v;
  return true;
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
     [](std::string_view v, SimOptions&, ProgramOptions& p) { return ParseClockSpeed(v, p.clockSpeed); }},
    {"quiet", "", "no notes on standard error (the path and reports still print)",
     [](std::string_view, SimOptions&, ProgramOptions& p) { return p.quiet = true; }},
    {"help", "", "show this text",
     [](std::string_view, SimOptions&, ProgramOptions& p) { return p.showHelp = true; }},
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
};

const std::vector<PartParser>& PartParsers() {
  static const std::vector<PartParser> parsers = {
      {[](std::string_view n, std::string_view v, SimOptions& o) { return ParseGsmOption(n, v, o.gsm); },
       GsmOptionsUsage()},
      {[](std::string_view n, std::string_view v, SimOptions& o) { return ParseBootOption(n, v, o.boot); },
       BootOptionsUsage()},
      {[](std::string_view n, std::string_view v, SimOptions& o) { return ParseLineOption(n, v, o.line); },
       LineOptionsUsage()},
  };
  return parsers;
}

const OptionSpec* FindOption(std::string_view name, bool withProgram) {
  for (const auto& spec : kOptions)
    if (spec.name == name && (withProgram || !IsProgramOption(name))) return &spec;
  return nullptr;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error,
                     ProgramOptions* program) {
  ProgramOptions ignored;
  ProgramOptions& prog = program ? *program : ignored;
  error.clear();
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" && program) {
      prog.showHelp = true;
      return true;
    }
    if (arg.substr(0, 2) != "--" || arg.size() == 2) {
      error = "unexpected argument: " + std::string(arg);
      return false;
    }
    const auto eq = arg.find('=');
    const std::string_view name = arg.substr(2, eq == std::string_view::npos ? std::string_view::npos : eq - 2);
    const bool inlineValue = eq != std::string_view::npos;
    const std::string_view value = inlineValue ? arg.substr(eq + 1) : std::string_view();
    const bool nextIsValue = i + 1 < argc && std::string_view(argv[i + 1]).substr(0, 2) != "--";

    if (const OptionSpec* spec = FindOption(name, program != nullptr)) {
      std::string_view given = value;
      if (spec->valueHint.empty()) {
        if (inlineValue) {
          error = "--" + std::string(name) + " takes no value";
          return false;
        }
      } else if (!inlineValue) {
        if (!nextIsValue) {
          error = "--" + std::string(name) + " needs a value (" + std::string(spec->valueHint) + ")";
          return false;
        }
        given = argv[++i];
      }
      if (!spec->apply(given, options, prog)) {
        error = "bad value for --" + std::string(name) + ": " + std::string(given);
        return false;
      }
      if (prog.showHelp) return true;
      continue;
    }

    // A part's option: as written, else as a flag, else with the next argument.
    bool taken = false;
    for (const auto& part : PartParsers()) {
      if (part.parse(name, value, options)) {
        taken = true;
      } else if (!inlineValue && nextIsValue && part.parse(name, argv[i + 1], options)) {
        taken = true;
        ++i;
      }
      if (taken) break;
    }
    if (!taken) {
      error = "unknown option or bad value: " + std::string(arg);
      return false;
    }
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
