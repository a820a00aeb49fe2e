// A simulated KV-770 on a pseudo-terminal: menu and probe answers, the IMEI,
// the GSM side (version, message store), the boot loader and the restart
// into new firmware after a whole batch was received. The same class
// runs in-process for tests (its own thread on the master side) and as the
// kvsim program.
//
// Thread contract: Start/Stop and the observers may be called from any thread.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim_options.h"

namespace sim {

class SimTracker {
 public:
  explicit SimTracker(SimOptions options = {});
  ~SimTracker();
  SimTracker(const SimTracker&) = delete;
  SimTracker& operator=(const SimTracker&) = delete;

  bool Start();
  void Stop();
  // Pulls the cable: the line goes away under the tool.
  void PullCable();
  // Switches the tracker off with its USB bridge still plugged in: the port
  // stays and opens, but nothing is heard or answered until it is switched
  // on again, when it starts from its menu like after a power cycle.
  void SwitchOff() {
    ++switchOffs_;
    off_ = true;
  }
  void SwitchOn();
  bool SwitchedOff() const { return off_.load(); }
  const std::string& PortPath() const { return line_.PortPath(); }

  // Sends text to the tool unprompted (for example "Get data OK\r\n").
  void SendText(const std::string& text) { line_.Send(text); }

  // How often a command line (with its CR, or a menu digit) was received.
  int CommandCount(const std::string& command) const;
  std::string ReceivedLog() const;  // everything received, in order, as text
  std::array<std::string, 4> MessageStore() const { return gsm_.Store(); }
  std::vector<ReceivedImage> Images() const { return boot_.Images(); }
  const SimLine& Line() const { return line_; }
  // The version "kv+fwv" is answered with now.
  std::string VersionText() const { return gsm_.VersionText(); }
  // True from the end of a received batch until the menu is back (for ever
  // when the tracker does not restart on its own).
  bool Booting() const { return booting_.load(); }
  // How many times the tracker restarted into received firmware.
  int Restarts() const { return restarts_.load(); }
  const SimOptions& Options() const { return options_; }

 private:
  void Serve();
  void OnCommandLine(const std::string& line);
  void OnMenuChoice(char choice);
  void Record(const std::string& command);
  // After a received batch: silent while it boots, then the menu again.
  void RestartInto(const ReceivedImage& image);

  SimOptions options_;
  SimLine line_;
  GsmModem gsm_;
  BootLoader boot_;
  std::atomic<bool> running_{false};
  std::atomic<bool> booting_{false};
  std::atomic<bool> off_{false};
  std::atomic<int> switchOffs_{0};  // the serving thread resets the module once per switch-off
  std::atomic<int> restarts_{0};
  std::thread thread_;
  mutable std::mutex logLock_;
  std::map<std::string, int> counts_;
  std::string log_;
};

}  // namespace sim
