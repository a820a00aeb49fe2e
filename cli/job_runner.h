// Runs one job per tracker port, each on its own thread, so a box of
// trackers is served at once; one failing tracker does not stop the others.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "exit_codes.h"

struct JobResult {
  ExitCode code = kExitOk;
  std::string verdict;  // short outcome for the summary ("OK", "Device does not found!!", ...)
  std::string detail;   // what went wrong, with port, step and code
};

// What a job may use while it runs: its port and line output (prefixed with
// the port when several trackers run at once).
class JobContext {
 public:
  JobContext(std::string port, bool prefixLines) : port_(std::move(port)), prefix_(prefixLines) {}
  const std::string& Port() const { return port_; }
  bool Prefixed() const { return prefix_; }
  void Say(const std::string& line) const;
  // Error line on stderr: "kvctl: PORT: TEXT (DETAIL)".
  void Fail(const std::string& text, const std::string& detail) const;

 private:
  std::string port_;
  bool prefix_;
};

using Job = std::function<JobResult(JobContext&)>;

// Where the summary table goes: standard error when standard output must
// hold one document (several trackers' JSON).
enum class SummaryTo { Stdout, Stderr };

// Runs `job` on every port and, with more than one, prints a summary table.
// Returns the highest exit code.
int RunOnPorts(const std::vector<std::string>& ports, const Job& job, SummaryTo summary = SummaryTo::Stdout);

// The summary table (exposed for tests).
std::string FormatSummary(const std::vector<std::string>& ports, const std::vector<JobResult>& results,
                          const std::vector<double>& seconds);
