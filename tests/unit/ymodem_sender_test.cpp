// The sender's own rules, against a scripted channel: reply classification,
// the header block, the start wait's budget, partial writes, and the reply
// that follows block 0 in streaming mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "firmware/crc16.h"
#include "firmware/ymodem_sender.h"
#include "firmware_rig.h"
#include "scripted_channel.h"

namespace {

using kvtest::MemorySource;
using kvtest::ScriptedChannel;
using Bytes = std::vector<unsigned char>;

constexpr unsigned char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

TEST(Crc16, MatchesTheCheckValue) {
  const char* digits = "123456789";
  EXPECT_EQ(Crc16Xmodem(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x31C3);
}

TEST(YmodemReplies, OnlyTwoCansInARowCancel) {
  YmodemSender s(nullptr);
  EXPECT_EQ(s.ClassifyReply(ACK), 1);
  EXPECT_EQ(s.ClassifyReply(NAK), 0);
  EXPECT_EQ(s.ClassifyReply(CAN), 0);
  EXPECT_EQ(s.ClassifyReply(ACK), 1) << "any other byte breaks a CAN run";
  EXPECT_EQ(s.ClassifyReply(CAN), 0);
  EXPECT_EQ(s.ClassifyReply(CAN), TRANSFER_CANCELLED);
  EXPECT_EQ(s.ClassifyReply(TRANSFER_TIMEOUT), TRANSFER_TIMEOUT);
  EXPECT_EQ(s.ClassifyReply(CHANNEL_READ_FAILED), CHANNEL_READ_FAILED);
}

TEST(YmodemHeader, NameIsLoweredWithSlashesThenNulAndDecimalSize) {
  BYTE h[1024];
  ASSERT_EQ(YmodemSender::BuildHeader(h, "C:\\Work\\NEW\xC4.Bin", 4294967295u), TRANSFER_OK);
  const std::string expected = std::string("c:/work/new\xC4.bin") + '\0' + "4294967295";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h), expected.size()), expected);
  EXPECT_TRUE(std::all_of(h + expected.size(), h + 1024, [](BYTE b) { return b == 0; }));

  ASSERT_EQ(YmodemSender::BuildHeader(h, "", 0), TRANSFER_OK);
  EXPECT_EQ(h[0], 0);
  EXPECT_EQ(h[1], '0');
  EXPECT_EQ(h[2], 0);
}

TEST(YmodemHeader, FitsUpTo1022BytesAndNeverWritesByte1023) {
  BYTE h[1024];
  // name + NUL + 4 digits
  EXPECT_EQ(YmodemSender::BuildHeader(h, std::string(1017, 'a').c_str(), 1000), TRANSFER_OK);
  EXPECT_EQ(h[1017], 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h) + 1018, 4), "1000");
  EXPECT_EQ(h[1022], 0);
  EXPECT_EQ(h[1023], 0);

  EXPECT_EQ(YmodemSender::BuildHeader(h, std::string(1018, 'a').c_str(), 1000), TRANSFER_HEADER_TOO_LONG);
  EXPECT_EQ(h[1023], 0);
  // A name longer than the whole block is cut at the limit, not past it.
  BYTE guarded[1025];
  guarded[1024] = 0xEE;
  EXPECT_EQ(YmodemSender::BuildHeader(guarded, std::string(5000, 'a').c_str(), 1), TRANSFER_HEADER_TOO_LONG);
  EXPECT_EQ(guarded[1023], 0);
  EXPECT_EQ(guarded[1024], 0xEE);
}

TEST(YmodemStartWait, ChargesTenMsPerReadAndNeverLessThan11000) {
  ScriptedChannel silent;
  YmodemSender s(&silent);
  EXPECT_EQ(s.WaitForStart(30000), TRANSFER_TIMEOUT);
  EXPECT_EQ(std::count(silent.readTimeouts.begin(), silent.readTimeouts.end(), 10u), 3001);

  ScriptedChannel shortBudget;
  YmodemSender t(&shortBudget);
  EXPECT_EQ(t.WaitForStart(500), TRANSFER_TIMEOUT);
  EXPECT_EQ(std::count(shortBudget.readTimeouts.begin(), shortBudget.readTimeouts.end(), 10u), 1101);
}

TEST(YmodemStartWait, SkipsStaleInputAndOtherBytesAndSetsTheModes) {
  struct Case {
    unsigned char start;
    bool crc, acknowledged;
  };
  for (const Case c : {Case{'C', true, true}, Case{NAK, false, true}, Case{'G', true, false}}) {
    ScriptedChannel ch;
    ch.Queue({'G', 'C', NAK});  // already received: drained, never a start character
    bool fed = false;
    ch.beforeRead = [&](ScriptedChannel& self, DWORD timeoutMs) {
      if (timeoutMs == 10 && !fed) {
        fed = true;
        self.Queue({CAN, 'x', c.start});  // a lone CAN and noise are skipped
      }
    };
    YmodemSender s(&ch);
    EXPECT_EQ(s.WaitForStart(30000), TRANSFER_OK);
    EXPECT_EQ(s.StartChar(), c.start);
    EXPECT_EQ(s.CrcMode(), c.crc);
    EXPECT_EQ(s.AcknowledgedMode(), c.acknowledged);
  }
}

TEST(YmodemStartWait, AChannelFailurePassesThrough) {
  ScriptedChannel ch;
  ch.readError = CHANNEL_READ_FAILED;
  YmodemSender s(&ch);
  EXPECT_EQ(s.WaitForStart(30000), CHANNEL_READ_FAILED);
}

