// kvctl watch set and watch update: plug and provision, plug and update.
// Waits for tracker ports to appear (the hot-plug notification the main
// window refills its port list on: USB bridges through udev, simulated
// trackers through their runtime folder), provisions or updates each new
// tracker once on its own thread and prints one line per tracker. A port that
// stays plugged in is never written twice; with set, a tracker plugged in
// again is, and its line says so. An updated tracker restarts, and its port
// may leave and come back meanwhile: while its job waits for it, and for the
// same bound after a job that sent the whole image, that port is expected
// back and is probed and named, never updated again. The first Ctrl-C lets
// the trackers in progress finish, then prints the summary; a second one
// stops them at their next safe point (interrupt.h). A hang-up or a lost
// standard output acts as the first Ctrl-C.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdio>
#include <list>
#include <map>
#include <set>
#include <thread>

#include "commands.h"
#include "console.h"
#include "image_version.h"
#include "interrupt.h"
#include "platform/clock.h"
#include "platform/device_change.h"
#include "platform/port_enum.h"
#include "platform/sim_registry.h"
#include "provision_job.h"
#include "terminal_text.h"
#include "tracker_return.h"

namespace {

// How often the loop looks at the stop request and finished trackers while
// no port comes or goes.
constexpr std::uint32_t WATCH_POLL_MS = 200;
// After an update confirmed on a port whose tracker left and came back
// while it restarted, the news of that return may still be on its way.
constexpr std::uint32_t RETURN_EVENT_GRACE_MS = 5000;
static_assert(WATCH_POLL_MS < RETURN_EVENT_GRACE_MS, "the loop looks at the ports within the grace");
// The ports are listed again this often (clock milliseconds) even without a
// device notice: a bridge whose driver announces no port still gets seen.
constexpr std::uint64_t WATCH_RELIST_MS = 2000;

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

// What one tracker's job ended with, as the watcher counts it.
struct WatchOutcome {
  enum class Kind { Done, NotVerified, Failed, Skipped };
  Kind kind = Kind::Failed;
  std::string imei;
  std::string version;         // update: read after it
  std::string note;            // appended to the tracker's line
  std::size_t profileRow = 0;  // watch set: the row of the profile table it got (0: none)
  bool sent = false;           // update: the whole image went out (the tracker restarts)
};

// The job the watcher runs on each new tracker, and on a port that comes back
// while its tracker is expected back from its update (`returning`).
using WatchJob = std::function<JobResult(JobContext& context, bool returning, WatchOutcome& outcome)>;

struct Worker {
  std::string port;
  std::thread thread;
  std::atomic<bool> done{false};
  JobResult result;
  WatchOutcome outcome;
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
  // `updates`: the jobs are updates (lines with the version, their own counts).
  // `provision`: watch set's plan, whose profile table rows no tracker got
  // are named in the summary (null for updates).
  Watcher(WatchJob job, bool updates, const ProvisionPlan* provision = nullptr)
      : job_(std::move(job)), updates_(updates), provision_(provision) {}

  // A port that appeared: a new tracker, unless its port is in hand (a
  // tracker restarting after its update comes back on it) or its tracker
  // is expected back from an update that ended lately.
  void OnNewPort(const std::string& port) {
    for (const Worker& w : workers_)
      if (w.port == port) return;  // the job in hand waits for it itself
    const auto expected = expectedBack_.find(port);
    const bool returning = expected != expectedBack_.end() && platform::ClockMs() < expected->second.until;
    const ExpectedBack back = returning ? expected->second : ExpectedBack{};
    if (expected != expectedBack_.end()) expectedBack_.erase(expected);
    if (returning && back.confirmed) return;  // its job named it after its return already
    Start(port, returning, back.imei);
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
      // A tracker that took the whole image restarts. Not back yet: its port
      // is expected back for as long as kvctl update waits for one. Back and
      // named: only a return of its port that is still on its way counts.
      if (it->outcome.sent) {
        const bool back = it->outcome.kind != WatchOutcome::Kind::NotVerified;
        expectedBack_[it->port] = {platform::ClockMs() + (back ? RETURN_EVENT_GRACE_MS : RETURN_WAIT_MS),
                                   it->outcome.imei, back};
      }
      it = workers_.erase(it);
    }
  }

  std::size_t InProgress() const { return workers_.size(); }

  int Summary() const {
    if (updates_) {
      console::Out("updated " + std::to_string(done_) + ", not verified " + std::to_string(notVerified_) + ", failed " +
                   std::to_string(failed_) + ", skipped " + std::to_string(skipped_));
    } else {
      console::Out("written " + std::to_string(done_) + ", failed " + std::to_string(failed_) + ", skipped " +
                   std::to_string(skipped_));
    }
    if (provision_ && provision_->profiles) {
      const std::string unmatched = DescribeUnmatchedRows(*provision_->profiles, provision_->profilesPath, matched_);
      if (!unmatched.empty()) console::Out(unmatched);
    }
    return code_;
  }

