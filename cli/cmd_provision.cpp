// kvctl set and restore: writing settings to trackers with a backup of
// what they held first, a row of a profile table per IMEI, and an audit line
// per tracker.
#include <mutex>
#include <set>

#include "commands.h"
#include "console.h"
#include "provision_job.h"

int CmdSet(const std::vector<std::string>& ports, const ProvisionPlan& plan) {
  std::mutex lock;
  std::set<std::string> matched;  // IMEIs that got their row
  const int code = RunOnPorts(ports, [&](JobContext& context) {
    ProvisionOutcome outcome;
    JobResult result = ProvisionTracker(context, plan, outcome);
    if (outcome.profileRow != 0) {
      std::lock_guard<std::mutex> hold(lock);
      matched.insert(outcome.imei);
    }
    return result;
  });
  // Rows no tracker took: a box short of a tracker, or an IMEI typed wrong.
  if (plan.profiles && plan.command == "set") {
    const std::string unmatched = DescribeUnmatchedRows(*plan.profiles, plan.profilesPath, matched);
    if (!unmatched.empty()) console::Out(unmatched);
  }
  return code;
}

int CmdRestore(const std::vector<std::string>& ports, const ProvisionPlan& plan) {
  return CmdSet(ports, plan);  // the plan's command makes it a restore
}
