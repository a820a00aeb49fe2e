// kvctl's command-line words in UTF-8, the tool's encoding of paths. POSIX
// gives them as bytes already; Windows gives them in its narrow code page to
// main, so they are taken again from the wide command line there.
//
// Thread contract: main thread, before the words are parsed.
#pragma once

#include <string>
#include <vector>

// argv[0..argc-1] as UTF-8 words; false with `error` when the system's
// command line cannot be read or holds a word that is not valid text.
bool ProgramArguments(int argc, char** argv, std::vector<std::string>& words, std::string& error);
