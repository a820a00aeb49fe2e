// The sender against the simulated boot loader over a pseudo-terminal: every
// byte on the wire, the replies that lead to retransmissions, time-outs and
// cancels, under the sped-up clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "firmware/crc16.h"
#include "firmware/file_transfer_source.h"
#include "firmware/ymodem_sender.h"
#include "clock_speed.h"
#include "firmware_rig.h"

namespace {

using kvtest::BootLoaderRig;
using kvtest::ExpectedFrame;
using kvtest::MemorySource;
using kvtest::PatternImage;
using kvtest::ProgressLog;
using Bytes = std::vector<unsigned char>;

constexpr double kSpeed = 20.0;
constexpr unsigned char kEot = 0x04;

sim::BootOptions Start(char c) {
  sim::BootOptions o;
  o.startChar = c;
  return o;
}

Bytes HeaderPayload(const std::string& name, std::size_t size) {
  Bytes p(name.begin(), name.end());
  p.push_back(0);
  const std::string digits = std::to_string(size);
  p.insert(p.end(), digits.begin(), digits.end());
  p.resize(1024, 0);
  return p;
}

// Sends `data` under `name` to a loader started with `boot`; returns SendBatch's result.
int SendTo(BootLoaderRig& rig, const std::string& name, const Bytes& data, ProgressLog* log = nullptr,
           DWORD startWaitMs = 30000) {
  YmodemSender sender(&rig.Channel());
  if (log) sender.SetProgressSink(log->Sink());
  MemorySource source(data);
  return sender.SendBatch(name.c_str(), static_cast<DWORD>(data.size()), source, startWaitMs);
}

TEST(YmodemWire, A2500ByteFileGoesOutExactlyAsTheTableSays) {
  ClockSpeedScope fast(kSpeed);
  BootLoaderRig rig(Start('C'));
  ASSERT_TRUE(rig.Start());
  const Bytes data = PatternImage(2500);
  ProgressLog progress;
  ASSERT_EQ(SendTo(rig, "C:\\FW\\Image.BIN", data, &progress), TRANSFER_OK);
  rig.FinishLoader();

  const Bytes header = HeaderPayload("c:/fw/image.bin", 2500);
  const Bytes zeros(1024, 0);
  const std::vector<Bytes> expected = {
      ExpectedFrame(0x00, header.data(), 1024, 1024, true),
      ExpectedFrame(0x01, data.data(), 1024, 1024, true),
      ExpectedFrame(0x02, data.data() + 1024, 1024, 1024, true),
      ExpectedFrame(0x03, data.data() + 2048, 128, 128, true),
      ExpectedFrame(0x04, data.data() + 2176, 128, 128, true),
      ExpectedFrame(0x05, data.data() + 2304, 128, 128, true),
      ExpectedFrame(0x06, data.data() + 2432, 68, 128, true),  // 60 pad bytes 0x1A
      Bytes{kEot},
      ExpectedFrame(0x00, zeros.data(), 1024, 1024, true),
  };
  const auto frames = rig.Frames();
  ASSERT_EQ(frames.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(frames[i].bytes, expected[i]) << "frame " << i;
    EXPECT_TRUE(frames[i].intact) << "frame " << i;
  }
  const std::vector<std::pair<WPARAM, LPARAM>> calls = {{1, 2}, {2, 2}, {3, 2}, {4, 2}};
  EXPECT_EQ(progress.calls, calls);

  const auto images = rig.Images();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].name, "c:/fw/image.bin");
  EXPECT_EQ(images[0].declaredSize, 2500);
  EXPECT_EQ(images[0].data, data);
  EXPECT_TRUE(images[0].complete);
  EXPECT_EQ(rig.Loader().LastOutcome(), sim::BootOutcome::Received);
}

// Frames as (first byte, block number, length) for the shape of a transfer.
struct Shape {
  unsigned char first;
  unsigned char number;
  std::size_t length;
  bool operator==(const Shape&) const = default;
};
std::vector<Shape> ShapeOf(const std::vector<sim::BootFrame>& frames) {
  std::vector<Shape> s;
  for (const auto& f : frames)
    s.push_back({f.bytes[0], f.bytes.size() > 1 ? f.bytes[1] : static_cast<unsigned char>(0), f.bytes.size()});
  return s;
}
std::ostream& operator<<(std::ostream& os, const Shape& s) {
  return os << "{" << int(s.first) << "," << int(s.number) << "," << s.length << "}";
}

