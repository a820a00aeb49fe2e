// Tracker text on the user's terminal: control bytes made visible, printable
// text (UTF-8 included) left alone.
#include <gtest/gtest.h>

#include "terminal_text.h"

namespace {

TEST(TerminalText, ControlBytesAreShownAsHex) {
  // Clear screen, window title, bell: the version text of a hostile tracker.
  EXPECT_EQ(VisibleText("V2.1\x1b[2J\x1b]0;owned\x07Q"), "V2.1\\x1b[2J\\x1b]0;owned\\x07Q");
  EXPECT_EQ(VisibleText(std::string("a\0b\x7f", 4)), "a\\x00b\\x7f");
  EXPECT_EQ(VisibleText("line\rover"), "line\\x0dover");
  EXPECT_EQ(VisibleText("tab\there"), "tab\\x09here");
}

TEST(TerminalText, Utf8StaysButC1ControlsAndBrokenBytesDoNot) {
  EXPECT_EQ(VisibleText("Gr\xC3\xBC\xC3\x9F"
                        "e \xE2\x80\xA6"),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x80\xA6");
  EXPECT_EQ(VisibleText("\xC2\x9B"
                        "2J"),
            "\\xc2\\x9b2J")
      << "CSI in its UTF-8 form";
  EXPECT_EQ(VisibleText("\x9b"
                        "2J"),
            "\\x9b2J")
      << "a lone 8-bit CSI";
  EXPECT_EQ(VisibleText("\xE2\x80"), "\\xe2\\x80") << "a cut sequence";
  EXPECT_EQ(VisibleText("\xC0\xAF"), "\\xc0\\xaf") << "an overlong form";
}

TEST(TerminalText, LineEndsOfABlockCanStay) {
  EXPECT_EQ(VisibleText("[A]\r\nx=1\nlone\r", true), "[A]\r\nx=1\nlone\\x0d");
  EXPECT_EQ(VisibleText("[A]\r\n"), "[A]\\x0d\\x0a");
}

}  // namespace
