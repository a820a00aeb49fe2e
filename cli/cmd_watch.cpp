// kvctl watch set: plug and provision. Waits for tracker ports to appear
// (the hot-plug notification the main window refills its port list on: USB
// bridges through udev, simulated trackers through their runtime folder),
// provisions each new tracker once on its own thread and prints one line per
// tracker. A port that stays plugged in is never written twice; a tracker
// plugged in again is, and its line says so. The first Ctrl-C lets the
// trackers in progress finish, then prints the summary; a second one stops
// them at their next safe point (interrupt.h). A hang-up or a lost standard
// output acts as the first Ctrl-C.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <list>
#include <map>
#include <set>
#include <thread>

#include "commands.h"
#include "console.h"
#include "interrupt.h"
#include "platform/clock.h"
#include "platform/device_change.h"
#include "platform/port_enum.h"
#include "platform/sim_registry.h"
#include "provision_job.h"

namespace {

// How often the loop looks at the stop request and finished trackers while
// no port comes or goes.
constexpr std::uint32_t WATCH_POLL_MS = 200;

// The tracker ports present now, keyed so that a port name that comes back
// for another simulated tracker (a pseudo-terminal number used again) counts
// as a new plug: the key of a simulated port holds its process id. The
// simulators are listed after the ports, so every simulated port listed has
// its process id, unless its simulator ended in between (it is left out: its
// end raises a change of its own). Called after the change was drained, so a
// port that appears meanwhile raises another change.
std::map<std::string, std::string> PresentTrackers() {
  const std::vector<platform::PortInfo> ports = platform::EnumeratePorts(false);
  std::map<std::string, long> simulatedPids;
  for (const auto& sim : platform::ListSimulatedPorts()) simulatedPids[sim.portPath] = sim.pid;
  std::map<std::string, std::string> present;
  for (const auto& info : ports) {
    if (info.friendlyName.find(platform::TRACKER_NAME_MARK) == std::string::npos) continue;
    const std::string port = platform::PortNameFromFriendlyName(info.friendlyName);
    if (port.empty()) continue;
    if (!info.simulated) {
      present[port] = port;
      continue;
    }
    const auto sim = simulatedPids.find(info.portName);
    if (sim != simulatedPids.end()) present[port + "@" + std::to_string(sim->second)] = port;
  }
  return present;
}

struct Worker {
  std::string port;
  std::thread thread;
  std::atomic<bool> done{false};
  JobResult result;
  ProvisionOutcome outcome;
  double seconds = 0;
};

std::string Ordinal(int n) {
  const int last = n % 10;
  const char* suffix = (n % 100 >= 11 && n % 100 <= 13) ? "th"
                       : last == 1                      ? "st"
                       : last == 2                      ? "nd"
                       : last == 3                      ? "rd"
                                                        : "th";
  return std::to_string(n) + suffix;
}

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

class Watcher {
 public:
  explicit Watcher(const ProvisionPlan& plan) : plan_(plan) {}

  void Start(const std::string& port) {
    workers_.emplace_back();
    Worker& w = workers_.back();
    w.port = port;
    w.thread = std::thread([this, &w] {
      const auto start = std::chrono::steady_clock::now();
      JobContext context(w.port, true);
      w.result = ProvisionTracker(context, plan_, w.outcome);
      w.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      w.done = true;
    });
  }

  // Prints the line of every tracker that has finished (all of them with
  // `wait`) and forgets it.
  void Reap(bool wait) {
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (!wait && !it->done) {
        ++it;
        continue;
      }
      it->thread.join();
      Report(*it);
      it = workers_.erase(it);
    }
  }

  std::size_t InProgress() const { return workers_.size(); }

  int Summary() const {
    console::Out("written " + std::to_string(written_) + ", failed " + std::to_string(failed_) + ", skipped " +
                 std::to_string(skipped_));
    return code_;
  }

 private:
  void Report(const Worker& w) {
    const std::string imei = w.outcome.imei.empty() ? "(no IMEI)" : w.outcome.imei;
    std::string note;
    if (w.outcome.skipped) {
      ++skipped_;
    } else if (w.outcome.written) {
      ++written_;
      const int times = ++writesByImei_[w.outcome.imei];
      if (times > 1) note = "  (plugged in again: written a " + Ordinal(times) + " time)";
    } else {
      ++failed_;
    }
    code_ = std::max(code_, static_cast<int>(w.result.code));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", w.seconds);
    console::Out(w.port + "  " + imei + "  " + TrimRight(w.result.verdict) + "  " + seconds + note);
  }

  const ProvisionPlan& plan_;
  std::list<Worker> workers_;  // std::list: a running thread keeps its Worker's address
  std::map<std::string, int> writesByImei_;
  int written_ = 0, failed_ = 0, skipped_ = 0;
  int code_ = kExitOk;
};

}  // namespace

int CmdWatchSet(const ProvisionPlan& plan) {
  platform::DeviceChangeMonitor monitor;
  if (!monitor.IsWatching()) {
    console::Err("kvctl: cannot watch for trackers being plugged in (neither udev nor the simulated trackers' "
                 "folder can be watched)");
    return kExitFailed;
  }
  auto present = PresentTrackers();
  for (const auto& [key, port] : present)
    console::Out(port + "  already plugged in: left alone (plug it in again to provision it)");
  console::Out("waiting for trackers to be plugged in; Ctrl-C ends");

  Watcher watcher(plan);
  // A lost standard output (its reader gone, the terminal closed) ends the
  // watch as a first Ctrl-C does: no tracker is started unseen.
  const auto stopWatching = [] {
    if (console::StdoutLost()) interrupt::RequestFinish();
    return interrupt::FinishRequested();
  };
  while (!stopWatching()) {
    const bool changed = monitor.WaitForChange(WATCH_POLL_MS);
    watcher.Reap(false);
    if (!changed || stopWatching()) continue;
    auto now = PresentTrackers();
    for (const auto& [key, port] : now) {
      if (present.count(key)) continue;
      if (platform::ClockSpeed() != 1.0 && !IsSimulatedTracker(port)) {
        console::Out(port + "  not a simulated tracker: left alone (--clock-speed is for simulated trackers only)");
        continue;
      }
      watcher.Start(port);
    }
    present = std::move(now);
  }
  if (watcher.InProgress() > 0)
    console::Err("kvctl: stopping after the " + std::to_string(watcher.InProgress()) +
                 " tracker(s) in progress (Ctrl-C again stops them at their next safe point)");
  watcher.Reap(true);
  return watcher.Summary();
}
