// kvctl's help in Windows terms: every phrase of the swap table still
// matches the help it was written for, and no Linux term is left over.
#include <gtest/gtest.h>

#include "help_text.h"

namespace {

TEST(KvctlHelp, EveryWindowsPhraseStillMatchesAHelpText) {
  const std::vector<std::string> texts = AllHelpTexts();
  for (const std::string& phrase : WindowsHelpPhrases()) {
    bool found = false;
    for (const std::string& text : texts) found = found || text.find(phrase) != std::string::npos;
    EXPECT_TRUE(found) << "no help text holds the phrase (changed wording?):\n" << phrase;
  }
}

TEST(KvctlHelp, WindowsHelpHasNoLinuxTerms) {
  for (const std::string& text : AllHelpTexts()) {
    const std::string windows = WindowsHelp(text);
    for (const char* term :
         {"ttyUSB", "/dev/", "~/", "XDG_", "SIGTERM", "SIGHUP", "/tmp", "symbolic link", "| head", "sticky"})
      EXPECT_EQ(windows.find(term), std::string::npos) << "\"" << term << "\" in:\n" << windows;
  }
}

TEST(KvctlHelp, WindowsUsageSpeaksOfWindows) {
  const std::string usage = WindowsHelp(HelpText("--help"));
  for (const char* term :
       {"COM5", "%LOCALAPPDATA%\\kv770\\backups", "%LOCALAPPDATA%\\kv770\\audit.jsonl", "Ctrl-Break", "console window"})
    EXPECT_NE(usage.find(term), std::string::npos) << term;
#ifndef _WIN32
  EXPECT_EQ(HelpForThisSystem(HelpText("--help")), HelpText("--help"));  // Linux help as it was
#endif
}

}  // namespace
