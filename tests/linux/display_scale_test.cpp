// The desktop's scale and the conversion between 96-dpi units and screen
// pixels: plain arithmetic, so no display is needed.
#include "platform/linux/x11/display_scale.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayScale, XftDpiGivesWindowsSteps) {
  struct Case {
    const char* resources;
    const char* gdkScale;
    int percent;
  } cases[] = {
      {"Xft.dpi:\t96\n", nullptr, 100},
      {"Xft.dpi:\t120\n", nullptr, 125},
      {"Xft.dpi:\t144\n", nullptr, 150},
      {"Xft.dpi:\t168\n", nullptr, 175},
      {"Xft.dpi:\t192\n", nullptr, 200},
      {"Xft.dpi:\t288\n", nullptr, 300},
      {"Xft.dpi: 110", nullptr, 125},  // the nearest step
      {"Xft.dpi:\t72\n", "2", 100},    // below 96: 100 %, GDK_SCALE unread
      {"Xcursor.size:\t48\nXft.antialias:\t1\nXft.dpi:\t192\n", nullptr, 200},
      {"Xft.dpi:\t9600\n", nullptr, 500},  // capped
      {"Xft.dpi:\tnan\n", nullptr, 100},
      {"*dpi:\t192\nXft.dpis:\t192\n", nullptr, 100},  // other keys
      {nullptr, "2", 200},
      {"Xft.antialias:\t1\n", "3", 300},
      {nullptr, "1.5", 100},  // whole numbers only
      {nullptr, "0", 100},
      {nullptr, "", 100},
      {nullptr, nullptr, 100},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scalePercentFor(c.resources, c.gdkScale), c.percent)
        << (c.resources ? c.resources : "(none)") << " / " << (c.gdkScale ? c.gdkScale : "-");
  }
}

TEST(DisplayScale, RoundsToNearestBothWaysAndComesBackExactly) {
  EXPECT_EQ(scaledToScreen(443, 200), 886);
  EXPECT_EQ(scaledToScreen(-2, 200), -4);
  EXPECT_EQ(scaledToScreen(450, 125), 563);  // 562.5
  EXPECT_EQ(scaledToScreen(-2, 125), -2);    // -2.5 rounds up
  EXPECT_EQ(scaledToScreen(-3, 150), -4);    // -4.5 rounds up
  EXPECT_EQ(scaledToScreen(7, 175), 12);     // 12.25
  EXPECT_EQ(scaledFromScreen(563, 125), 450);
  EXPECT_EQ(scaledFromScreen(-4, 150), -3);  // -2.67
  EXPECT_EQ(scaledFromScreen(13, 150), 9);   // 8.67
  for (const int percent : {100, 125, 150, 175, 200, 300}) {
    for (long units = -40000; units <= 40000; ++units) {
      ASSERT_EQ(scaledFromScreen(scaledToScreen(units, percent), percent), units)
          << units << " at " << percent << " %";
    }
  }
}

// A drag follows the cursor in units: one screen pixel at 200 % moves the
// strip by a unit every other pixel, and forty by exactly twenty.
TEST(DisplayScale, CursorMovesBecomeUnitMoves) {
  long moved = 0;
  for (long pixel = 885; pixel < 925; ++pixel) {
    const long step = scaledFromScreen(pixel + 1, 200) - scaledFromScreen(pixel, 200);
    EXPECT_TRUE(step == 0 || step == 1) << pixel;
    moved += step;
  }
  EXPECT_EQ(moved, 20);
}

}  // namespace