TEST(YmodemWire, SmallAndBlockSizedFilesPickTheirBlockSizes) {
  ClockSpeedScope fast(kSpeed);
  struct Case {
    std::size_t size;
    std::vector<Shape> shape;
    std::vector<std::pair<WPARAM, LPARAM>> progress;
  };
  const Shape header{0x02, 0, 1029}, eot{kEot, 0, 1}, closing{0x02, 0, 1029};
  const std::vector<Case> cases = {
      {0, {header, eot, closing}, {{1, 0}}},
      {100, {header, {0x01, 1, 133}, eot, closing}, {{1, 0}, {2, 0}}},
      {2048, {header, {0x02, 1, 1029}, {0x02, 2, 1029}, eot, closing}, {{1, 2}, {2, 2}, {3, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    BootLoaderRig rig(Start('C'));
    ASSERT_TRUE(rig.Start());
    const Bytes data = PatternImage(c.size);
    ProgressLog progress;
    ASSERT_EQ(SendTo(rig, "fw.bin", data, &progress), TRANSFER_OK);
    rig.FinishLoader();
    const auto frames = rig.Frames();
    EXPECT_EQ(ShapeOf(frames), c.shape);
    EXPECT_EQ(progress.calls, c.progress);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(Bytes(frames[0].bytes.begin() + 3, frames[0].bytes.begin() + 3 + 1024), HeaderPayload("fw.bin", c.size));
    if (c.size == 100) {  // 100 data bytes and 28 pad bytes
      EXPECT_EQ(frames[1].bytes, ExpectedFrame(1, data.data(), 100, 128, true));
    }
    const auto images = rig.Images();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].data, data);
    EXPECT_TRUE(images[0].complete);
  }
}

TEST(YmodemWire, NakStartSendsChecksumFramesUntilTheReceiverAsksForCrc) {
  ClockSpeedScope fast(kSpeed);
  sim::BootOptions boot = Start(0x15);
  boot.crcRequestAtBlock = 2;  // "C" in answer to the checksum frame of block 2
  BootLoaderRig rig(boot);
  ASSERT_TRUE(rig.Start());
  const Bytes data = PatternImage(2200);
  ASSERT_EQ(SendTo(rig, "fw.bin", data), TRANSFER_OK);
  rig.FinishLoader();

  const Bytes header = HeaderPayload("fw.bin", 2200);
  const Bytes zeros(1024, 0);
  const auto frames = rig.Frames();
  ASSERT_EQ(frames.size(), 8u);
  EXPECT_EQ(frames[0].bytes, ExpectedFrame(0, header.data(), 1024, 1024, false));  // 1028 bytes
  EXPECT_EQ(frames[1].bytes, ExpectedFrame(1, data.data(), 1024, 1024, false));
  EXPECT_EQ(frames[2].bytes, ExpectedFrame(2, data.data() + 1024, 1024, 1024, false));
  // The same block again, now with the CRC, and every later block too.
  EXPECT_EQ(frames[3].bytes, ExpectedFrame(2, data.data() + 1024, 1024, 1024, true));
  EXPECT_EQ(frames[4].bytes, ExpectedFrame(3, data.data() + 2048, 128, 128, true));
  EXPECT_EQ(frames[5].bytes, ExpectedFrame(4, data.data() + 2176, 24, 128, true));
  EXPECT_EQ(frames[6].bytes, Bytes{kEot});
  EXPECT_EQ(frames[7].bytes, ExpectedFrame(0, zeros.data(), 1024, 1024, true));
  for (const auto& f : frames) EXPECT_TRUE(f.intact);
  ASSERT_EQ(rig.Images().size(), 1u);
  EXPECT_EQ(rig.Images()[0].data, data);
}

TEST(YmodemWire, NakStartGivesChecksumFramesOf1028And132Bytes) {
  ClockSpeedScope fast(kSpeed);
  BootLoaderRig rig(Start(0x15));
  ASSERT_TRUE(rig.Start());
  const Bytes data = PatternImage(100);
  ASSERT_EQ(SendTo(rig, "fw.bin", data), TRANSFER_OK);
  rig.FinishLoader();
  const auto frames = rig.Frames();
  const std::vector<Shape> shape = {{0x02, 0, 1028}, {0x01, 1, 132}, {kEot, 0, 1}, {0x02, 0, 1028}};
  EXPECT_EQ(ShapeOf(frames), shape);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[1].bytes, ExpectedFrame(1, data.data(), 100, 128, false));
  ASSERT_EQ(rig.Images().size(), 1u);
  EXPECT_EQ(rig.Images()[0].data, data);
}

