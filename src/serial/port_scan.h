// The port scan: opens each listed port in turn at 115200 baud, probes it,
// closes it and reports the outcome behind the port's name.
//
// Thread contract: the scan runs on its own thread and owns a shared
// PortScan; the dialog that shows it holds the same shared_ptr. The callbacks
// run on the scan thread and must hand their texts to the GUI thread without
// blocking (a queued call guarded against a dialog that is gone). Once
// Break() was called, no callback runs again, so a dialog may end right after.
//
// The scan thread may outlive its dialog: the dialog waits SCAN_BREAK_WAIT_MS
// for it and ends, while the worker looks at the break only after each probe
// (so after a break during the pause between ports, after the next port's
// probe too): at most one probe more, about PROBE_POLLING_MS. Until it ends
// it touches only the shared PortScan (whose callbacks are silenced), the port
// it opened and that port's probe.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/tool_texts.h"
#include "common/tool_timings.h"
#include "platform/sync.h"

// "115200 scaning %s" for one port.
std::string ScanningText(const std::string& portName);

class PortScan : public std::enable_shared_from_this<PortScan> {
 public:
  using StatusCallback = std::function<void(const std::string& text)>;
  using EntryCallback = std::function<void(int index, const std::string& text)>;

  PortScan(std::vector<std::string> portNames, StatusCallback onStatus, EntryCallback onEntry);

  // Starts ScanThreadProc; returns its handle (null when no thread could start).
  HANDLE Start();
  // The user broke the scan: the worker stops after the current probe and
  // reports nothing more. Safe to call more than once, from any thread.
  void Break();
  bool Running() const { return g_bScanRunning.load(); }
  // Position of the last port on which a tracker answered; -1 when none.
  int FoundIndex() const { return m_nFoundIndex.load(); }
  // Entry texts as the scan left them (plain names or names with a suffix).
  std::vector<std::string> Entries() const;
  bool Finished() const { return finished_.load(); }

 private:
  friend DWORD ScanThreadProc(void* param);
  void Run();
  void Report(const std::function<void()>& call);

  std::vector<std::string> names_;
  std::vector<std::string> entries_;
  mutable std::mutex lock_;  // guards entries_ and the callbacks against Break()
  StatusCallback onStatus_;
  EntryCallback onEntry_;
  std::atomic<bool> g_bScanRunning{false};
  std::atomic<int> m_nFoundIndex{-1};
  std::atomic<bool> finished_{false};
};

// Thread routine: `param` is a std::shared_ptr<PortScan>* allocated with new.
DWORD ScanThreadProc(void* param);