 private:
  void Start(const std::string& port, bool returning, const std::string& imei) {
    workers_.emplace_back();
    Worker& w = workers_.back();
    w.port = port;
    w.outcome.imei = imei;  // a returning tracker's job compares it
    w.thread = std::thread([this, &w, returning] {
      const auto start = std::chrono::steady_clock::now();
      JobContext context(w.port, true);
      w.result = job_(context, returning, w.outcome);
      w.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      w.done = true;
    });
  }

  void Report(const Worker& w) {
    const std::string imei = w.outcome.imei.empty() ? "(no IMEI)" : w.outcome.imei;
    if (w.outcome.profileRow != 0) matched_.insert(w.outcome.imei);
    std::string note = w.outcome.note.empty() ? "" : "  (" + w.outcome.note + ")";
    switch (w.outcome.kind) {
      case WatchOutcome::Kind::Skipped: ++skipped_; break;
      case WatchOutcome::Kind::NotVerified: ++notVerified_; break;
      case WatchOutcome::Kind::Failed: ++failed_; break;
      case WatchOutcome::Kind::Done:
        ++done_;
        if (!updates_) {
          const int times = ++writesByImei_[w.outcome.imei];
          if (times > 1) note = "  (plugged in again: written a " + Ordinal(times) + " time)";
        }
        break;
    }
    code_ = WorseExit(code_, w.result.code);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", w.seconds);
    std::string line = w.port + "  " + imei + "  ";
    if (updates_) line += (w.outcome.version.empty() ? "(no version)" : TextForStdout(w.outcome.version)) + "  ";
    console::Out(line + TrimRight(w.result.verdict) + "  " + seconds + note);
  }

  WatchJob job_;
  bool updates_;
  const ProvisionPlan* provision_;
  std::list<Worker> workers_;  // std::list: a running thread keeps its Worker's address
  std::map<std::string, int> writesByImei_;
  // Ports whose tracker restarts after its update: until when (clock ms),
  // and the IMEI read after the update ("" when unknown).
  struct ExpectedBack {
    std::uint64_t until = 0;
    std::string imei;
    bool confirmed = false;  // its job saw it back and named it
  };
  std::map<std::string, ExpectedBack> expectedBack_;
  std::set<std::string> matched_;  // IMEIs that got their row of the table (watch set)
  int done_ = 0, notVerified_ = 0, failed_ = 0, skipped_ = 0;
  int code_ = kExitOk;
};

// Watches until the first Ctrl-C; `what` says what a new tracker gets.
int Watch(Watcher& watcher, const std::string& what) {
  platform::DeviceChangeMonitor monitor;
  if (!monitor.IsWatching()) {
    console::Err(
        "kvctl: cannot watch for trackers being plugged in (neither udev nor the simulated trackers' "
        "folder can be watched)");
    return kExitFailed;
  }
  auto present = PresentTrackers();
  for (const auto& [key, port] : present)
    console::Out(port + "  already plugged in: left alone (plug it in again to " + what + " it)");
  console::Out("waiting for trackers to be plugged in; Ctrl-C ends");

  // A lost standard output (its reader gone, the terminal closed) ends the
  // watch as a first Ctrl-C does: no tracker is started unseen.
  const auto stopWatching = [] {
    if (console::StdoutLost()) interrupt::RequestFinish();
    return interrupt::FinishRequested();
  };
  std::uint64_t relistAt = platform::ClockMs() + WATCH_RELIST_MS;
  std::set<std::string> seenOnce;  // found by a timed listing only, not yet started
  while (!stopWatching()) {
    const bool changed = monitor.WaitForChange(WATCH_POLL_MS);
    watcher.Reap(false);
    if ((!changed && platform::ClockMs() < relistAt) || stopWatching()) continue;
    relistAt = platform::ClockMs() + WATCH_RELIST_MS;
    auto now = PresentTrackers();
    std::set<std::string> firstSeen;
    for (const auto& [key, port] : now) {
      if (present.count(key)) continue;
      // Without a notice the system may still be setting the port up (udev
      // giving it its group): it starts at the next listing.
      if (!changed && !seenOnce.count(key)) {
        firstSeen.insert(key);
        continue;
      }
      if (platform::ClockSpeed() != 1.0 && !IsSimulatedTracker(port)) {
        console::Out(port + "  not a simulated tracker: left alone (--clock-speed is for simulated trackers only)");
        continue;
      }
      watcher.OnNewPort(port);
    }
    for (const auto& key : firstSeen) now.erase(key);
    seenOnce = std::move(firstSeen);
    present = std::move(now);
  }
  if (watcher.InProgress() > 0)
    console::Err("kvctl: stopping after the " + std::to_string(watcher.InProgress()) +
                 " tracker(s) in progress (Ctrl-C again stops them at their next safe point)");
  watcher.Reap(true);
  return watcher.Summary();
}

