#include "display/bar_view.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/window_procedure.h"
#include "display/back_buffer.h"
#include "display/display_font.h"
#include "strip_fixture.h"

namespace {

constexpr ULONGLONG GIB = 1073741824;

// Courier New at 11 pixels in the fakes: "99%" is 21 wide, so the label area
// is 24 pixels, and a label's cell is 13 high.
class BarViewTest : public StripTest {
 protected:
  void SetUp() override {
    StripTest::SetUp();
    settings.memused = 1;
    settings.view = 1;
    settings.font.lfHeight = -11;
    std::strcpy(settings.font.lfFaceName, "Courier New");
    createDisplayFont();
    useWindow(450, 14);
  }
  void TearDown() override {
    releaseBackBuffer();
    deleteDisplayFont();
    EXPECT_EQ(fake::gdi().liveBrushes, 0);
    EXPECT_EQ(fake::gdi().borrowedDCs, 0);
  }
  static void useWindow(LONG width, LONG height) {
    app.monitorWindow = fake::makeWindow({0, 0, width, height});
    recreateBackBuffer(width, height);
  }
  // What one call draws, with the paging file as the physical memory unless given.
  static std::vector<std::string> draw(ULONGLONG total, ULONGLONG available,
                                       ULONGLONG pageTotal = 0, ULONGLONG pageAvailable = 0) {
    MEMORYSTATUSEX& memory = fake::host().memory;
    memory.ullTotalPhys = total;
    memory.ullAvailPhys = available;
    memory.ullTotalPageFile = pageTotal != 0 ? pageTotal : total;
    memory.ullAvailPageFile = pageTotal != 0 ? pageAvailable : available;
    fake::gdi().log.clear();
    drawBarView(app.monitorWindow);
    return fake::gdi().log;
  }
  static std::string entryStarting(const std::vector<std::string>& log, const std::string& head) {
    for (const std::string& entry : log)
      if (entry.rfind(head, 0) == 0) return entry;
    return "(none)";
  }
};

TEST_F(BarViewTest, DrawsBothBarsScaledBeforeTheirShareIsTaken) {
  // 7,600 of 10,099 is 76 / 100 once scaled, not 75; 759,000 of 1,000,000 is 75.
  const std::vector<std::string> expected = {
      "FillRect 0,0,450,14 system=4",
      "FillRect 24,1,449,6 brush=7f7f7f",
      "FrameRect 24,1,449,6 brush=000000",
      "Rectangle 24,1,347,6 brush=0000ff",
      "TextOutA 1,-3 colour=0000ff mode=1 font=Courier New \"76%\"",
      "TextOutA 24,-3 colour=ffffff mode=1 font=Courier New \"7,600\"",
      "FillRect 24,8,449,13 brush=7f7f7f",
      "FrameRect 24,8,449,13 brush=000000",
      "Rectangle 24,8,342,13 brush=ff0000",
      "TextOutA 1,4 colour=ff0000 mode=1 font=Courier New \"75%\"",
      "TextOutA 24,4 colour=ffffff mode=1 font=Courier New \"759,000\"",
      "BitBlt 0,0 450x14 from 0,0 op=00cc0020",
  };
  EXPECT_EQ(draw(10099, 2499, 1000000, 241000), expected);
  const NUMBERFMTA& format = fake::host().numberFormatSeen;
  EXPECT_EQ(format.NumDigits, 0u);
  EXPECT_EQ(format.LeadingZero, 0u);
  EXPECT_EQ(format.Grouping, 3u);
  EXPECT_STREQ(format.lpDecimalSep, ",");
  EXPECT_STREQ(format.lpThousandSep, ",");
  EXPECT_EQ(fake::host().numberTextSizeSeen, 30);
}

TEST_F(BarViewTest, ColourAndLabelFollowThePercentShown) {
  struct Case {
    ULONGLONG used;
    const char* fill;
    const char* label;
  };
  const Case cases[] = {
      {0, "Rectangle 24,1,24,6 brush=008000", "colour=008000 mode=1 font=Courier New \"0%\""},
      {5000, "Rectangle 24,1,236,6 brush=008000", "colour=008000 mode=1 font=Courier New \"50%\""},
      {5100, "Rectangle 24,1,240,6 brush=ff0000", "colour=ff0000 mode=1 font=Courier New \"51%\""},
      {7500, "Rectangle 24,1,342,6 brush=ff0000", "colour=ff0000 mode=1 font=Courier New \"75%\""},
      {7600, "Rectangle 24,1,347,6 brush=0000ff", "colour=0000ff mode=1 font=Courier New \"76%\""},
      {10000, "Rectangle 24,1,449,6 brush=0000ff", "colour=0000ff mode=1 font=Courier New \"100\""},
  };
  for (const Case& c : cases) {
    const auto log = draw(10000, 10000 - c.used, 10000, 1);
    EXPECT_EQ(entryStarting(log, "Rectangle 24,1,"), c.fill) << c.used;
    EXPECT_EQ(entryStarting(log, "TextOutA 1,-3 ").substr(14), c.label) << c.used;
  }
}

TEST_F(BarViewTest, FreeModeShowsWhatIsAvailable) {
  for (LONG mode : {0, 5}) {
    settings.memused = mode;
    const auto log = draw(10000, 8000 + static_cast<ULONGLONG>(mode));
    EXPECT_EQ(entryStarting(log, "Rectangle 24,1,"), "Rectangle 24,1,364,6 brush=0000ff") << mode;
    EXPECT_EQ(entryStarting(log, "TextOutA 24,-3 ").substr(15),
              "colour=ffffff mode=1 font=Courier New \"8,00" + std::to_string(mode) + "\"");
  }
}

TEST_F(BarViewTest, AnyAmountIsGroupedAndScaledWithoutOverflow) {
  struct Case {
    ULONGLONG total, available;
    const char* percent;
    const char* amount;
  };
  const Case cases[] = {
      {4 * GIB, GIB, "\"75%\"", "\"3,221,225,472\""},
      {64 * GIB, 16 * GIB, "\"74%\"", "\"51,539,607,552\""},  // hundredths dropped first
      {~0ull, 0, "\"100\"", "\"18,446,744,073,709,551,615\""},
      {99, 1, "\"0%\"", "\"98\""},                                // no hundredth to divide by
      {1000, 2000, "\"100\"", "\"18,446,744,073,709,550,616\""},  // a torn reading
  };
  for (const Case& c : cases) {
    const auto log = draw(c.total, c.available);
    const std::string percent = entryStarting(log, "TextOutA 1,-3 ");
    const std::string amount = entryStarting(log, "TextOutA 24,-3 ");
    EXPECT_EQ(percent.substr(percent.find('"')), c.percent) << c.total;
    EXPECT_EQ(amount.substr(amount.find('"')), c.amount) << c.total;
    const std::string fill = entryStarting(log, "Rectangle 24,1,");
    EXPECT_LE(std::stoi(fill.substr(15)), 449) << "the fill stays inside the bar";
  }
}

TEST_F(BarViewTest, BarRowsFollowTheWindowHeight) {
  useWindow(450, 15);
  const auto log = draw(100, 50);
  EXPECT_EQ(entryStarting(log, "FillRect 24,"), "FillRect 24,1,449,6 brush=7f7f7f");
  EXPECT_EQ(entryStarting(log, "FrameRect 24,8"), "FrameRect 24,8,449,14 brush=000000")
      << "the lower bar takes the odd row";
}

TEST_F(BarViewTest, UnchangedAvailableFiguresAreNotDrawnAgainEvenForAPaint) {
  EXPECT_FALSE(draw(10000, 4000, 20000, 9000).empty()) << "the first call draws";
  EXPECT_TRUE(draw(10000, 4000, 20000, 9000).empty());
  EXPECT_TRUE(draw(12000, 4000, 30000, 9000).empty()) << "totals are not compared";
  fake::gdi().log.clear();
  windowProcedure(app.monitorWindow, WM_PAINT, 0, 0);
  EXPECT_TRUE(fake::gdi().log.empty());
  EXPECT_FALSE(draw(12000, 4000, 30000, 9001).empty()) << "either figure moving draws";
}

TEST_F(BarViewTest, AFailedGroupingDrawsWhatTheLabelBufferLastHeld) {
  draw(10099, 2499, 1000000, 241000);
  fake::host().numberFormatFails = true;
  const auto log = draw(10000, 5000);
  EXPECT_EQ(entryStarting(log, "TextOutA 1,-3 ").substr(14),
            "colour=008000 mode=1 font=Courier New \"759,000\"");
}

}  // namespace