// A receiver on the scripted channel: answers each complete frame as a
// CRC-mode receiver does (ACK, plus "C" after block 0 and after EOT).
void AnswerLikeACrcReceiver(ScriptedChannel& ch, Bytes& pending, const Bytes& chunk) {
  pending.insert(pending.end(), chunk.begin(), chunk.end());
  while (!pending.empty()) {
    std::size_t frame = 1;
    if (pending[0] == STX) frame = 1029;
    if (pending[0] == SOH) frame = 133;
    if (pending.size() < frame) return;
    const bool header = pending[0] == STX && pending[1] == 0 && pending[3] != 0;
    const bool eot = pending[0] == EOT;
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(frame));
    ch.Queue({ACK});
    if (header || eot) ch.Queue({'C'});
  }
}

TEST(YmodemPartialWrites, TheSenderLooksAtTheLineBetweenPartsAndWritesOn) {
  ScriptedChannel ch;
  ch.maxWrite = 300;
  ch.Queue({'C'});
  bool started = false;
  ch.beforeRead = [&](ScriptedChannel& self, DWORD t) {
    if (!started && t == 10) {
      started = true;
      self.Queue({'C'});
    }
  };
  Bytes pending;
  ch.onWrite = [&](ScriptedChannel& self, const Bytes& chunk) { AnswerLikeACrcReceiver(self, pending, chunk); };
  YmodemSender s(&ch);
  MemorySource source(kvtest::PatternImage(2000));
  ASSERT_EQ(s.SendBatch("fw.bin", 2000, source, 30000), TRANSFER_OK);
  // Header, STX 1, 8 SOH blocks, EOT, closing block, written in parts of 300.
  EXPECT_EQ(ch.written.size(), 1029u + 1029 + 8 * 133 + 1 + 1029);
  EXPECT_TRUE(std::all_of(ch.writeSizes.begin(), ch.writeSizes.end(), [](int n) { return n <= 300; }));
}

TEST(YmodemPartialWrites, ANakBetweenPartsSendsTheWholeFrameAgain) {
  ScriptedChannel ch;
  ch.maxWrite = 600;
  bool nakSent = false;
  ch.beforeRead = [&](ScriptedChannel& self, DWORD t) {
    if (t == 10 && ch.written.empty()) self.Queue({'C'});
    // Part of the header is out and the receiver already refuses it.
    if (t == 10 && ch.written.size() == 600 && !nakSent) {
      nakSent = true;
      self.Queue({NAK});
    }
  };
  Bytes pending;
  ch.onWrite = [&](ScriptedChannel& self, const Bytes& chunk) {
    if (nakSent) AnswerLikeACrcReceiver(self, pending, chunk);
  };
  YmodemSender s(&ch);
  MemorySource source(kvtest::PatternImage(100));
  ASSERT_EQ(s.SendBatch("fw.bin", 100, source, 30000), TRANSFER_OK);
  ASSERT_EQ(ch.written.size(), 600u + 1029 + 133 + 1 + 1029);
  EXPECT_TRUE(std::equal(ch.written.begin(), ch.written.begin() + 600, ch.written.begin() + 600))
      << "the frame starts again from its first byte";
}

TEST(YmodemPartialWrites, AWriteThatTakesNothingTimesOut) {
  ScriptedChannel ch;
  ch.acceptNothing = true;
  ch.Queue({'C'});
  bool started = false;
  ch.beforeRead = [&](ScriptedChannel& self, DWORD t) {
    if (!started && t == 10) {
      started = true;
      self.Queue({'C'});
    }
  };
  YmodemSender s(&ch);
  MemorySource source(kvtest::PatternImage(10));
  EXPECT_EQ(s.SendBatch("fw.bin", 10, source, 30000), TRANSFER_TIMEOUT);
}

TEST(YmodemStreaming, AStartCharacterTakenRightAfterBlockZeroStillCounts) {
  // A fast "G" receiver answers block 0 before the sender's look at the line:
  // that look takes the "G" the sender then waits for.
  ScriptedChannel ch;
  bool started = false;
  ch.beforeRead = [&](ScriptedChannel& self, DWORD t) {
    if (!started && t == 10) {
      started = true;
      self.Queue({'G'});
    }
  };
  ch.onWrite = [&](ScriptedChannel& self, const Bytes& frame) {
    if (frame[0] == STX && frame[1] == 0 && frame[3] != 0) self.Queue({'G'});
    if (frame[0] == EOT) self.Queue({ACK, 'G'});
  };
  YmodemSender s(&ch);
  MemorySource source(kvtest::PatternImage(3000));
  EXPECT_EQ(s.SendBatch("fw.bin", 3000, source, 30000), TRANSFER_OK);
}

TEST(YmodemStreaming, ACanBetweenBlocksIsIgnoredButTwoInARowCancel) {
  ScriptedChannel ch;
  bool started = false;
  ch.beforeRead = [&](ScriptedChannel& self, DWORD t) {
    if (!started && t == 10) {
      started = true;
      self.Queue({'G'});
    }
  };
  int blocks = 0;
  ch.onWrite = [&](ScriptedChannel& self, const Bytes& frame) {
    if (frame[0] == STX && frame[1] == 0) self.Queue({'G'});
    if (frame[0] == STX && frame[1] == 1) self.Queue({CAN});
    if (frame[0] == STX && frame[1] == 2) self.Queue({'x'});  // ends the CAN run
    if (frame[0] == STX && frame[1] == 3) self.Queue({CAN});
    if (frame[0] == STX && frame[1] == 4) self.Queue({CAN});
    blocks += frame[0] == STX;
  };
  YmodemSender s(&ch);
  MemorySource source(kvtest::PatternImage(8192));
  EXPECT_EQ(s.SendBatch("fw.bin", 8192, source, 30000), TRANSFER_CANCELLED);
  EXPECT_EQ(blocks, 5) << "header and blocks 1 to 4; the lone CAN after block 1 did not stop it";
}

}  // namespace
