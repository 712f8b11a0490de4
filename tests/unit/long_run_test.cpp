// A long mixed run of everything the strip does over and over in a day of
// use, in an order no hand-written test would choose, against the fakes'
// counts of what is alive. A leak that needs two operations in a particular
// order (a font chosen while framed in the bar view, a resize right after a
// view switch) shows here even when each operation alone is balanced.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "app/mouse_and_menu.h"
#include "app/window_procedure.h"
#include "resources/resource_ids.h"
#include "strip_fixture.h"

namespace {

using StripLongRunTest = StripTest;

struct Alive {
  int dcs, borrowedDCs, bitmaps, brushes, fonts, keys, queries, counters;
  bool operator==(const Alive& other) const {
    return dcs == other.dcs && borrowedDCs == other.borrowedDCs && bitmaps == other.bitmaps &&
           brushes == other.brushes && fonts == other.fonts && keys == other.keys &&
           queries == other.queries && counters == other.counters;
  }
};

Alive alive() {
  const fake::Gdi& gdi = fake::gdi();
  return Alive{
      gdi.liveDCs,   gdi.borrowedDCs,           gdi.liveBitmaps,         gdi.liveBrushes,
      gdi.liveFonts, fake::registry().liveKeys, fake::pdh().liveQueries, fake::pdh().liveCounters};
}

// The bar view fits a font to the strip's height and may find none that
// fits: the display font is then gone until the next fit or choice. Never
// more than the one, though.
bool sameBesidesTheFont(const Alive& a, const Alive& b) {
  Alive withoutFonts = a;
  withoutFonts.fonts = b.fonts;
  return withoutFonts == b && a.fonts <= b.fonts;
}

std::string describe(const Alive& a) {
  std::ostringstream text;
  text << "DCs " << a.dcs << ", borrowed DCs " << a.borrowedDCs << ", bitmaps " << a.bitmaps
       << ", brushes " << a.brushes << ", fonts " << a.fonts << ", keys " << a.keys << ", queries "
       << a.queries << ", counters " << a.counters;
  return text.str();
}

TEST_F(StripLongRunTest, WhatIsAliveAfterEveryStepOfAMixedRunIsWhatWasAliveAtTheStart) {
  constexpr int STEPS = 3000;
  enum Operation { TICK, PAINT, RESIZE, TOGGLE_FRAME, CHOOSE_FONT, SWITCH_VIEW, OPERATIONS };
  const char* const names[] = {"tick",         "paint",       "resize",
                               "frame toggle", "font choice", "view switch"};

  fake::host().memory.ullTotalPhys = 1000000;
  fake::host().memory.ullTotalPageFile = 2000000;
  fake::fontDialog().confirm = true;
  std::strcpy(fake::fontDialog().choice.lfFaceName, "Courier New");

  // The same run every time: a fixed start value for the generator.
  std::minstd_rand next(20261207u);
  std::uniform_int_distribution<int> pick(0, OPERATIONS - 1);
  std::uniform_int_distribution<int> width(120, 900);
  std::uniform_int_distribution<int> height(8, 40);
  std::uniform_int_distribution<int> fontHeight(6, 30);

  Alive start{};
  int done[OPERATIONS] = {};
  int wantedView = 0;
  std::string firstDifference;
  std::vector<Step> steps;
  steps.push_back([&](HWND) { start = alive(); });
  for (int step = 0; step < STEPS; ++step) {
    const int operation = pick(next);
    const int w = width(next), h = height(next), fh = fontHeight(next);
    steps.push_back([&, step, operation, w, h, fh](HWND monitor) {
      fake::host().memory.ullAvailPhys = static_cast<ULONGLONG>(step) * 331 % 1000000;
      switch (operation) {
        case TICK:
          post(monitor, WM_TIMER, 0, 0, REFRESH_TIMER);
          break;
        case PAINT:
          post(monitor, WM_PAINT);
          break;
        case RESIZE:
          SetWindowPos(monitor, HWND_TOPMOST, 0, 0, w, h, SWP_NOMOVE);
          break;
        case TOGGLE_FRAME:
          post(monitor, WM_LBUTTONDBLCLK, 5, 5);
          break;
        case CHOOSE_FONT:
          fake::fontDialog().choice.lfHeight = -fh;
          fake::fontDialog().choice.lfWeight = fh % 2 ? FW_BOLD : FW_NORMAL;
          post(monitor, WM_COMMAND, 0, 0, CMD_SELECT_FONT);
          break;
        case SWITCH_VIEW:
          wantedView = 1 - wantedView;
          fake::desktop().dialogActions = {
              fake::clickRadio(wantedView == 1 ? IDC_LEGACY : IDC_PERFVIEW),
              fake::pressButton(IDOK)};
          post(monitor, WM_COMMAND, 0, 0, CMD_SETUP);
          break;
      }
      ++done[operation];
    });
    // Checked once the operation's messages have all been handled.
    steps.push_back([&, step, operation](HWND) {
      fake::gdi().log.clear();
      if (!firstDifference.empty()) return;
      if (settings.view != wantedView) {
        firstDifference = "the view did not switch at step " + std::to_string(step);
      } else if (!sameBesidesTheFont(alive(), start)) {
        firstDifference = "after step " + std::to_string(step) + ", a " + names[operation] + ": " +
                          describe(alive()) + "; at the start: " + describe(start);
      }
    });
  }
  // Back to the text view, then a font chosen: everything as at the start.
  Alive end{};
  steps.push_back([&](HWND monitor) {
    if (wantedView == 1) {
      wantedView = 0;
      fake::desktop().dialogActions = {fake::clickRadio(IDC_PERFVIEW), fake::pressButton(IDOK)};
      post(monitor, WM_COMMAND, 0, 0, CMD_SETUP);
    }
  });
  steps.push_back([&](HWND monitor) {
    fake::fontDialog().choice.lfHeight = -11;
    post(monitor, WM_COMMAND, 0, 0, CMD_SELECT_FONT);
    ++done[CHOOSE_FONT];
  });
  steps.push_back([&](HWND) { end = alive(); });
  EXPECT_EQ(runStrip(steps), 0);
  EXPECT_TRUE(end == start) << "at the end: " << describe(end)
                            << "; at the start: " << describe(start);
  EXPECT_EQ(firstDifference, "");
  for (int operation = 0; operation < OPERATIONS; ++operation)
    EXPECT_GT(done[operation], STEPS / OPERATIONS / 2) << names[operation];
  EXPECT_EQ(fake::fontDialog().opened, done[CHOOSE_FONT]);
}

}  // namespace