TEST(YmodemWire, StreamingReceiverGetsTheBlocksBackToBack) {
  ClockSpeedScope fast(kSpeed);
  BootLoaderRig rig(Start('G'));
  ASSERT_TRUE(rig.Start());
  const Bytes data = PatternImage(5000);
  ProgressLog progress;
  ASSERT_EQ(SendTo(rig, "fw.bin", data, &progress), TRANSFER_OK);
  rig.FinishLoader();
  // Header, 4 STX blocks, 7 SOH blocks for the last 904 bytes, EOT, closing
  // block: each exactly once.
  const auto frames = rig.Frames();
  EXPECT_EQ(frames.size(), 1u + 4 + 8 + 1 + 1);
  for (const auto& f : frames) EXPECT_TRUE(f.intact);
  EXPECT_EQ(progress.calls.size(), 6u);
  ASSERT_EQ(rig.Images().size(), 1u);
  EXPECT_EQ(rig.Images()[0].data, data);
  EXPECT_TRUE(rig.Images()[0].complete);
}

TEST(YmodemWire, ABlockRefusedEveryTimeGoesOutTenTimesThenFails) {
  ClockSpeedScope fast(kSpeed);
  sim::BootOptions boot = Start('C');
  boot.nakEveryNth = 1;
  BootLoaderRig rig(boot);
  ASSERT_TRUE(rig.Start());
  EXPECT_EQ(SendTo(rig, "fw.bin", PatternImage(3000)), TRANSFER_TOO_MANY_RETRIES);
  rig.StopLoader();
  const auto frames = rig.Frames();
  ASSERT_EQ(frames.size(), 10u);
  for (const auto& f : frames) EXPECT_EQ(f.bytes, frames[0].bytes);
  EXPECT_EQ(frames[0].bytes[1], 0) << "the header is the first block";
}

TEST(YmodemWire, SilenceAfterABlockEndsTheTransferAfter3000Ms) {
  ClockSpeedScope fast(kSpeed);
  sim::BootOptions boot = Start('C');
  boot.silentAfterBlock = 1;
  BootLoaderRig rig(boot);
  ASSERT_TRUE(rig.Start());
  YmodemSender sender(&rig.Channel());
  MemorySource source(PatternImage(3000));
  // Header and block 1 are answered; block 2 meets silence.
  const auto waitStart = std::make_shared<std::uint64_t>(0);
  sender.SetProgressSink([waitStart](WPARAM count, LPARAM) {
    if (count == 1) *waitStart = platform::ClockMs();
  });
  EXPECT_EQ(sender.SendBatch("fw.bin", 3000, source, 30000), TRANSFER_TIMEOUT);
  const std::uint64_t waited = platform::ClockMs() - *waitStart;
  EXPECT_GE(waited, 3000u);
  EXPECT_LT(waited, 11000u);
  rig.StopLoader();
  const auto frames = rig.Frames();
  ASSERT_EQ(frames.size(), 3u) << "no retransmission after silence";
  EXPECT_EQ(frames[2].bytes[1], 2);
}

TEST(YmodemWire, ARefusedEotIsSentAgainAndCompletesTheFile) {
  ClockSpeedScope fast(kSpeed);
  sim::BootOptions boot = Start('C');
  boot.nakFirstEot = true;
  BootLoaderRig rig(boot);
  ASSERT_TRUE(rig.Start());
  const Bytes data = PatternImage(1500);
  ASSERT_EQ(SendTo(rig, "fw.bin", data), TRANSFER_OK);
  rig.FinishLoader();
  int eots = 0;
  for (const auto& f : rig.Frames()) eots += f.bytes == Bytes{kEot};
  EXPECT_EQ(eots, 2);
  ASSERT_EQ(rig.Images().size(), 1u);
  EXPECT_TRUE(rig.Images()[0].complete);
  EXPECT_EQ(rig.Images()[0].data, data);
}

TEST(YmodemWire, TwoCansInARowCancel) {
  ClockSpeedScope fast(kSpeed);
  sim::BootOptions boot = Start('C');
  boot.cancelAtBlock = 1;
  BootLoaderRig rig(boot);
  ASSERT_TRUE(rig.Start());
  EXPECT_EQ(SendTo(rig, "fw.bin", PatternImage(3000)), TRANSFER_CANCELLED);
  rig.StopLoader();
  EXPECT_EQ(rig.Loader().LastOutcome(), sim::BootOutcome::Cancelled);
}

TEST(YmodemWire, StaleBytesBeforeTheStartAreNeverTakenForTheStartCharacter) {
  ClockSpeedScope fast(kSpeed);
  sim::BootOptions boot = Start('C');
  boot.startIntervalMs = 2000;
  BootLoaderRig rig(boot);
  ASSERT_TRUE(rig.Start());
  // The end of the boot loader's text and a stray "G", already received when
  // the sender starts: taking the "G" would stream and fail on the ACK.
  rig.Line().Send("abort)\r\nG");
  YmodemSender sender(&rig.Channel());
  MemorySource source(PatternImage(300));
  ASSERT_EQ(sender.SendBatch("fw.bin", 300, source, 30000), TRANSFER_OK);
  EXPECT_EQ(sender.StartChar(), 'C');
  EXPECT_TRUE(sender.AcknowledgedMode());
  rig.FinishLoader();
  ASSERT_EQ(rig.Images().size(), 1u);
  EXPECT_TRUE(rig.Images()[0].complete);
}

