// Items of the main window's port list.
#include <gtest/gtest.h>

#include "serial/port_items.h"

namespace {

TEST(PortItems, NamesThatDoNotFitTheItemBufferAreSkippedNeverCut) {
  EXPECT_EQ(PortItemText("COM4"), "COM4:");
  EXPECT_EQ(PortItemText("/dev/pts/12345"), "/dev/pts/12345:") << "14 characters fit";
  EXPECT_EQ(PortItemText("/dev/pts/123456"), "") << "15 do not";
  EXPECT_EQ(PortItemText(""), "");

  const std::vector<platform::PortInfo> ports = {
      {"ttyUSB0", "Prolific USB-to-Serial Comm Port (ttyUSB0)", false},
      {"ttyUSB1", "USB Serial Port (ttyUSB1)", false},
      {"/dev/pts/123456", "Prolific USB-to-Serial Comm Port (/dev/pts/123456)", true},
      {"COM3", "Prolific USB-to-Serial Comm Port (COM3)", false},
      {"x", "Prolific USB-to-Serial Comm Port", false},  // no port in parentheses
  };
  EXPECT_EQ(TrackerPortItems(ports), (std::vector<std::string>{"ttyUSB0:", "COM3:"}));
}

TEST(PortItems, UsersStripEveryTrailingColon) {
  EXPECT_EQ(PortNameFromItem("COM3:"), "COM3");
  EXPECT_EQ(PortNameFromItem("COM3::"), "COM3");
  EXPECT_EQ(PortNameFromItem("/dev/pts/5:"), "/dev/pts/5");
  EXPECT_EQ(PortNameFromItem("ttyUSB0"), "ttyUSB0");
}

}  // namespace
