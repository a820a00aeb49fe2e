// Runs a built program to its end and captures what it printed, for tests
// that drive kvctl as a user or a script would.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "background_program.h"

struct ProgramRun {
  int exitCode = -1;  // -1: killed at the bound, or died by a signal
  std::string out;
  std::string err;
};

inline ProgramRun RunProgram(const std::string& program, std::vector<std::string> args,
                             std::chrono::seconds bound = std::chrono::seconds(120)) {
  BackgroundProgram running(program, std::move(args));
  ProgramRun run;
  run.exitCode = running.Wait(bound);
  run.out = std::move(running.out);
  run.err = std::move(running.err);
  return run;
}
