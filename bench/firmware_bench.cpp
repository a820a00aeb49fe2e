// Firmware transfer speed on a paced line (115200 baud, 1 ms latency each way
// by default), as a table of figures:
//   1. the tool's engine (SendFirmwareFile) to the simulated boot loader, 256 KiB;
//   2. the tool's engine and lrzsz's `sb -k`, each to lrzsz's `rb`, 1 MiB,
//      both in the same run over the same kind of line.
// Usage: firmware_bench [--sim-only | --lrzsz-only] [--sim-size=BYTES]
//                       [--lrzsz-size=BYTES] [--baud=N] [--latency=MS]
// Exit status 1 when a target is missed: at least 96% of the line's byte rate
// to the simulated boot loader, and no slower than sb -k to rb.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "firmware/firmware_transfer.h"
#include "firmware/serial_channel.h"
#include "platform/clock.h"
#include "port_program.h"
#include "sim_boot_loader.h"
#include "sim_line.h"
#include "sim_pty_bridge.h"
#include "common/sha256.h"

namespace {

struct Settings {
  bool runSim = true;
  bool runLrzsz = true;
  std::size_t simSize = 256 * 1024;
  std::size_t lrzszSize = 1024 * 1024;
  std::uint32_t baud = 115200;
  std::uint32_t latencyMs = 1;
};

// A SerialChannel that notes when the first byte went out and the last came in.
class TimedChannel final : public CommChannel {
 public:
  int Open(const char* name) override { return inner_.Open(name); }
  int Configure(DWORD baud) override { return inner_.Configure(baud); }
  int Write(const void* b, int n, DWORD t) override {
    if (firstWriteAt < 0) firstWriteAt = platform::ClockMsPrecise();
    return inner_.Write(b, n, t);
  }
  int Read(void* b, int n, DWORD t) override {
    const int r = inner_.Read(b, n, t);
    if (r > 0) lastReadAt = platform::ClockMsPrecise();
    return r;
  }
  void Close() override { inner_.Close(); }
  double firstWriteAt = -1;
  double lastReadAt = 0;

