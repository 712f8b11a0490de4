#include "display/display_font.h"

#include <gtest/gtest.h>

#include <cstring>

#include "display/back_buffer.h"
#include "display/text_view.h"
#include "strip_fixture.h"

namespace {

// With the fakes' text extents, the sample "99%99,999,999" is 13 characters
// of (|height| + 3) / 2 pixels, and its cell |height| + 2 pixels high.
class FontFitTest : public StripTest {
 protected:
  void SetUp() override {
    StripTest::SetUp();
    std::strcpy(settings.font.lfFaceName, "Courier New");
    settings.font.lfHeight = -11;
    settings.font.lfWeight = FW_BOLD;
  }
  void TearDown() override {
    releaseBackBuffer();
    deleteDisplayFont();
    EXPECT_EQ(fake::gdi().liveFonts, 0);
    EXPECT_EQ(fake::gdi().borrowedDCs, 0);
  }
  static void fitIn(LONG width, LONG height) {
    app.monitorWindow = fake::makeWindow({0, 0, width, height});
    recreateBackBuffer(width, height);
    fake::gdi().fontHeights.clear();
    fitDisplayFont();
  }
};

TEST_F(FontFitTest, CountsDownToTheFirstHeightWhoseSampleFitsBothLimits) {
  struct Case {
    LONG width, height;
    LONG first, fitted;
    std::size_t tries;
  };
  const Case cases[] = {
      {450, 14, 74, 5, 70},   // 446 x 7 allowed: the height decides, 52 x 7 at 5
      {100, 100, 16, 12, 5},  // 96 x 50 allowed: the width decides, 91 x 14 at 12
  };
  for (const Case& c : cases) {
    fitIn(c.width, c.height);
    const auto& heights = fake::gdi().fontHeights;
    ASSERT_EQ(heights.size(), c.tries) << c.width;
    EXPECT_EQ(heights.front(), c.first);
    EXPECT_EQ(heights.back(), c.fitted);
    EXPECT_EQ(settings.font.lfHeight, c.fitted);
    EXPECT_NE(DisplayFont, nullptr);
    EXPECT_EQ(fake::gdi().liveFonts, 1) << "every rejected candidate is gone";
    EXPECT_EQ(settings.font.lfWeight, FW_BOLD) << "only the height is fitted";
  }
}

TEST_F(FontFitTest, NarrowWindowsStartAtZeroAndSpendEveryTryWithoutAFont) {
  for (LONG width : {9, 3}) {
    fitIn(width, 14);
    const auto& heights = fake::gdi().fontHeights;
    ASSERT_EQ(heights.size(), 1024u) << width;
    EXPECT_EQ(heights.front(), 0) << "truncated toward zero, even below 4 pixels";
    EXPECT_EQ(settings.font.lfHeight, -1024);
    EXPECT_EQ(DisplayFont, nullptr);
    EXPECT_EQ(fake::gdi().liveFonts, 0);
  }
  // Both views still draw, in the context's own font.
  fake::host().memory.ullTotalPhys = 1000000;
  fake::host().memory.ullAvailPhys = 500000;
  fake::gdi().log.clear();
  drawBarView(app.monitorWindow);
  drawTextView(app.monitorWindow);
  int defaultFontTexts = 0;
  for (const std::string& entry : fake::gdi().log)
    defaultFontTexts += entry.find("font=default") != std::string::npos;
  EXPECT_EQ(defaultFontTexts, 5) << "four bar labels and the status line";
}

TEST_F(FontFitTest, NoWindowNoContextOrNoFontStopsTheFit) {
  createDisplayFont();
  HFONT before = DisplayFont;
  fitDisplayFont();  // a size message while the window is being created
  app.monitorWindow = fake::makeWindow({0, 0, 450, 14});
  fake::gdi().failWindowDC = true;
  fitDisplayFont();
  EXPECT_EQ(DisplayFont, before);
  EXPECT_EQ(settings.font.lfHeight, -11);
  fake::gdi().failWindowDC = false;
  fake::gdi().failFont = true;
  fitIn(450, 14);
  EXPECT_EQ(DisplayFont, nullptr);
  EXPECT_EQ(fake::gdi().fontHeights.size(), 1u);
  EXPECT_EQ(settings.font.lfHeight, 74) << "the height that failed stays";
}

using FontChoiceTest = StripTest;

LOGFONTA chosenFont(LONG height) {
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWeight = FW_BOLD;
  std::strcpy(font.lfFaceName, "Liberation Mono");
  return font;
}

void chooseFont(HWND monitor) { PostMessageA(monitor, WM_COMMAND, CMD_SELECT_FONT, 0); }

TEST_F(FontChoiceTest, InTheTextViewTheStripTakesTheLinesSizeInTheNewFont) {
  fake::fontDialog().confirm = true;
  fake::fontDialog().choice = chosenFont(-20);
  std::size_t lineLength = 0;
  runStrip({[](HWND monitor) { post(monitor, WM_TIMER); },
            [&](HWND monitor) {
              lineLength = std::strlen(StatusLine);
              chooseFont(monitor);
            }});
  const fake::FontDialog& dialog = fake::fontDialog();
  EXPECT_EQ(dialog.request.lStructSize, sizeof(CHOOSEFONTA));
  EXPECT_EQ(dialog.request.Flags, 0x00800041u);
  EXPECT_EQ(dialog.request.hwndOwner, app.monitorWindow);
  EXPECT_EQ(dialog.request.lpLogFont, &settings.font);
  EXPECT_EQ(dialog.openedOn.lfHeight, -11) << "opens on the font in use";
  ASSERT_GT(lineLength, 40u);
  const std::string placed =
      "place Kivo2 z=-1 443,-2 " + std::to_string(11 * lineLength + 5) + "x22 flags=0x22";
  EXPECT_EQ(fake::logEntries(placed).size(), 1u) << "same place and z-order, the line's size";
  EXPECT_STREQ(fake::gdi().lastFont.lfFaceName, "Liberation Mono");
}

TEST_F(FontChoiceTest, InTheBarViewBeforeAnyTextTheStripIsFiveWideAndItsFitGivesNoFont) {
  fake::storeDword(key(), "view", 1);
  fake::host().memory.ullTotalPhys = 1000000;
  fake::fontDialog().confirm = true;
  fake::fontDialog().choice = chosenFont(-20);
  RECT outer{};
  bool fitGaveAFont = true;
  runStrip({chooseFont, [&](HWND monitor) {
              outer = fake::windowOf(monitor)->outer;
              fitGaveAFont = DisplayFont != nullptr;
              fake::host().memory.ullAvailPhys = 1;
              fake::gdi().log.clear();
              post(monitor, WM_TIMER);
            }});
  EXPECT_EQ(outer.right - outer.left, 5);
  EXPECT_EQ(outer.bottom - outer.top, 22);
  EXPECT_FALSE(fitGaveAFont) << "nothing fits a client 5 pixels wide";
  ASSERT_FALSE(fake::gdi().log.empty()) << "the bars still draw";
  EXPECT_EQ(fake::gdi().log.back(), "BitBlt 0,0 5x22 from 0,0 op=00cc0020");
}

TEST_F(FontChoiceTest, CancelOrAFontThatCannotBeMadeKeepsTheFontAndTheSize) {
  for (bool confirm : {false, true}) {
    SetUp();
    fake::fontDialog().confirm = confirm;
    fake::fontDialog().choice = chosenFont(-20);
    HFONT fontBefore = nullptr;
    HFONT fontAfter = nullptr;
    std::size_t placesBefore = 0;
    std::size_t placesAfter = 0;
    runStrip({[&](HWND monitor) {
                fontBefore = DisplayFont;
                placesBefore = fake::logEntries("place Kivo2").size();
                fake::gdi().failFont = confirm;
                chooseFont(monitor);
              },
              [&](HWND) {
                fontAfter = DisplayFont;
                placesAfter = fake::logEntries("place Kivo2").size();
                fake::gdi().failFont = false;
              }});
    EXPECT_EQ(fontAfter, fontBefore) << confirm;
    EXPECT_EQ(placesAfter, placesBefore) << "the strip keeps its size";
    EXPECT_EQ(settings.font.lfHeight, confirm ? -20 : -11) << "a confirmed choice is kept";
    EXPECT_EQ(fake::gdi().liveFonts, 0);
  }
}

}  // namespace
