// Soak run: firmware updates of random images through a faulty line (bit
// errors, dropped bytes, a cable pulled part-way, NAK and silence from the
// boot loader), each through the whole path the window takes: menu choice
// "1", the boot loader's prompt, the port closed and reopened by the firmware
// channel, the YMODEM batch. Every update must end either in success with a
// byte-identical image at the simulated tracker, or in failure; an update that
// reports success with a wrong image is a defect.
//
// Usage: soak_firmware [transfers=200] [seed=1] [clock speed=20]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <unistd.h>

#include "firmware/firmware_transfer.h"
#include "platform/clock.h"
#include "serial/imei_query.h"
#include "serial/open_serial_port.h"
#include "sim_tracker.h"

namespace {

struct Outcomes {
  int identical = 0, failedReported = 0, wrongImageReported = 0, promptMissing = 0;
  std::uint64_t faultsInjected = 0, bytesSent = 0;
  std::map<std::string, int> failureCodes;
};

}  // namespace

int main(int argc, char** argv) {
  const int transfers = argc > 1 ? std::atoi(argv[1]) : 200;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 1;
  const double speed = argc > 3 ? std::atof(argv[3]) : 20.0;
  platform::SetClockSpeed(speed);
  std::mt19937 rng(seed);
  const std::string path = "/tmp/kv770-soak-" + std::to_string(::getpid()) + ".bin";
  Outcomes out;

  for (int i = 0; i < transfers; ++i) {
    // A random image, 0 to 48 KiB, with sizes around block edges now and then.
    std::size_t size = std::uniform_int_distribution<std::size_t>(0, 48 * 1024)(rng);
    if (i % 10 == 0) size = std::uniform_int_distribution<int>(0, 4)(rng) * 1024 + (i % 3);
    std::string image(size, '\0');
    for (auto& c : image) c = static_cast<char>(rng());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << image;

    sim::SimOptions options;
    options.line.seed = rng();
    const int kind = i % 5;  // every fault in turn, mixed with the others
    options.line.bitErrorRate = kind == 0 || kind == 3 ? 2e-4 : 0.0;
    options.line.dropRate = kind == 1 || kind == 3 ? 2e-4 : 0.0;
    if (kind == 2) options.line.pullCableAfterBytes = 1 + rng() % (size + 2048);
    if (kind == 4) {
      if (rng() % 2) options.boot.nakEveryNth = 2 + rng() % 5;
      else options.boot.silentAfterBlock = static_cast<int>(rng() % (size / 1024 + 2));
    }
    sim::SimTracker tracker(options);
    if (!tracker.Start()) {
      std::fprintf(stderr, "no pseudo-terminal\n");
      return 2;
    }
    HANDLE port = OpenSerialPort(tracker.PortPath().c_str(), 115200);
    const bool prompted = port != INVALID_HANDLE_VALUE && RequestFirmwareDownload(port, FILE_PROMPT_WAIT_MS);
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    int failed = 1;
    FirmwareTransferReport report;
    if (prompted) {
      failed = RunFirmwareTransfer(tracker.PortPath().c_str(), path.c_str(), {}, &report, nullptr);
    } else {
      ++out.promptMissing;  // the window says "Reset the Device and try again"
    }
    tracker.Stop();
    out.faultsInjected += tracker.Line().FaultsInjected();
    out.bytesSent += tracker.Line().BytesReceived();

    const auto images = tracker.Images();
    const bool arrived = !images.empty() && images.back().complete &&
                         std::string(images.back().data.begin(), images.back().data.end()) == image;
    if (!failed && arrived) {
      ++out.identical;
    } else if (!failed) {
      ++out.wrongImageReported;
      std::printf("transfer %d: SUCCESS REPORTED WITH A WRONG IMAGE (size %zu)\n", i, size);
    } else if (prompted) {
      ++out.failedReported;
      ++out.failureCodes[DescribeFirmwareTransfer("", report)];
    }
  }
  std::remove(path.c_str());

  std::printf("firmware soak: %d transfers, seed %u, clock x%.0f\n", transfers, seed, speed);
  std::printf("  faults injected on the line: %llu (in %llu bytes from the tool)\n",
              static_cast<unsigned long long>(out.faultsInjected), static_cast<unsigned long long>(out.bytesSent));
  std::printf("  success, image byte-identical:  %d\n", out.identical);
  std::printf("  failure message shown:          %d\n", out.failedReported + out.promptMissing);
  for (const auto& [text, count] : out.failureCodes) std::printf("    %4d x %s\n", count, text.c_str());
  if (out.promptMissing) std::printf("    %4d x no file prompt (cable pulled at the menu)\n", out.promptMissing);
  std::printf("  success with a wrong image:     %d\n", out.wrongImageReported);
  return out.wrongImageReported == 0 ? 0 : 1;
}
