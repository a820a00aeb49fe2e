// Soak run: settings writes of random records to simulated trackers whose GSM
// module answers with ERROR, stays silent, or reads back a differing text,
// by random rules. The verdict shown must match what the store holds: a write
// shown as "Setting Message OK " must have left exactly the four texts in the
// store. A write shown as failed may have stored them anyway (the check could
// not confirm them); those are counted apart.
//
// Usage: soak_settings [writes=50] [seed=1] [clock speed=20]
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "platform/clock.h"
#include "serial/open_serial_port.h"
#include "settings/settings_exchange.h"
#include "settings/settings_message.h"
#include "settings_samples.h"
#include "sim_gsm.h"
#include "sim_tracker.h"

using namespace settings;

namespace {

std::string RandomRule(std::mt19937& rng) {
  static const char* kinds[] = {"delete", "store", "read", "textmode"};
  std::string rule = kinds[rng() % 4];
  rule += ":" + std::to_string(1 + rng() % 4);
  rule += "/" + std::to_string(1 + rng() % 3);
  return rule;
}

}  // namespace

int main(int argc, char** argv) {
  const int writes = argc > 1 ? std::atoi(argv[1]) : 50;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
  const double speed = argc > 3 ? std::atof(argv[3]) : 20.0;
  platform::SetClockSpeed(speed);
  std::mt19937 rng(seed);
  std::map<std::string, int> verdicts;
  int okAndStored = 0, okButWrong = 0, failedAndWrong = 0, failedButStored = 0, faultRules = 0;

  for (int i = 0; i < writes; ++i) {
    sim::SimOptions options;
    const int faults = 1 + static_cast<int>(rng() % 3);
    for (int f = 0; f < faults; ++f) {
      const int what = static_cast<int>(rng() % 3);
      if (what == 0) sim::ParseGsmOption("gsm-error", RandomRule(rng), options.gsm);
      if (what == 1) sim::ParseGsmOption("gsm-silent", RandomRule(rng), options.gsm);
      if (what == 2) {
        options.gsm.mismatchReads = static_cast<int>(rng() % 13);
        options.gsm.mismatchSlot = static_cast<int>(rng() % 5);
      }
      ++faultRules;
    }
    sim::SimTracker tracker(options);
    if (!tracker.Start()) return 2;
    HANDLE port = OpenSerialPort(tracker.PortPath().c_str(), 115200);
    const DeviceSettings record = test_support::RandomSettings(rng, test_support::SampleUse::Message);

    std::mutex lock;
    std::string lastStatus;
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ExchangeOptions exchangeOptions;
    exchangeOptions.callbacks.onStatus = [&](int selector, const std::string& text) {
      std::lock_guard<std::mutex> l(lock);
      if (selector == STATUS_LINE) lastStatus = text;
    };
    exchangeOptions.callbacks.onTransferDone = [&](const TransferReport&) { SetEvent(done); };
    {
      SettingsExchange exchange(exchangeOptions);
      exchange.Start(port);
      exchange.SetTextMode();
      if (exchange.StartWrite(record) == StartResult::Started) {
        WaitForSingleObject(done, 20 * 60 * 1000);
        exchange.WaitIdle(60000);
      }
      exchange.Stop();
    }
    CloseHandle(done);
    CloseHandle(port);
    tracker.Stop();

    std::array<std::string, 4> expected;
    for (unsigned n = 1; n <= 4; ++n) expected[n - 1] = BuildMessageText(record, SettingsLayout::Extended, n);
    const bool stored = tracker.MessageStore() == expected;
    const bool ok = lastStatus == "Setting Message OK ";
    ++verdicts[lastStatus];
    if (ok && stored) ++okAndStored;
    if (ok && !stored) {
      ++okButWrong;
      std::printf("write %d: \"Setting Message OK \" BUT THE STORE DIFFERS\n", i);
    }
    if (!ok && !stored) ++failedAndWrong;
    if (!ok && stored) ++failedButStored;
  }

  std::printf("settings soak: %d writes, seed %u, clock x%.0f, %d fault rules\n", writes, seed, speed, faultRules);
  for (const auto& [text, count] : verdicts) std::printf("  %4d x verdict \"%s\"\n", count, text.c_str());
  std::printf("  OK and the store holds the four texts:        %d\n", okAndStored);
  std::printf("  failure shown, store differs:                 %d\n", failedAndWrong);
  std::printf("  failure shown, store right but unconfirmed:   %d\n", failedButStored);
  std::printf("  OK shown but the store differs:               %d\n", okButWrong);
  return okButWrong == 0 ? 0 : 1;
}