TEST(YmodemWire, NoStartCharacterEndsTheWaitAfterTheBudget) {
  ClockSpeedScope fast(50.0);
  BootLoaderRig rig;
  ASSERT_TRUE(rig.Start(false));  // nobody answers on the line
  const std::uint64_t start = platform::ClockMs();
  EXPECT_EQ(SendTo(rig, "fw.bin", PatternImage(10)), TRANSFER_TIMEOUT);
  EXPECT_GE(platform::ClockMs() - start, 30000u);
  EXPECT_EQ(rig.Line().BytesReceived(), 0u);
}

TEST(YmodemWire, ASourceShorterThanAnnouncedFailsWithoutEot) {
  ClockSpeedScope fast(kSpeed);
  BootLoaderRig rig(Start('C'));
  ASSERT_TRUE(rig.Start());
  // A file measured at 3000 bytes that holds only 2000 when it is read.
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const Bytes data = PatternImage(2000);
  std::fwrite(data.data(), 1, data.size(), file);
  std::rewind(file);
  FileTransferSource source(file, 3000, nullptr);
  YmodemSender sender(&rig.Channel());
  EXPECT_EQ(sender.SendBatch("fw.bin", 3000, source, 30000), TRANSFER_SOURCE_FAILED);
  std::fclose(file);
  rig.StopLoader();
  for (const auto& f : rig.Frames()) EXPECT_NE(f.bytes, Bytes{kEot});
  // All 2000 bytes went out before the source failed: 1 STX and 8 SOH blocks.
  EXPECT_EQ(rig.Frames().size(), 1u + 1 + 8);
}

TEST(YmodemWire, ASourceLongerThanAnnouncedFailsBeforeTheExtraBytesGoOut) {
  ClockSpeedScope fast(kSpeed);
  BootLoaderRig rig(Start('C'));
  ASSERT_TRUE(rig.Start());
  MemorySource source(PatternImage(3000));
  YmodemSender sender(&rig.Channel());
  EXPECT_EQ(sender.SendBatch("fw.bin", 2048, source, 30000), TRANSFER_SOURCE_FAILED);
  rig.StopLoader();
  EXPECT_EQ(rig.Frames().size(), 3u) << "header and two STX blocks, nothing of the third chunk";
}

TEST(YmodemWire, ANameThatDoesNotFitTheHeaderFailsBeforeAnythingIsSent) {
  ClockSpeedScope fast(kSpeed);
  BootLoaderRig rig(Start('C'));
  ASSERT_TRUE(rig.Start());
  const std::string name(1018, 'x');  // 1018 + NUL + 4 digits = 1023
  EXPECT_EQ(SendTo(rig, name, PatternImage(1000)), TRANSFER_HEADER_TOO_LONG);
  rig.StopLoader();
  EXPECT_TRUE(rig.Frames().empty());
  EXPECT_EQ(rig.Line().BytesReceived(), 0u);
}

TEST(YmodemWire, BitErrorsAndDropsOnTheLineCostRetransmissionsNotData) {
  ClockSpeedScope fast(kSpeed);
  sim::LineOptions line;
  line.bitErrorRate = 0.0001;
  line.dropRate = 0.00005;
  line.seed = 11;
  BootLoaderRig rig(Start('C'), line);
  ASSERT_TRUE(rig.Start());
  const Bytes data = PatternImage(40000);
  ASSERT_EQ(SendTo(rig, "fw.bin", data), TRANSFER_OK);
  rig.FinishLoader();
  EXPECT_GT(rig.Line().FaultsInjected(), 0u);
  std::size_t damaged = 0;
  for (const auto& f : rig.Frames()) damaged += !f.intact;
  EXPECT_GT(damaged, 0u);
  ASSERT_EQ(rig.Images().size(), 1u);
  EXPECT_EQ(rig.Images()[0].data, data);
}

TEST(YmodemWire, APulledCableEndsTheTransferWithTheChannelsCode) {
  ClockSpeedScope fast(kSpeed);
  sim::LineOptions line;
  line.pullCableAfterBytes = 5000;
  BootLoaderRig rig(Start('C'), line);
  ASSERT_TRUE(rig.Start());
  const int r = SendTo(rig, "fw.bin", PatternImage(20000));
  EXPECT_TRUE(r == CHANNEL_READ_FAILED || r == CHANNEL_WRITE_FAILED) << r;
  rig.StopLoader();
}

}  // namespace
