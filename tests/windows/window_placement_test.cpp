// Where the Win32 windows open: centred on their owner, kept on the screen.
#include "ui/win32/window_placement.h"

#include <gtest/gtest.h>

namespace {

using ui::win32::CentredPosition;

const RECT kScreen{0, 0, 1366, 728};  // a 1366x768 screen above its taskbar

TEST(WindowPlacement, CentresOnTheOwnerAndOnTheScreen) {
  const POINT onOwner = CentredPosition(RECT{0, 0, 200, 100}, RECT{300, 200, 700, 400}, kScreen);
  EXPECT_EQ(onOwner.x, 400);
  EXPECT_EQ(onOwner.y, 250);
  const POINT onScreen = CentredPosition(RECT{0, 0, 516, 150}, kScreen, kScreen);
  EXPECT_EQ(onScreen.x, 425);
  EXPECT_EQ(onScreen.y, 289);
  // Only the window's size counts, not where it was made.
  const POINT moved = CentredPosition(RECT{900, 900, 1100, 1000}, RECT{300, 200, 700, 400}, kScreen);
  EXPECT_EQ(moved.x, 400);
  EXPECT_EQ(moved.y, 250);
}

TEST(WindowPlacement, StaysInsideTheWorkArea) {
  // An owner near the corner: the dialog is pushed back onto the screen.
  const POINT nearCorner = CentredPosition(RECT{0, 0, 800, 700}, RECT{1200, 600, 1366, 728}, kScreen);
  EXPECT_EQ(nearCorner.x, 1366 - 800);
  EXPECT_EQ(nearCorner.y, 728 - 700);
  const POINT leftTop = CentredPosition(RECT{0, 0, 800, 700}, RECT{-50, -40, 10, 10}, kScreen);
  EXPECT_EQ(leftTop.x, 0);
  EXPECT_EQ(leftTop.y, 0);
  // Larger than the work area: the caption and the left edge stay on it.
  const POINT tooLarge = CentredPosition(RECT{0, 0, 1500, 800}, RECT{0, 0, 400, 100}, RECT{100, 20, 1466, 748});
  EXPECT_EQ(tooLarge.x, 100);
  EXPECT_EQ(tooLarge.y, 20);
}

}  // namespace
