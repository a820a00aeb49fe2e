#include "common/command_line_words.h"

#include <cstdlib>

namespace cmdline {
namespace {

const OptionSpec* Find(std::span<const OptionSpec> options, std::string_view name) {
  for (const OptionSpec& spec : options)
    if (spec.name == name || (!spec.alias.empty() && spec.alias == name)) return &spec;
  return nullptr;
}

bool LooksLikeLongOption(std::string_view word) { return word.size() > 2 && word.substr(0, 2) == "--"; }

}  // namespace

bool SplitCommandLine(int argc, const char* const* argv, std::span<const OptionSpec> options, std::vector<Word>& words,
                      std::string& error) {
  words.clear();
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      words.push_back({nullptr, std::string(word)});
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value" names its value; a short alias never does.
    const std::size_t equals = LooksLikeLongOption(word) ? word.find('=') : std::string_view::npos;
    const std::string_view name = word.substr(0, equals);
    const OptionSpec* spec = Find(options, name);
    if (!spec) {
      error = "unknown option " + std::string(name);
      return false;
    }
    Word taken{spec, {}};
    if (equals != std::string_view::npos) {
      if (spec->takes == Takes::Nothing) {
        error = std::string(spec->name) + " takes no value";
        return false;
      }
      taken.text = std::string(word.substr(equals + 1));
    } else if (spec->takes == Takes::Value) {
      if (i + 1 >= argc || LooksLikeLongOption(argv[i + 1])) {
        error = std::string(spec->name) + " needs a value";
        return false;
      }
      taken.text = argv[++i];
    }
    words.push_back(std::move(taken));
    if (spec->endsLine) break;
  }
  return true;
}

bool ParseClockSpeed(std::string_view text, double& value) {
  if (text.empty() || text.size() > 32 || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
  const std::string copy(text);
  char* end = nullptr;
  const double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !(v > 0.0 && v <= 1000.0)) return false;
  value = v;
  return true;
}

}  // namespace cmdline
