// The simulated GSM module abandons a message text on ESC, as a module does:
// nothing is stored and the next command is taken as a command.
#include <gtest/gtest.h>

#include "clock_speed.h"
#include "pty_sim.h"

namespace {

using testing_support::PtySim;

TEST(SimGsmAbandon, EscEndsTheTextWithoutStoringItAndCommandsWorkAgain) {
  ClockSpeedScope speed(20.0);
  PtySim sim;
  ASSERT_TRUE(sim.Ready());
  sim.Write("at+cmgw=+2\r");
  EXPECT_EQ(sim.ReadUntil("> "), "GSMATResp!at+cmgw=+2\r\r\n> ");
  sim.Write("5550101,,,");
  sim.Write("\x1b");
  EXPECT_EQ(sim.ReadUntil("OK\r\n"), "GSMATResp!\r\nOK\r\n");
  EXPECT_EQ(sim.Tracker().MessageStore()[0], "");
  // The probe is answered again instead of being taken into the text.
  sim.Write("ati\r");
  EXPECT_NE(sim.ReadUntil("Main Menu").find("Main Menu"), std::string::npos);
}

}  // namespace
