#include "app/terminal_probe.h"

#include <memory>
#include <mutex>

#include "app/connection.h"
#include "platform/port_enum.h"
#include "serial/open_serial_port.h"
#include "serial/port_items.h"
#include "serial/probe.h"
#include "serial/reader.h"
#include "serial/tracker_commands.h"

namespace {

constexpr DWORD READER_STOP_WAIT_MS = 5000;

std::string LastTrackerPort() {
  const std::vector<std::string> items = TrackerPortItems(platform::EnumeratePorts(false));
  return items.empty() ? std::string() : PortNameFromItem(items.back());
}

// What the reader hands over from its thread.
struct ImeiBox {
  std::mutex lock;
  std::string imei;
  HANDLE arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ~ImeiBox() { CloseHandle(arrived); }
};

std::string ReadImei(HANDLE port) {
  auto box = std::make_shared<ImeiBox>();
  auto link = std::make_shared<ReaderLink>();
  link->onImei = [box](const std::string& imei) {
    {
      std::lock_guard<std::mutex> guard(box->lock);
      box->imei = imei;
    }
    SetEvent(box->arrived);
  };
  link->m_bReaderRunning = 1;
  HANDLE reader = StartReaderThread(link, port);
  if (reader == nullptr) return {};

  WriteTrackerCommand(port, START_MENU_CHOICE);
  bool answered = false;
  for (int i = 0; i < TERMINAL_IMEI_TRIES && !answered; ++i) {
    WriteTrackerCommand(port, IMEI_QUERY);
    answered = WaitForSingleObject(box->arrived, IMEI_POLL_MS) == WAIT_OBJECT_0;
  }
  link->m_bReaderRunning = 0;
  WaitForSingleObject(reader, READER_STOP_WAIT_MS);
  CloseHandle(reader);
  std::lock_guard<std::mutex> guard(box->lock);
  return box->imei;
}

}  // namespace

int RunTerminalProbe(const std::string& portName, std::FILE* out, std::FILE* err) {
  const std::string name = portName.empty() ? LastTrackerPort() : portName;
  if (name.empty()) {
    std::fprintf(err, "kvtool: no tracker port found\n");
    return 1;
  }
  HANDLE port = OpenSerialPort(name.c_str(), MAIN_BAUD_RATE);
  if (port == INVALID_HANDLE_VALUE) {
    std::fprintf(err, "%s: %s\n", name.c_str(), OPEN_PORT_FAILED_TEXT);
    return 1;
  }
  if (!ProbeTracker(port, PROBE_WAIT_MS)) {
    std::fprintf(err, "%s: %s\n", name.c_str(), NO_DEVICE_TEXT);
    CloseHandle(port);
    return 1;
  }
  const std::string imei = ReadImei(port);
  CloseHandle(port);
  if (imei.empty()) {
    std::fprintf(err, "%s: the tracker answered but gave no IMEI\n", name.c_str());
    return 1;
  }
  std::fprintf(out, "Port: %s\nIMEI: %s\n", name.c_str(), imei.c_str());
  return 0;
}
