// How long a full write of the four settings messages takes at real speed,
// against the simulated tracker, compared with what the exchange cannot go
// below: its fixed pauses plus the time the line needs to carry the commands
// and the tracker's replies.
//
// Usage: settings_write_bench [RUNS]   (default 3 runs per line setting)
// Prints one line per run and a summary per line setting; exits 1 when a run
// took more than 10% over its floor.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sample_settings.h"
#include "serial/open_serial_port.h"
#include "settings/settings_exchange.h"
#include "sim_tracker.h"

namespace {

using settings::SettingsExchange;

// Delete phase 4 x 500 ms; each message 100 + 1000 + 500 + 100 ms.
constexpr double kFixedPausesMs =
    4.0 * settings::DELETE_PAUSE_MS + 4.0 * (settings::STORE_TEXT_PAUSE_MS + settings::STORE_END_PAUSE_MS +
                                             settings::STORE_AFTER_PAUSE_MS + settings::CHECK_PAUSE_MS);
// Exchanges whose reply the write waits for: 4 deletes, 4 stores, 4 checks.
constexpr int kAwaitedExchanges = 12;
constexpr double kAllowedOverhead = 0.10;

struct LineSetting {
  const char* name;
  std::uint32_t baudRate;  // 0: unpaced
  std::uint32_t latencyMs;
};

settings::DeviceSettings SampleRecord() { return test_support::SampleSettings(); }

struct RunFigures {
  double elapsedMs = 0;
  double floorMs = 0;  // fixed pauses plus line time
  bool ok = false;     // the write ended with "Setting Message OK "
};

bool RunOnce(const LineSetting& line, RunFigures& figures) {
  sim::SimOptions options;
  options.line.baudRate = line.baudRate;
  options.line.latencyMs = line.latencyMs;
  sim::SimTracker tracker(options);
  if (!tracker.Start()) return false;
  HANDLE port = OpenSerialPort(tracker.PortPath().c_str(), 115200);
  if (port == INVALID_HANDLE_VALUE) return false;

  std::string verdict;
  settings::ExchangeOptions exchangeOptions;
  exchangeOptions.callbacks.onStatus = [&](int selector, const std::string& text) {
    if (selector == settings::STATUS_LINE) verdict = text;  // the worker's thread only
  };
  SettingsExchange exchange(std::move(exchangeOptions));
  exchange.Start(port);

  const std::uint64_t sentBefore = tracker.Line().BytesSent();
  const std::uint64_t receivedBefore = tracker.Line().BytesReceived();
  const std::uint64_t start = platform::ClockMs();
  if (exchange.StartWrite(SampleRecord()) != settings::StartResult::Started) return false;
  exchange.WaitIdle(settings::READER_STOP_WAIT_MS * 2);
  figures.elapsedMs = static_cast<double>(platform::ClockMs() - start);
  exchange.Stop();
  CloseHandle(port);

  // Line time, counted generously: every byte that crossed the line in either
  // direction, although those sent during a pause are not waited for.
  const double bytes =
      static_cast<double>(tracker.Line().BytesSent() - sentBefore + tracker.Line().BytesReceived() - receivedBefore);
  const double byteMs = line.baudRate ? 10000.0 / line.baudRate : 0.0;
  const double lineMs = bytes * byteMs + 2.0 * kAwaitedExchanges * line.latencyMs;
  figures.floorMs = kFixedPausesMs + lineMs;
  figures.ok = verdict == "Setting Message OK ";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const LineSetting lines[] = {{"unpaced line", 0, 0}, {"115200 baud, 1 ms latency", 115200, 1}};
  std::printf("Full write of the four settings messages at real speed\n");
  std::printf("fixed pauses: %.0f ms; allowed: %.0f%% over pauses plus line time\n", kFixedPausesMs,
              kAllowedOverhead * 100);
  bool withinBar = true;
  for (const LineSetting& line : lines) {
    double worst = -1.0;
    double sumElapsed = 0;
    for (int i = 0; i < runs; ++i) {
      RunFigures f;
      if (!RunOnce(line, f)) {
        std::printf("%s: no pseudo-terminal or port\n", line.name);
        return 2;
      }
      const double over = (f.elapsedMs - f.floorMs) / f.floorMs;
      worst = std::max(worst, over);
      sumElapsed += f.elapsedMs;
      std::printf("%s run %d: %.0f ms (%.0f ms beyond the pauses), floor %.1f ms, over %.2f%%%s\n", line.name, i + 1,
                  f.elapsedMs, f.elapsedMs - kFixedPausesMs, f.floorMs, over * 100,
                  f.ok ? "" : " (write did not end OK)");
      if (!f.ok) withinBar = false;
    }
    std::printf("%s: mean %.0f ms, worst %.2f%% over the floor\n", line.name, sumElapsed / runs, worst * 100);
    if (worst > kAllowedOverhead) withinBar = false;
  }
  return withinBar ? 0 : 1;
}
