#include "help_text.h"

#include <utility>

#include "command_table.h"

namespace {

// Linux phrase, Windows phrase.
const std::pair<const char*, const char*> kWindowsPhrases[] = {
    {"Ports are device names\n(ttyUSB0) or paths (/dev/pts/5); the terminal kvctl runs in is refused.\n",
     "Ports are COM port\nnames (COM5, COM12; COM5: as the port list shows it is taken too).\n"},
    {"$XDG_DATA_HOME/kv770/backups, else ~/.local/share/kv770/backups)", "%LOCALAPPDATA%\\kv770\\backups)"},
    {"(default $XDG_STATE_HOME/kv770/audit.jsonl, else\n                 ~/.local/state/kv770/audit.jsonl)",
     "(default\n                 %LOCALAPPDATA%\\kv770\\audit.jsonl)"},
    {"A read-only file, a folder, a device or a\nsymbolic link planted by another user in a shared sticky folder "
     "(/tmp) is\n"
     "refused before anything is sent. New output files, the trace and the audit log\n"
     "are readable by their owner only (they may hold the GPRS password).\n",
     "A read-only file, a folder or a device (COM5,\nNUL) is refused before anything is sent. New output files, "
     "the trace and the\naudit log take the permissions of their folder (they may hold the GPRS password:\n"
     "keep them in your own folders, as %LOCALAPPDATA% is).\n"},
    {"spelled (symbolic link, hard link, ./name)", "spelled (hard link, .\\name, / or \\)"},
    {"(an empty or binary file, /dev/null)", "(an empty or binary file, NUL)"},
    {"(| head that went away,", "(a reader that went away,"},
    {"TERM=dumb or no terminal: notices are plain lines.", "TERM=dumb or no console: notices are plain lines."},
    {"Ctrl-C or SIGTERM: stops", "Ctrl-C or Ctrl-Break: stops"},
    {"SIGHUP (the terminal closed) stops nothing: every tracker in hand is\nfinished; watch stops watching.\n",
     "Closing the console window\n(or logging off) quits at once too: Windows leaves no time to finish.\n"},
    {"A hang-up or a\nstandard output that cannot be written (| head that went away) acts as the\nfirst Ctrl-C.\n",
     "A standard\noutput that cannot be written (a reader that went away) acts as the\nfirst Ctrl-C. "
     "Closing the console window quits at once.\n"},
};

}  // namespace

// The texts themselves are the command table's (command_table.h).
std::string HelpText(const std::string& command) {
  const CommandSpec* spec = FindCommand(command);
  return spec ? std::string(spec->help) : KvctlUsage();
}

std::vector<std::string> AllHelpTexts() {
  std::vector<std::string> texts{KvctlUsage()};
  for (const CommandSpec& spec : KvctlCommands()) texts.emplace_back(spec.help);
  return texts;
}

std::string WindowsHelp(std::string_view text) {
  std::string out(text);
  for (const auto& [linuxPhrase, windowsPhrase] : kWindowsPhrases) {
    const std::string_view from = linuxPhrase, to = windowsPhrase;
    for (std::size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + to.size()))
      out.replace(at, from.size(), to);
  }
  return out;
}

std::string HelpForThisSystem(const std::string& text) {
#ifdef _WIN32
  return WindowsHelp(text);
#else
  return text;
#endif
}

std::vector<std::string> WindowsHelpPhrases() {
  std::vector<std::string> phrases;
  for (const auto& phrase : kWindowsPhrases) phrases.emplace_back(phrase.first);
  return phrases;
}