// watch update on a port whose tracker is expected back from its update:
// nothing is sent; it is probed after its boot, named and logged. It counts
// as the tracker updated there only when that update read its IMEI and this
// one reports the same: after an update that was not verified the IMEI is
// unknown, and another tracker plugged into the port meanwhile must not be
// taken for it. A tracker that reports the version expected runs the image
// whichever it is; any other is left to be plugged in again (its menu was
// left by the questions, so "1" would no longer start its boot loader).
JobResult RecogniseReturn(JobContext& context, const UpdatePlan& plan, WatchOutcome& outcome) {
  const auto start = std::chrono::steady_clock::now();
  JobResult result;
  TrackerIdentity identity;
  bool lost = false;
  const ReturnOutcome back = AwaitTrackerReturn(context, RETURN_WAIT_MS, identity, lost);
  const std::string updatedImei = outcome.imei;  // set by the watcher: the IMEI read after the update
  outcome.imei = identity.imei;
  outcome.version = identity.version;
  outcome.kind = WatchOutcome::Kind::Skipped;
  result.verdict = "skipped";
  if (back != ReturnOutcome::Back || identity.version.empty()) {
    result.detail = "expected back after an update on this port, but it did not answer; nothing was sent";
    outcome.note = "plug it in again to update it";
  } else {
    const bool sameTracker = !updatedImei.empty() && updatedImei == identity.imei;
    const bool expectedVersion = RunsExpectedVersion(plan, identity.version);
    const bool comparable = ComparesVersion(plan);
    const std::string reports = "reports " + TextForStdout(identity.version);
    const std::string who = sameTracker ? "back after its update"
                            : updatedImei.empty()
                                ? "plugged in while the tracker updated here was expected back"
                                : "another tracker than the one updated here (IMEI " + TextForStdout(updatedImei) + ")";
    if (expectedVersion) {
      result.detail = who + "; " + reports + "; nothing was sent";
      outcome.note = sameTracker           ? "back after its update: not updated again"
                     : !comparable         ? who + ": plug it in again to update it"
                     : updatedImei.empty() ? "runs the version expected: not updated; the tracker whose update on "
                                             "this port was not verified may be another one: check it with kvctl "
                                             "version"
                                           : who + ", running the version expected: not updated";
    } else {
      // Confirmed not to run the image: its update did not take, or it is
      // a tracker that was never updated. Either way the job is not done.
      outcome.kind = WatchOutcome::Kind::Failed;
      result.code = kExitFailed;
      result.verdict = sameTracker ? FAILED_VERDICT : "not updated";
      result.detail = who + "; it " + reports + ", not " + ExpectedVersionText(plan) + "; nothing was sent";
      outcome.note = (sameTracker ? "its update did not take" : who + ", without the version expected") +
                     std::string(": plug it in again to update it");
    }
  }
  AppendUpdateAuditLine(context, plan, outcome.imei, outcome.version, result,
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return result;
}

}  // namespace

int CmdWatchSet(const ProvisionPlan& plan) {
  Watcher watcher(
      [&plan](JobContext& context, bool, WatchOutcome& outcome) {
        ProvisionOutcome provision;
        JobResult result = ProvisionTracker(context, plan, provision);
        outcome.imei = provision.imei;
        outcome.profileRow = provision.profileRow;
        outcome.kind = provision.skipped   ? WatchOutcome::Kind::Skipped
                       : provision.written ? WatchOutcome::Kind::Done
                                           : WatchOutcome::Kind::Failed;
        return result;
      },
      false, &plan);
  return Watch(watcher, "provision");
}

int CmdWatchUpdate(const UpdatePlan& plan) {
  // The image's version, once, before any tracker is plugged in.
  if (plan.readable) console::Out(ImageVersionLine(plan, plan.options.verify));
  // An image no tracker can be sent is refused once, before any is plugged in.
  if (!plan.firmware) {
    console::Err("kvctl: Refused before anything was sent to any tracker (" + plan.image + ": " + plan.problem + ")");
    return kExitRefused;
  }
  Watcher watcher(
      [&plan](JobContext& context, bool returning, WatchOutcome& outcome) {
        if (returning) return RecogniseReturn(context, plan, outcome);
        UpdateOutcome update;
        JobResult result = UpdateTrackerWithAudit(context, plan, true, update);
        outcome.imei = update.imei;
        outcome.version = update.version;
        outcome.sent = update.sent;
        outcome.kind = update.kind == UpdateOutcome::Kind::Updated       ? WatchOutcome::Kind::Done
                       : update.kind == UpdateOutcome::Kind::NotVerified ? WatchOutcome::Kind::NotVerified
                       : update.kind == UpdateOutcome::Kind::Skipped     ? WatchOutcome::Kind::Skipped
                                                                         : WatchOutcome::Kind::Failed;
        // A refused image or an interrupt before the transfer touched nothing.
        if (result.code == kExitRefused) outcome.kind = WatchOutcome::Kind::Failed;
        return result;
      },
      true);
  return Watch(watcher, "update");
}
