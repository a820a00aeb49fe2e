// kvctl's pieces for stopping cleanly and refusing bad input: the command
// line's ports, the record of what a settings write did, the transfer
// channel that cancels on an interrupt, and the settings-file judgement.
#include <gtest/gtest.h>

#include "cli_args.h"
#include "scripted_channel.h"
#include "settings_input.h"
#include "stoppable_transfer.h"
#include "settings/write_progress.h"

namespace {

using settings::SettingsLayout;

bool Parse(std::vector<std::string> words, CliArgs& args, std::string& error) {
  std::vector<char*> argv{const_cast<char*>("kvctl")};
  for (auto& w : words) argv.push_back(w.data());
  return ParseCliArgs(static_cast<int>(argv.size()), argv.data(), args, error);
}

TEST(KvctlPorts, EveryLooseWordBeforeTheCommandsOwnArgumentsIsAPort) {
  CliArgs a;
  std::string e;
  ASSERT_TRUE(Parse({"imei", "/dev/pts/2", "/dev/nonexist"}, a, e));
  EXPECT_EQ(a.ports, (std::vector<std::string>{"/dev/pts/2", "/dev/nonexist"}));
  EXPECT_TRUE(a.positional.empty());

  CliArgs b;
  ASSERT_TRUE(Parse({"set", "A", "B", "--strict", "box.ini"}, b, e));
  EXPECT_EQ(b.ports, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(b.positional, std::vector<std::string>{"box.ini"});
  EXPECT_TRUE(b.strict);

  CliArgs c;
  ASSERT_TRUE(Parse({"update", "--port", "A", "B", "kv.bin"}, c, e));
  EXPECT_EQ(c.ports, (std::vector<std::string>{"A", "B"}));

  CliArgs d;
  EXPECT_FALSE(Parse({"scan", "ttyUSB0"}, d, e));
  EXPECT_NE(e.find("ttyUSB0"), std::string::npos);
  CliArgs h;
  ASSERT_TRUE(Parse({"help", "set"}, h, e));
  EXPECT_TRUE(h.help);
  EXPECT_EQ(h.command, "set");
}

TEST(KvctlWriteProgress, FollowsEachMessageThroughDeleteStoreAndCheck) {
  WriteProgress p;
  EXPECT_EQ(p.Describe(), "nothing was deleted or written on the tracker");
  for (const char* step : {"delete message 1", "delete message 2", "delete message 3"}) p.OnStatus(step);
  EXPECT_EQ(p.Describe(), "messages 1, 2, 3 deleted and not yet rewritten; message 4 not changed");
  p.OnStatus("delete message 4");
  p.OnStatus("setting message 1");
  EXPECT_TRUE(p.InText());
  p.OnResult(settings::RESULT_OK);  // the store's reply
  EXPECT_FALSE(p.InText());
  p.OnStatus("read message 1");
  p.OnResult(settings::RESULT_OK);
  p.OnStatus("setting message 2");
  p.OnResult(settings::RESULT_OK);
  p.OnStatus("read message 2");
  p.OnResult(settings::RESULT_MISMATCH);  // deleted at once, to be written again
  EXPECT_EQ(p.Of(2), WriteProgress::State::Deleted);
  p.OnStatus("setting message 2");
  EXPECT_EQ(p.Describe(),
            "messages 3, 4 deleted and not yet rewritten; message 2 rewritten but not checked; "
            "message 1 rewritten and checked");
  // A check that timed out leaves the message unconfirmed.
  p.OnResult(settings::RESULT_OK);
  p.OnStatus("read message 2");
  p.OnResult(settings::RESULT_TIMEOUT);
  EXPECT_EQ(p.Of(2), WriteProgress::State::Rewritten);
}

// Only a write that checked every message it touched leaves nothing unfinished.
TEST(KvctlWriteProgress, UnfinishedUntilEveryMessageIsChecked) {
  WriteProgress p;
  EXPECT_FALSE(p.Unfinished()) << "nothing touched yet";
  for (unsigned n = 1; n <= 4; ++n) p.OnStatus("delete message " + std::to_string(n));
  EXPECT_TRUE(p.Unfinished());
  for (unsigned n = 1; n <= 4; ++n) {
    p.OnStatus("setting message " + std::to_string(n));
    p.OnResult(settings::RESULT_OK);
    EXPECT_TRUE(p.Unfinished()) << "message " << n << " stored, not yet checked";
    p.OnStatus("read message " + std::to_string(n));
    p.OnResult(n == 4 ? settings::RESULT_TIMEOUT : settings::RESULT_OK);
  }
  EXPECT_TRUE(p.Unfinished()) << "message 4's check never came";
  p.OnStatus("setting message 4");
  p.OnResult(settings::RESULT_OK);
  p.OnStatus("read message 4");
  p.OnResult(settings::RESULT_OK);
  EXPECT_FALSE(p.Unfinished());
}

// A store command the module refused with ERROR stored nothing: that
// message stays deleted, whatever its read-back then does.
TEST(KvctlWriteProgress, RefusedStoreLeavesTheMessageDeleted) {
  WriteProgress p;
  for (unsigned n = 1; n <= 4; ++n) p.OnStatus("delete message " + std::to_string(n));
  p.OnStatus("setting message 2");
  p.OnResult(settings::RESULT_ERROR);
  p.OnStatus("read message 2");
  p.OnResult(settings::RESULT_TIMEOUT);
  EXPECT_EQ(p.Of(2), WriteProgress::State::Deleted);
  p.OnStatus("setting message 3");
  p.OnResult(settings::RESULT_TIMEOUT);
  EXPECT_EQ(p.Of(3), WriteProgress::State::Rewritten) << "no answer: the text may have been stored";
}

// A line lost while a text was under way: that message may never have been
// stored, so it counts as deleted; a message already answered stays as it is.
TEST(KvctlWriteProgress, LostLineDuringATextLeavesThatMessageDeleted) {
  WriteProgress p;
  for (const char* step : {"delete message 1", "delete message 2", "delete message 3", "delete message 4"})
    p.OnStatus(step);
  p.OnStatus("setting message 1");
  p.OnResult(settings::RESULT_OK);
  p.OnStatus("read message 1");
  p.OnResult(settings::RESULT_OK);
  p.OnStatus("setting message 2");
  p.OnLineLost();
  EXPECT_EQ(p.Describe(), "messages 2, 3, 4 deleted and not yet rewritten; message 1 rewritten and checked");
  p.OnLineLost();
  EXPECT_EQ(p.Of(1), WriteProgress::State::Checked);
}

TEST(KvctlStoppableChannel, ForwardsUntilStoppedThenCancelsOnceAndFails) {
  kvtest::ScriptedChannel line;
  bool stop = false;
  StoppableChannel channel(line, [&] { return stop; });
  const unsigned char block[3] = {1, 2, 3};
  EXPECT_EQ(channel.Write(block, 3, 1000), 3);
  line.Queue({'C'});
  unsigned char got = 0;
  EXPECT_EQ(channel.Read(&got, 1, 1000), 1);
  EXPECT_EQ(got, 'C');
  // A long read is cut into slices so that a stop is seen while it waits.
  line.beforeRead = [&](kvtest::ScriptedChannel&, DWORD) {
    if (line.readTimeouts.size() == 5) stop = true;
  };
  EXPECT_EQ(channel.Read(&got, 1, 10000), CHANNEL_READ_FAILED);
  EXPECT_LE(line.readTimeouts.size(), 6u);
  EXPECT_TRUE(channel.Stopped());
  EXPECT_EQ(channel.Write(block, 3, 1000), CHANNEL_WRITE_FAILED);
  const std::vector<unsigned char> expected = {1, 2, 3, 0x18, 0x18};
  EXPECT_EQ(line.written, expected) << "CAN CAN once, nothing after it";
}

TEST(KvctlSettingsInput, NoSettingsAndMissingSettingsAreFound) {
  EXPECT_FALSE(HoldsAnySetting("", SettingsLayout::Extended));
  EXPECT_FALSE(HoldsAnySetting(std::string("\x00\x01\x02garbage=1\r\n", 14), SettingsLayout::Basic));
  // The device name alone is no setting a tracker is sent.
  EXPECT_FALSE(HoldsAnySetting("[KV DEVICE SETTING]\r\nDEVICE=Van 7\r\n", SettingsLayout::Extended));
  // Keys match without regard to letter case, as the profile reader does.
  const std::string one = "[message 1]\r\npark TIME=30\r\n";
  EXPECT_TRUE(HoldsAnySetting(one, SettingsLayout::Basic));
  const auto missing = MissingSettings(one, SettingsLayout::Basic);
  ASSERT_FALSE(missing.empty());
  for (const auto* info : missing) EXPECT_NE(info->fileKey, "Park time");
  EXPECT_LT(MissingSettings(one, SettingsLayout::Basic).size(), MissingSettings("", SettingsLayout::Basic).size());
  EXPECT_NE(DescribeSettings(missing).find("(SOS number1 in [MESSAGE 2])"), std::string::npos);
}

}  // namespace
