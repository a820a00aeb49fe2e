// The simulated tracker's GSM side over a real pseudo-terminal: exact reply
// framing, the message store and the injected faults.
#include "sim_gsm.h"

#include <gtest/gtest.h>

#include "clock_speed.h"
#include "pty_sim.h"

namespace {

using testing_support::PtySim;

constexpr double kSpeed = 20.0;

sim::SimOptions WithGsm(sim::GsmOptions gsm) {
  sim::SimOptions options;
  options.gsm = std::move(gsm);
  return options;
}

// Stores `text` with the tool's byte sequence and returns the store reply.
std::string StoreMessage(PtySim& sim, int n, const std::string& text) {
  sim.Write("at+cmgw=+" + std::to_string(n) + "\r");
  const std::string prompt = sim.ReadUntil("> ");
  EXPECT_EQ(prompt, "GSMATResp!at+cmgw=+" + std::to_string(n) + "\r\r\n> ");
  sim.Write(text);
  sim.Write("\x1a\r");
  return sim.ReadUntil("\r\n");
}

TEST(SimGsm, StoreReadAndDeleteCarryTheExactFraming) {
  ClockSpeedScope speed(kSpeed);
  PtySim sim;
  ASSERT_TRUE(sim.Ready());

  sim.Write("at+cmgf=1\r");
  EXPECT_EQ(sim.ReadUntil("OK\r\n"), "GSMATResp!at+cmgf=1\r\r\nOK\r\n");

  sim.Write("at+cmgr=4\r");
  EXPECT_EQ(sim.ReadUntil("OK\r\n"), "GSMATResp!at+cmgr=4\r\r\nOK\r\n") << "an empty slot";

  // A body with digits: the tracker must not take them for menu choices.
  EXPECT_EQ(StoreMessage(sim, 1, "1,120,30,60,3,\r"), "GSMATResp!\r\n+CMGW: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(StoreMessage(sim, 4, "192.0.2.10,\r"), "GSMATResp!\r\n+CMGW: 2\r\n\r\nOK\r\n");

  sim.Write("at+cmgr=2\r");
  EXPECT_EQ(sim.ReadUntil("OK\r\n"),
            "GSMATResp!at+cmgr=2\r\r\n+CMGR: \"STO UNSENT\",\"+4\",\r\n192.0.2.10,\r\r\n\r\nOK\r\n");

  const auto store = sim.Tracker().MessageStore();
  EXPECT_EQ(store[0], "1,120,30,60,3,\r");
  EXPECT_EQ(store[1], "192.0.2.10,\r");
  EXPECT_EQ(store[2], "");

  sim.Write("at+cmgd=1\r");
  EXPECT_EQ(sim.ReadUntil("OK\r\n"), "GSMATResp!at+cmgd=1\r\r\nOK\r\n");
  EXPECT_EQ(sim.Tracker().MessageStore()[0], "");
  EXPECT_EQ(sim.Tracker().CommandCount("at+cmgw=+4\r"), 1);
  EXPECT_EQ(sim.Tracker().CommandCount("1"), 0) << "body digits were taken as a menu choice";

  // The store fills the lowest free slot; with none free the module says so.
  for (int n = 1; n <= 3; ++n) StoreMessage(sim, n, "x,\r");
  EXPECT_EQ(StoreMessage(sim, 2, "y,\r"), "GSMATResp!\r\n+CMS ERROR: 322\r\n");
  EXPECT_EQ(sim.Tracker().MessageStore()[0], "x,\r");

  sim.Write("at+cmgr=9\r");
  EXPECT_EQ(sim.ReadUntil("321\r\n"), "GSMATResp!at+cmgr=9\r\r\n+CMS ERROR: 321\r\n");
}

TEST(SimGsm, VersionAnswerChoosesTheLayoutText) {
  ClockSpeedScope speed(kSpeed);
  {
    PtySim sim;
    ASSERT_TRUE(sim.Ready());
    sim.Write("kv+fwv\r");
    EXPECT_EQ(sim.ReadUntil(")\r\n"), "kv+fwv\r\r\nF-0KV770E-V1.4(20090904)\r\n");
  }
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("firmware", "basic", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-silent", "version/1", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-error", "any", gsm));  // the GSM module's commands only
  PtySim sim(WithGsm(gsm));
  ASSERT_TRUE(sim.Ready());
  sim.Write("kv+fwv\r");
  EXPECT_EQ(sim.ReadFor(500), "") << "the first query goes unanswered";
  sim.Write("kv+fwv\r");
  const std::string answer = sim.ReadUntil(")\r\n");
  EXPECT_NE(answer.find("F-0KV"), std::string::npos);
  EXPECT_NE(answer.find('Q'), std::string::npos);
  sim.Write("at+cmgd=1\r");
  EXPECT_EQ(sim.ReadUntil("ERROR\r\n"), "GSMATResp!at+cmgd=1\r\r\nERROR\r\n");
}

TEST(SimGsm, FaultRulesStrikeTheNamedCommandAndSlot) {
  ClockSpeedScope speed(kSpeed);
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-error", "store:2/1", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-silent", "delete:3", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-mismatch", "2:1", gsm));
  PtySim sim(WithGsm(gsm));
  ASSERT_TRUE(sim.Ready());

  // The refused store takes no body: what follows is ignored as a line.
  sim.Write("at+cmgw=+2\r");
  EXPECT_EQ(sim.ReadUntil("\r\n"), "GSMATResp!at+cmgw=+2\r\r\nERROR\r\n");
  sim.Write("9000,\r");
  sim.Write("\x1a\r");
  EXPECT_EQ(StoreMessage(sim, 1, "5550101,\r"), "GSMATResp!\r\n+CMGW: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(StoreMessage(sim, 2, "9000,\r"), "GSMATResp!\r\n+CMGW: 2\r\n\r\nOK\r\n") << "the rule strikes once only";

  sim.Write("at+cmgd=3\r");
  EXPECT_EQ(sim.ReadFor(500), "");
  sim.Write("at+cmgd=2\r");
  EXPECT_EQ(sim.ReadUntil("OK\r\n"), "GSMATResp!at+cmgd=2\r\r\nOK\r\n");

  // Slot 1 reads back differently twice, then as stored.
  const std::string good = "GSMATResp!at+cmgr=1\r\r\n+CMGR: \"STO UNSENT\",\"+1\",\r\n5550101,\r\r\n\r\nOK\r\n";
  std::string differing = good;
  differing.replace(differing.find("5550101,\r"), 1, "#");
  for (int i = 0; i < 2; ++i) {
    sim.Write("at+cmgr=1\r");
    EXPECT_EQ(sim.ReadUntil("OK\r\n"), differing) << "read " << i;
  }
  sim.Write("at+cmgr=1\r");
  EXPECT_EQ(sim.ReadUntil("OK\r\n"), good);
  EXPECT_EQ(sim.Tracker().MessageStore()[0], "5550101,\r") << "only the read-back differs";
}

TEST(SimGsm, LateAndSplitRepliesArriveInPieces) {
  ClockSpeedScope speed(kSpeed);
  sim::GsmOptions gsm;
  ASSERT_TRUE(sim::ParseGsmOption("gsm-late", "6000,textmode", gsm));
  ASSERT_TRUE(sim::ParseGsmOption("gsm-split", "14,8000", gsm));
  PtySim sim(WithGsm(gsm));
  ASSERT_TRUE(sim.Ready());

  sim.Write("at+cmgf=1\r");
  EXPECT_EQ(sim.ReadFor(1000), "") << "the reply is held back";
  std::string reply = sim.ReadUntil("GSMATResp!at+c", 10000);
  EXPECT_EQ(reply, "GSMATResp!at+c");
  EXPECT_EQ(sim.ReadFor(1000), "") << "the second piece follows after the pause";
  reply += sim.ReadUntil("OK\r\n", 10000);
  EXPECT_EQ(reply, "GSMATResp!at+cmgf=1\r\r\nOK\r\n");
}

TEST(SimGsm, OptionParserRejectsMalformedValues) {
  sim::GsmOptions gsm;
  EXPECT_TRUE(sim::ParseGsmOption("gsm-late", "6000,read:2/3", gsm));
  ASSERT_EQ(gsm.faults.size(), 1u);
  EXPECT_EQ(gsm.faults[0].fault, sim::GsmFault::Late);
  EXPECT_EQ(gsm.faults[0].command, sim::GsmCommandKind::Read);
  EXPECT_EQ(gsm.faults[0].slot, 2);
  EXPECT_EQ(gsm.faults[0].times, 3);
  EXPECT_EQ(gsm.faults[0].delayMs, 6000u);
  EXPECT_TRUE(sim::ParseGsmOption("firmware", "F-0KV9(x)", gsm));
  EXPECT_EQ(gsm.versionText, "F-0KV9(x)");

  for (const auto& [name, value] : {std::pair{"gsm-error", "read:5"},
                                    {"gsm-error", "reed"},
                                    {"gsm-silent", "store:1/0"},
                                    {"gsm-late", "x,read"},
                                    {"gsm-mismatch", "3:0"},
                                    {"gsm-split", "10,"},
                                    {"firmware", ""},
                                    {"gsm-nothing", "1"}}) {
    EXPECT_FALSE(sim::ParseGsmOption(name, value, gsm)) << name << "=" << value;
  }
  EXPECT_EQ(gsm.faults.size(), 1u) << "a rejected value adds no rule";
  EXPECT_TRUE(sim::IsGsmOption("gsm-split"));
  EXPECT_FALSE(sim::IsGsmOption("gsm-nothing"));
}

}  // namespace
