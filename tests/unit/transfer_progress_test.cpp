// kvctl's transfer figures against a scripted receiver on a clock the test
// moves: the line's time per frame, and the boot loader's erase pause
// between block 0 and its next start character. The rate shown must be the
// data rate, not one diluted by the pause.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "firmware/firmware_transfer.h"
#include "firmware/ymodem_sender.h"
#include "firmware_rig.h"
#include "progress_bar.h"
#include "scripted_channel.h"
#include "temp_folder.h"

namespace {

constexpr BYTE ACK = YmodemSender::ACK, CAN = YmodemSender::CAN, EOT = YmodemSender::EOT;

// A receiver that answers like a boot loader with "C": ACK then "C" after
// block 0 (following its erase pause), ACK after each data block, ACK and "C"
// after EOT, ACK after the closing block. Every frame costs its time on a
// 115200-baud line plus a turnaround. `cancelAtData` > 0 answers that data
// block and every later one with CAN CAN. `eotSeconds` is the receiver's
// time for the EOT (rb, for one, asks for it twice).
struct ScriptedLoader {
  static constexpr double kLineBytesPerSecond = 11520.0;
  static constexpr double kTurnaroundSeconds = 0.003;

  double eraseSeconds = 5.0;
  double eotSeconds = 0.6;
  int cancelAtData = 0;
  double now = 0;         // the clock the display reads
  double dataStart = -1;  // when the first data block began
  double dataEnd = -1;    // when the last data block was acknowledged
  int stage = 0;          // 0: header, 1: data, 2: closing block
  int dataBlocks = 0;
  bool asked = false;

  void Attach(kvtest::ScriptedChannel& channel) {
    // The start character comes once the sender has drained stale input.
    channel.beforeRead = [this](kvtest::ScriptedChannel& ch, DWORD timeoutMs) {
      if (!asked && timeoutMs > 0) {
        asked = true;
        ch.Queue({'C'});
      }
    };
    channel.onWrite = [this](kvtest::ScriptedChannel& ch, const std::vector<unsigned char>& frame) {
      const double begun = now;
      now += static_cast<double>(frame.size()) / kLineBytesPerSecond + kTurnaroundSeconds;
      if (stage == 0) {
        now += eraseSeconds;
        ch.Queue({ACK, 'C'});
        stage = 1;
      } else if (stage == 1 && frame[0] == EOT) {
        dataEnd = begun;
        now += eotSeconds;
        ch.Queue({ACK, 'C'});
        stage = 2;
      } else if (stage == 1) {
        if (dataStart < 0) dataStart = begun;
        if (++dataBlocks >= cancelAtData && cancelAtData > 0) ch.Queue({CAN, CAN});
        else ch.Queue({ACK});
      } else {
        ch.Queue({ACK});
      }
    };
  }
};

// Rate in KiB/s and bytes of one drawn progress text.
bool ParseDrawn(const std::string& text, unsigned long long& bytes, double& kib) {
  const auto at = text.find("%  ");
  if (at == std::string::npos) return false;
  unsigned long long total = 0;
  return std::sscanf(text.c_str() + at + 3, "%llu/%llu bytes  %lf KiB/s", &bytes, &total, &kib) == 3;
}

class TransferProgressTest : public ::testing::Test {
 protected:
  FirmwareImage OpenImage(std::size_t size) {
    const auto data = kvtest::PatternImage(size);
    const std::string path = folder_.File("kv770.bin");
    test_support::WriteTestFile(path, std::string(data.begin(), data.end()));
    FirmwareImage image;
    EXPECT_TRUE(OpenFirmwareImage(path.c_str(), image, nullptr));
    return image;
  }
  test_support::TempFolder folder_;
  kvtest::ScriptedChannel channel_;
  ScriptedLoader loader_;
  std::vector<std::string> drawn_;
  std::string raw_;
};

TEST_F(TransferProgressTest, RateAndSummaryCountFromTheFirstDataBlockNotTheErasePause) {
  constexpr std::size_t kSize = 256 * 1024;
  FirmwareImage image = OpenImage(kSize);
  loader_.Attach(channel_);
  ProgressDisplay display(
      kSize, true, [](const std::string&) {}, [this] { return loader_.now; },
      [this](const std::string& text) {
        raw_ += text;
        drawn_.push_back(text);
      });
  FirmwareTransferReport report;
  ASSERT_EQ(SendFirmwareImage(channel_, image, ObserverFor(display), &report), 0);
  display.Finish();

  ASSERT_GT(loader_.dataStart, loader_.eraseSeconds);
  const double trueRate = static_cast<double>(kSize) / (loader_.dataEnd - loader_.dataStart);
  int inLastQuarter = 0;
  for (const std::string& text : drawn_) {
    unsigned long long bytes = 0;
    double kib = 0;
    if (!ParseDrawn(text, bytes, kib) || bytes < kSize * 3 / 4) continue;
    ++inLastQuarter;
    EXPECT_NEAR(kib * 1024, trueRate, trueRate * 0.10) << text;
  }
  EXPECT_GT(inLastQuarter, 60);
  EXPECT_EQ(raw_.back(), '\n') << "the bar's line is ended";

  // "Sent 262144 bytes in 23.4 s (11.0 KiB/s)", over the data phase alone.
  EXPECT_EQ(display.Summary(), FormatTransferSummary(kSize, loader_.dataEnd - loader_.dataStart));
  unsigned long long bytes = 0;
  double seconds = 0, kib = 0;
  ASSERT_EQ(std::sscanf(display.Summary().c_str(), "Sent %llu bytes in %lf s (%lf KiB/s)", &bytes, &seconds, &kib), 3)
      << display.Summary();
  EXPECT_EQ(bytes, kSize);
  EXPECT_NEAR(kib * 1024, trueRate, trueRate * 0.01);
}

TEST_F(TransferProgressTest, TheBarsLineEndsWhenTheTransferFailsOrUnwinds) {
  FirmwareImage image = OpenImage(20 * 1024);
  loader_.cancelAtData = 5;
  loader_.Attach(channel_);
  {
    ProgressDisplay display(
        image.size, true, [](const std::string&) {}, [this] { return loader_.now; },
        [this](const std::string& text) { raw_ += text; });
    FirmwareTransferReport report;
    EXPECT_EQ(SendFirmwareImage(channel_, image, ObserverFor(display), &report), 1);
    EXPECT_EQ(report.code, TRANSFER_CANCELLED);
    ASSERT_FALSE(raw_.empty());
    EXPECT_NE(raw_.back(), '\n');
  }  // no Finish: the display goes as the stack unwinds
  EXPECT_EQ(raw_.back(), '\n');
  EXPECT_EQ(std::count(raw_.begin(), raw_.end(), '\n'), 1);
}

TEST(TransferSummary, BytesSecondsAndRate) {
  EXPECT_EQ(FormatTransferSummary(262144, 23.4), "Sent 262144 bytes in 23.4 s (10.9 KiB/s)");
  EXPECT_EQ(FormatTransferSummary(0, 0.0), "Sent 0 bytes in 0.0 s (0.0 KiB/s)");
}

}  // namespace
