// kvctl's help: the general usage and each command's own text, written in
// Linux terms (device names, XDG folders, signals), and the same texts in
// Windows terms for the Windows build (COM ports, %LOCALAPPDATA%, Ctrl-Break,
// the console window).
//
// Thread contract: plain functions over constant texts, any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The help of `command`, or the general usage for any other word.
std::string HelpText(const std::string& command);
// Every help text (the usage first), for checks over all of them.
std::vector<std::string> AllHelpTexts();

// `text` in Windows terms: each Linux phrase of a fixed table swapped for
// its Windows counterpart; words not in the table stay as they are.
std::string WindowsHelp(std::string_view text);
// The help as this build shows it: WindowsHelp on Windows, else `text` as is.
std::string HelpForThisSystem(const std::string& text);

// The Linux phrases of the table (a changed help text must keep matching).
std::vector<std::string> WindowsHelpPhrases();
