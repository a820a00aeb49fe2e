// Process tests run kvsim and kvctl with their clocks sped up alike
// (--clock-speed), so that a 25 s probe or a 13 s settings write with its
// backup takes a twentieth of that while every ratio between the tracker's
// pauses and kvctl's time-outs stays as at real speed. Both programs of a
// test must get the same speed. Tests of what real time decides (a probe
// killed after 1.5 s, the data rate) run without the option.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "background_program.h"
#include "run_program.h"

namespace test_support {

// Set by the build: 20, or lower in the sanitizer builds, whose programs are
// slower by themselves. The in-process settings and firmware tests run at 20.
#ifndef KV_PROCESS_CLOCK_SPEED
#define KV_PROCESS_CLOCK_SPEED "20"
#endif
inline constexpr const char* kProcessClockSpeed = KV_PROCESS_CLOCK_SPEED;
// The same factor as a number, for bounds a test computes.
inline double ProcessClockSpeed() { return std::stod(kProcessClockSpeed); }

// kvctl runs that a test stops with a signal at a chosen step run slower than
// the simulated tracker, so that each step lasts long enough for the signal to
// arrive while it is on, even on a loaded machine or in a sanitizer build. The
// tracker then answers sooner than kvctl allows for, as a real one may too.
inline constexpr const char* kSignalledClockSpeed = "2";

// `args` with the clock-speed option in front; kvsim and kvctl take it
// anywhere on their command lines.
inline std::vector<std::string> AtTestSpeed(std::vector<std::string> args, const char* speed = kProcessClockSpeed) {
  args.insert(args.begin(), {"--clock-speed", speed});
  return args;
}

// kvctl (or kvsim) started in the background with the clock-speed option:
// the test speed, or `speed` for a run that wants another (a run stopped by a
// signal takes kSignalledClockSpeed). Every test starts its background
// programs this way.
class BackgroundAtTestSpeed : public BackgroundProgram {
 public:
  BackgroundAtTestSpeed(const std::string& program, std::vector<std::string> args,
                        const char* speed = kProcessClockSpeed, ErrorStream errorStream = ErrorStream::Piped)
      : BackgroundProgram(program, AtTestSpeed(std::move(args), speed), errorStream) {}
};

// RunProgram for kvctl (or kvsim) with the clock-speed option.
inline ProgramRun RunAtTestSpeed(const std::string& program, std::vector<std::string> args,
                                 std::chrono::seconds bound = std::chrono::seconds(120)) {
  return RunProgram(program, AtTestSpeed(std::move(args)), bound);
}

// RunAtTestSpeed in `folder`, so that relative names mean its files. The
// test process's own working folder is changed for the run: not for tests
// that run programs from several threads.
inline ProgramRun RunAtTestSpeedIn(const std::string& folder, const std::string& program,
                                   std::vector<std::string> args) {
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  ProgramRun run = RunAtTestSpeed(program, std::move(args));
  std::filesystem::current_path(cwd);
  return run;
}

}  // namespace test_support
