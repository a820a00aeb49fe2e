// The words of the wide command line (CommandLineToArgvW splits it by the
// same rules as the C runtime), each turned into UTF-8.
#include <windows.h>
#include <shellapi.h>

#include "platform/wide_text.h"
#include "program_args.h"

bool ProgramArguments(int, char**, std::vector<std::string>& words, std::string& error) {
  words.clear();
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) {
    error = "the command line cannot be read";
    return false;
  }
  bool ok = true;
  for (int i = 0; i < count && ok; ++i) {
    std::string word;
    ok = platform::WideToUtf8(wide[i], word);
    if (ok) words.push_back(std::move(word));
    else error = "word " + std::to_string(i) + " of the command line is not valid text";
  }
  ::LocalFree(wide);
  if (!ok) words.clear();
  return ok;
}
