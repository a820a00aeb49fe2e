#include "serial/port_scan.h"

#include "platform/clock.h"
#include "serial/open_serial_port.h"
#include "serial/probe.h"

std::string ScanningText(const std::string& portName) { return SCANNING_TEXT_START + portName; }

PortScan::PortScan(std::vector<std::string> portNames, StatusCallback onStatus, EntryCallback onEntry)
    : names_(std::move(portNames)), entries_(names_), onStatus_(std::move(onStatus)), onEntry_(std::move(onEntry)) {}

HANDLE PortScan::Start() {
  m_nFoundIndex = -1;
  g_bScanRunning = true;
  // The thread's own reference keeps the scan state alive after the dialog.
  auto* held = new std::shared_ptr<PortScan>(shared_from_this());
  HANDLE thread = CreateThread(nullptr, 0, ScanThreadProc, held, 0, nullptr);
  if (thread == nullptr) {
    delete held;
    g_bScanRunning = false;
    finished_ = true;
  }
  return thread;
}

void PortScan::Break() {
  std::lock_guard<std::mutex> lock(lock_);
  g_bScanRunning = false;
}

std::vector<std::string> PortScan::Entries() const {
  std::lock_guard<std::mutex> lock(lock_);
  return entries_;
}

void PortScan::Report(const std::function<void()>& call) {
  std::lock_guard<std::mutex> lock(lock_);
  if (g_bScanRunning) call();
}

void PortScan::Run() {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const std::string& name = names_[i];
    Report([&] {
      if (onStatus_) onStatus_(ScanningText(name));
    });
    std::string text = name;
    bool found = false;
    HANDLE port = OpenSerialPort(name.c_str(), SCAN_BAUD_RATE);
    if (port == INVALID_HANDLE_VALUE) {
      text += kScanOpenFailed;
    } else {
      auto flag = std::make_shared<std::atomic<BYTE>>(0);
      HANDLE probe = StartProbeThread(port, flag);
      if (probe != nullptr) {
        WaitForSingleObject(probe, SCAN_PROBE_WAIT_MS);
        CloseHandle(probe);
      }
      found = flag->load() == 1;
      text += found ? kScanOpenSuccess : kScanCheckFailed;
      // The probe holds its own reference: closing ours never pulls the port
      // from under it, and the device closes when the probe has ended.
      CloseHandle(port);
    }
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (!g_bScanRunning) break;  // broken: this entry keeps its plain name
      if (found) m_nFoundIndex = static_cast<int>(i);
      entries_[i] = text;
      if (onEntry_) onEntry_(static_cast<int>(i), text);
    }
    Sleep(SCAN_PORT_PAUSE_MS);
  }
  Report([&] {
    if (onStatus_) onStatus_(kScanComplete);
  });
  finished_ = true;
}

DWORD ScanThreadProc(void* param) {
  auto* held = static_cast<std::shared_ptr<PortScan>*>(param);
  (*held)->Run();
  delete held;
  return 0;
}
