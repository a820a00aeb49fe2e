// Runs an external program (a reference YMODEM receiver or sender) with its
// standard input and output on a pseudo-terminal, in a folder of its own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

// The full path of the executable `name` on PATH, or "" when there is none.
std::string FindProgram(const std::string& name);

class PortProgram {
 public:
  PortProgram() = default;
  ~PortProgram();  // kills a program that still runs
  PortProgram(const PortProgram&) = delete;
  PortProgram& operator=(const PortProgram&) = delete;

  // Starts argv[0] (a full path, see FindProgram) with its standard input on
  // the port and its standard output on the port too, or on outputFd when
  // that is not -1; in workDir, with its standard error going to errorPath.
  bool Start(const std::vector<std::string>& argv, const std::string& portPath, int outputFd,
             const std::string& workDir, const std::string& errorPath);
  // Waits up to timeoutMs real milliseconds: the exit status, or -1 while it still runs.
  int Wait(std::uint32_t timeoutMs);
  void Kill();

 private:
  pid_t pid_ = -1;
};

}  // namespace kvtest