 private:
  SerialChannel inner_;
};

std::vector<unsigned char> Image(std::size_t n) {
  std::vector<unsigned char> data(n);
  std::uint32_t x = 0x9E3779B9u;
  for (auto& b : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<unsigned char>(x);
  }
  return data;
}

std::string Digest(const std::vector<unsigned char>& d) { return Sha256Hex(d.data(), d.size()); }

bool WriteFile(const std::string& path, const std::vector<unsigned char>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

double LineBytesPerMs(const Settings& s) { return s.baud / 10.0 / 1000.0; }

// The best a sender that waits for each block's ACK can do: 1029 bytes of
// frame out, one ACK byte back and the latency both ways per 1024 data bytes.
double PerfectBlockShare(const Settings& s) {
  const double byteMs = 1.0 / LineBytesPerMs(s);
  const double blockMs = (1029 + 1) * byteMs + 2.0 * s.latencyMs;
  return 1024.0 / blockMs / LineBytesPerMs(s);
}

double Share(const Settings& s, double bytes, double ms) { return bytes / ms / LineBytesPerMs(s); }

bool RunSimulated(const Settings& s, const std::string& dir) {
  std::printf("1. Simulated boot loader, %zu-byte image, sent with SendFirmwareFile\n", s.simSize);
  const auto data = Image(s.simSize);
  const std::string path = dir + "/sim-image.bin";
  if (!WriteFile(path, data)) return false;

  sim::LineOptions line;
  line.baudRate = s.baud;
  line.latencyMs = s.latencyMs;
  sim::SimLine simLine;
  if (!simLine.Open(line)) return false;
  sim::BootLoader loader(sim::BootOptions{});
  std::thread served([&] { loader.Run(simLine); });

  TimedChannel channel;
  if (channel.Open(simLine.PortPath().c_str()) != 0 || channel.Configure(FIRMWARE_BAUD_RATE) != 0) {
    loader.Stop();
    served.join();
    return false;
  }
  std::vector<double> ackAt;  // clock time of each progress call
  const TransferProgressSink progress = [&](WPARAM, LPARAM) { ackAt.push_back(platform::ClockMsPrecise()); };
  FirmwareTransferReport report;
  const int r = SendFirmwareFile(channel, path.c_str(), progress, &report, nullptr);
  channel.Close();
  served.join();
  simLine.Close();

  const auto images = loader.Images();
  const bool intact = r == 0 && images.size() == 1 && images[0].sha256 == Digest(data);
  const std::size_t blocks = s.simSize / 1024;
  bool ok = intact;
  if (r != 0 || blocks < 2 || ackAt.size() < blocks) {
    std::printf("   transfer failed: %s\n", DescribeFirmwareTransfer("sim", report).c_str());
    return false;
  }
  // Steady state: from the ACK of data block 1 to the ACK of the last full block.
  const double dataMs = ackAt[blocks - 1] - ackAt[0];
  const double dataShare = Share(s, (blocks - 1) * 1024.0, dataMs);
  const double wholeMs = channel.lastReadAt - channel.firstWriteAt;
  const double wholeShare = Share(s, static_cast<double>(s.simSize), wholeMs);
  std::printf("   %-44s %9.3f s  %6.2f%% of the line's byte rate\n",
              "data blocks (ACK of block 1 to last ACK):", dataMs / 1000.0, 100.0 * dataShare);
  std::printf("   %-44s %9.3f s  %6.2f%%\n", "whole batch (header out to last ACK in):", wholeMs / 1000.0,
              100.0 * wholeShare);
  std::printf("   %-44s %9s    %6.2f%%\n", "a perfect block-by-block sender:", "", 100.0 * PerfectBlockShare(s));
  std::printf("   %-44s %s\n", "image received intact:", intact ? "yes" : "NO");
  const bool fastEnough = dataShare >= 0.96;
  std::printf("   target at least 96%%: %s\n\n", fastEnough ? "met" : "MISSED");
  return ok && fastEnough;
}

struct LrzszRun {
  std::string label;
  std::string dir;  // the receiver's folder
  sim::PtyBridge bridge;
  kvtest::PortProgram rb;
  kvtest::PortProgram sb;
  int result = -1;
  double ms = 0;
  double blockCycleMs = 0;  // mean time from one ACK to the next in the data phase
  double reactionUs = 0;    // mean time from an ACK reaching the sender to its next frame leaving
  bool intact = false;
};

bool StartLine(LrzszRun& run, const Settings& s, const std::string& rbPath) {
  sim::PtyBridge::Options options;
  options.baudRate = s.baud;
  options.latencyMs = s.latencyMs;
  options.bOutputThroughPipe = true;  // rb empties its terminal's queues as it exits
  std::filesystem::create_directories(run.dir);
  return run.bridge.Open(options) &&
         run.rb.Start({rbPath, "-q"}, run.bridge.PathB(), run.bridge.BOutputFd(), run.dir, run.dir + "/rb.log");
}

void Finish(LrzszRun& run, const std::vector<unsigned char>& data) {
  const int rbExit = run.rb.Wait(30000);
  const auto a = run.bridge.AToB();
  const auto b = run.bridge.BToA();
  run.ms = b.lastDeliveredAt - a.firstTakenAt;
  // Each reply piece that the sender's next frame follows within 5 ms is an
  // ACK; the block cycle is the median time from one ACK to the next.
  std::vector<double> acks;
  double reaction = 0;
  for (double t : b.deliveredAt) {
    const auto next = std::upper_bound(a.takenAt.begin(), a.takenAt.end(), t);
    if (next != a.takenAt.end() && *next - t < 5.0) {
      acks.push_back(t);
      reaction += *next - t;
    }
  }
  if (acks.size() > 2) {
    std::vector<double> cycles;
    for (std::size_t i = 1; i < acks.size(); ++i) cycles.push_back(acks[i] - acks[i - 1]);
    std::nth_element(cycles.begin(), cycles.begin() + cycles.size() / 2, cycles.end());
    run.blockCycleMs = cycles[cycles.size() / 2];
    run.reactionUs = 1000.0 * reaction / static_cast<double>(acks.size());
  }
  run.intact = rbExit == 0 && ReadFile(run.dir + "/image.bin") == data;
  run.bridge.Close();
}

bool RunLrzsz(const Settings& s, const std::string& dir) {
  std::printf("2. lrzsz rb as the receiver, %zu-byte image, both senders at once on lines alike\n", s.lrzszSize);
  const std::string rbPath = kvtest::FindProgram("rb");
  const std::string sbPath = kvtest::FindProgram("sb");
  if (rbPath.empty() || sbPath.empty()) {
    std::printf("   skipped: lrzsz (rb, sb) is not installed\n\n");
    return true;
  }
  const auto data = Image(s.lrzszSize);
  const std::string sendDir = dir + "/send";
  std::filesystem::create_directories(sendDir);
  if (!WriteFile(sendDir + "/image.bin", data)) return false;

  LrzszRun ours, theirs;
  ours.label = "this tool (SendFirmwareFile)";
  ours.dir = dir + "/rb-ours";
  theirs.label = "sb -k";
  theirs.dir = dir + "/rb-sb";
  if (!StartLine(ours, s, rbPath) || !StartLine(theirs, s, rbPath)) return false;

  // sb on side A of its line, sending the same file under the same name.
  if (!theirs.sb.Start({sbPath, "-k", "-q", "image.bin"}, theirs.bridge.PathA(), -1, sendDir, dir + "/sb.log"))
    return false;
  // The tool on side A of the other line; the header carries the name as
  // given, so the file is named relative to the sending folder.
  if (::chdir(sendDir.c_str()) != 0) return false;
  std::thread tool([&] {
    SerialChannel channel;
    if (channel.Open(ours.bridge.PathA().c_str()) != 0 || channel.Configure(FIRMWARE_BAUD_RATE) != 0) return;
    FirmwareTransferReport report;
    ours.result = SendFirmwareFile(channel, "image.bin", nullptr, &report, nullptr);
    if (ours.result != 0) std::printf("   this tool failed: %s\n", DescribeFirmwareTransfer("bridge", report).c_str());
  });
  tool.join();
  theirs.result = theirs.sb.Wait(300000);
  Finish(ours, data);
  Finish(theirs, data);

  std::printf("   %-30s %10s %9s %12s %11s\n", "header out to last ACK in:", "time", "share", "block cycle",
              "reaction");
  // block cycle: median ACK to ACK; reaction: mean ACK in to next frame out
  for (const LrzszRun* run : {&ours, &theirs}) {
    std::printf("   %-30s %8.3f s %8.2f%% %9.3f ms %8.0f us  %s\n", run->label.c_str(), run->ms / 1000.0,
                100.0 * Share(s, static_cast<double>(s.lrzszSize), run->ms), run->blockCycleMs, run->reactionUs,
                run->result == 0 && run->intact ? "intact" : "FAILED");
  }
  const double byteMs = 1.0 / LineBytesPerMs(s);
  std::printf("   %-30s %10s %9s %9.3f ms\n", "a perfect block-by-block sender:", "", "",
              (1029 + 1) * byteMs + 2.0 * s.latencyMs);
  std::printf("   %-30s %8.3f s\n", "blocks 0 of 1024 (not 128) cost:", 2 * (1029 - 133) * byteMs / 1000.0);
  const double ratio = ours.ms / theirs.ms;
  std::printf("   %-32s %9.3f\n", "time ratio, this tool / sb -k:", ratio);
  const bool ok = ours.result == 0 && ours.intact && theirs.result == 0 && theirs.intact;
  std::printf("   target no slower than sb -k: %s\n\n", ok && ratio <= 1.0 ? "met" : "MISSED");
  return ok && ratio <= 1.0;
}

bool ParseArgs(int argc, char** argv, Settings& s) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      const std::size_t n = std::strlen(name);
      return a.compare(0, n, name) == 0 ? a.c_str() + n : nullptr;
    };
    if (a == "--sim-only") s.runLrzsz = false;
    else if (a == "--lrzsz-only") s.runSim = false;
    else if (const char* v = value("--sim-size=")) s.simSize = std::strtoull(v, nullptr, 10);
    else if (const char* v = value("--lrzsz-size=")) s.lrzszSize = std::strtoull(v, nullptr, 10);
    else if (const char* v = value("--baud=")) s.baud = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
    else if (const char* v = value("--latency="))
      s.latencyMs = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
    else return false;
  }
  return s.baud > 0 && s.simSize >= 2048 && s.lrzszSize > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  if (!ParseArgs(argc, argv, s)) {
    std::fprintf(stderr,
                 "usage: firmware_bench [--sim-only | --lrzsz-only] [--sim-size=BYTES] "
                 "[--lrzsz-size=BYTES] [--baud=N] [--latency=MS]\n");
    return 2;
  }
  char pattern[] = "/tmp/kvbench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 2;
  const std::string dir = pattern;
  std::printf(
      "Firmware transfer on a line paced at %u baud with %u ms latency each way "
      "(%.0f bytes/s)\n\n",
      s.baud, s.latencyMs, LineBytesPerMs(s) * 1000.0);
  bool ok = true;
  if (s.runSim) ok = RunSimulated(s, dir) && ok;
  if (s.runLrzsz) ok = RunLrzsz(s, dir) && ok;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return ok ? 0 : 1;
}
