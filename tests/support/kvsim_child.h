// A kvsim (or other built program) run as a child process for process tests:
// its standard output on a pipe, no input, killed when the object goes away
// so no simulator outlives its test.
#pragma once

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "background_program.h"

class KvsimChild {
 public:
  // Only there to catch a hang; the programs answer within milliseconds.
  static constexpr auto HANG_BOUND = std::chrono::seconds(5);

  // Starts `program` (a path) with `args`; false when it could not start.
  bool Start(const std::string& program, std::vector<std::string> args) {
    if (program_) return false;
    program_ = std::make_unique<BackgroundProgram>(program, std::move(args), BackgroundProgram::ErrorStream::Inherited);
    return program_->Started();
  }

  pid_t Pid() const { return program_ ? program_->Pid() : -1; }

  // The next output line without its LF; what came so far when the output
  // ends or the bound runs out. A longer bound serves programs whose next
  // line follows a whole job (a settings write).
  std::string ReadLine(std::chrono::milliseconds bound = HANG_BOUND) {
    if (!program_) return {};
    if (auto line = program_->NextLine(bound)) return *line;
    return program_->TakeRest();
  }

  // The four message slots as kvsim prints them on SIGUSR1 (the lines
  // indented by two blanks before "Received images").
  std::vector<std::string> Store() {
    if (program_) program_->Signal(SIGUSR1);
    std::vector<std::string> slots;
    for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
      if (line.rfind("Received images", 0) == 0) break;
      if (line.rfind("  ", 0) == 0) slots.push_back(line);
    }
    return slots;
  }

  // Sends `signal` (0: none) and waits for the exit: the exit code, or -1
  // for a hang or a death by signal.
  int StopWith(int signal) {
    if (!program_ || program_->Pid() <= 0) return -1;
    if (signal) program_->Signal(signal);
    return program_->Wait(HANG_BOUND);
  }

 private:
  std::unique_ptr<BackgroundProgram> program_;
};
