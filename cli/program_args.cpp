#include "program_args.h"

bool ProgramArguments(int argc, char** argv, std::vector<std::string>& words, std::string&) {
  words.assign(argv, argv + argc);
  return true;
}
