// kvctl set and restore: writing settings to trackers with a backup of
// what they held first, a row of a profile table per IMEI, and an audit line
// per tracker.
#include "commands.h"
#include "provision_job.h"

int CmdSet(const std::vector<std::string>& ports, const ProvisionPlan& plan) {
  return RunOnPorts(ports, [&](JobContext& context) {
    ProvisionOutcome outcome;
    return ProvisionTracker(context, plan, outcome);
  });
}

int CmdRestore(const std::vector<std::string>& ports, const ProvisionPlan& plan) {
  return CmdSet(ports, plan);  // the plan's command makes it a restore
}
