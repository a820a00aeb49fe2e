#include "pty_sim.h"

#include "platform/clock.h"
#include "serial/open_serial_port.h"

namespace testing_support {

PtySim::PtySim(sim::SimOptions options) : tracker_(std::make_unique<sim::SimTracker>(std::move(options))) {
  if (!tracker_->Start()) return;
  port_ = OpenSerialPort(tracker_->PortPath().c_str(), 115200);
}

PtySim::~PtySim() {
  if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  tracker_->Stop();
}

void PtySim::Write(std::string_view bytes) {
  DWORD written = 0;
  WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string PtySim::ReadNow() {
  std::string out;
  DWORD errors = 0;
  COMSTAT status{};
  while (ClearCommError(port_, &errors, &status) && status.cbInQue > 0) {
    std::string chunk(status.cbInQue, '\0');
    DWORD got = 0;
    if (!ReadFile(port_, chunk.data(), status.cbInQue, &got, nullptr) || got == 0) break;
    out.append(chunk, 0, got);
  }
  return out;
}

std::string PtySim::ReadUntil(std::string_view end, DWORD timeoutMs) {
  std::string out;
  const std::uint64_t deadline = platform::ClockMs() + timeoutMs;
  while (!out.ends_with(end) && platform::ClockMs() < deadline) {
    if (platform::WaitCommReadable(port_, 20) != 1) continue;
    out += ReadNow();
  }
  return out;
}

std::string PtySim::ReadFor(DWORD ms) {
  std::string out;
  const std::uint64_t deadline = platform::ClockMs() + ms;
  while (platform::ClockMs() < deadline) {
    if (platform::WaitCommReadable(port_, 20) == 1) out += ReadNow();
  }
  return out;
}

}  // namespace testing_support
