#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "app/mouse_and_menu.h"
#include "app/window_procedure.h"
#include "display/back_buffer.h"
#include "display/display_font.h"
#include "measure/counter_probe.h"
#include "measure/status_line.h"
#include "settings/settings_store.h"
#include "strip_fixture.h"

namespace {

using StripStartTest = StripTest;

bool contains(const std::vector<std::string>& entries, const std::string& wanted) {
  for (const std::string& entry : entries)
    if (entry.find(wanted) != std::string::npos) return true;
  return false;
}

TEST_F(StripStartTest, FirstRunShowsTheDefaultStripAndSavesOnClose) {
  EXPECT_EQ(runStrip(), 0);
  const std::vector<std::string> expected = {
      "register kivo_main",
      "create Kivo",
      "size Kivo 444x12",  // heard before its creator knows the handle
      "register Kivo",
      "create Kivo2",
      "size Kivo2 446x14",
      "SetTimer Kivo2 1 1000",
      "place Kivo2 z=-1 443,-2 446x14 flags=0x3",
      "place Kivo2 z=-1 443,-2 450x14 flags=0x0",
      "size Kivo2 450x14",
      "KillTimer Kivo2 1",
      "SetTimer Kivo2 1 1000",
      "show Kivo2 1",
  };
  std::vector<std::string> startup;
  for (const std::string& entry : fake::desktop().log) {
    if (entry.rfind("menu item", 0) == 0) continue;
    startup.push_back(entry);
    if (startup.size() == expected.size()) break;
  }
  EXPECT_EQ(startup, expected);
  const std::vector<std::string> saved = {"x", "y", "width", "height", "top", "font"};
  EXPECT_EQ(valuesWritten(), saved);
  EXPECT_EQ(fake::gdi().lastFont.lfHeight, -11);
  EXPECT_STREQ(fake::gdi().lastFont.lfFaceName, "Courier New");
}

TEST_F(StripStartTest, ExitCodesWhenClassesOrWindowsCannotBeMade) {
  struct Case {
    std::vector<std::string> failRegister;
    std::vector<std::string> failCreate;
    int exitCode;
  };
  const Case cases[] = {
      {{"kivo_main"}, {}, 1},
      {{}, {"kivo_main"}, 2},
      {{"Kivo"}, {}, 1},
      {{}, {"Kivo"}, 2},
  };
  for (const Case& c : cases) {
    SetUp();
    fake::desktop().failRegister = c.failRegister;
    fake::desktop().failCreate = c.failCreate;
    EXPECT_EQ(runStrip(), c.exitCode);
    EXPECT_TRUE(valuesWritten().empty()) << "nothing is saved";
    EXPECT_EQ(fake::findWindow("Kivo2"), nullptr);
    // The process ends here, and what start-up made goes with it.
    releaseBackBuffer();
    deleteDisplayFont();
  }
}

TEST_F(StripStartTest, ExactlyOneRefreshTimerRunsAfterStartUp) {
  std::map<std::pair<HWND, UINT_PTR>, UINT> timers;
  runStrip({[&](HWND) { timers = fake::desktop().timers; }});
  ASSERT_EQ(timers.size(), 1u);
  EXPECT_EQ(timers.begin()->first.first, app.monitorWindow);
  EXPECT_EQ(timers.begin()->first.second, REFRESH_TIMER);
}

TEST_F(StripStartTest, ZOrderStepAndTheTopValueSaved) {
  struct Case {
    LONG stored;
    LONG_PTR zOrder;
    bool rewritten;
  };
  for (const Case& c : {Case{1, 1, false}, Case{0, -1, true}, Case{-1, -1, false}}) {
    SetUp();
    fake::storeDword(key(), "top", static_cast<DWORD>(c.stored));
    LONG_PTR zOrder = 0;
    runStrip({[&](HWND monitor) { zOrder = fake::windowOf(monitor)->zOrder; }});
    EXPECT_EQ(zOrder, c.zOrder) << c.stored;
    EXPECT_EQ(contains(valuesWritten(), "top"), c.rewritten) << c.stored;
  }
}

TEST_F(StripStartTest, CloseReleasesEveryDrawingObject) {
  runStrip({[](HWND monitor) {
    for (int width = 300; width < 310; ++width)
      SetWindowPos(monitor, HWND_TOPMOST, 0, 0, width, 14, SWP_NOMOVE);
    EXPECT_EQ(fake::gdi().liveDCs, 1);
    EXPECT_EQ(fake::gdi().liveBitmaps, 1);
  }});
  EXPECT_EQ(fake::gdi().liveDCs, 0);
  EXPECT_EQ(fake::gdi().liveBitmaps, 0);
  EXPECT_EQ(fake::gdi().liveFonts, 0);
  EXPECT_EQ(fake::gdi().borrowedDCs, 0);
  EXPECT_EQ(fake::registry().liveKeys, 0);
}

TEST_F(StripStartTest, DrawingObjectsBalanceAcrossTicksPaintsResizesFontsAndViews) {
  struct Counts {
    int dcs, bitmaps, brushes, fonts, borrowed;
    bool operator==(const Counts& other) const {
      return dcs == other.dcs && bitmaps == other.bitmaps && brushes == other.brushes &&
             fonts == other.fonts && borrowed == other.borrowed;
    }
  };
  const auto counts = [] {
    const fake::Gdi& gdi = fake::gdi();
    return Counts{gdi.liveDCs, gdi.liveBitmaps, gdi.liveBrushes, gdi.liveFonts, gdi.borrowedDCs};
  };
  fake::host().memory.ullTotalPhys = 1000000;
  fake::host().memory.ullTotalPageFile = 2000000;
  fake::fontDialog().confirm = true;
  fake::fontDialog().choice.lfHeight = -13;
  fake::desktop().dialogActions = {fake::clickRadio(IDC_LEGACY), fake::pressButton(IDOK),
                                   fake::clickRadio(IDC_PERFVIEW), fake::pressButton(IDOK)};
  Counts before{};
  const Step everything = [](HWND monitor) {
    fake::host().memory.ullAvailPhys += 1000;
    post(monitor, WM_TIMER);
    post(monitor, WM_PAINT);
    SetWindowPos(monitor, HWND_TOPMOST, 0, 0, 300 + static_cast<int>(fake::gdi().log.size() % 50),
                 20, SWP_NOMOVE);
    post(monitor, WM_COMMAND, 0, 0, CMD_SELECT_FONT);
    post(monitor, WM_TIMER);
  };
  const Step setup = [](HWND monitor) { post(monitor, WM_COMMAND, 0, 0, CMD_SETUP); };
  runStrip({[&](HWND) { before = counts(); }, everything, setup, everything, everything, setup,
            everything,
            [&](HWND) {
              EXPECT_TRUE(counts() == before);
              EXPECT_EQ(fake::gdi().liveBrushes, 0);
              EXPECT_EQ(fake::logEntries("dialog 103 ended").size(), 2u);
            }});
}

TEST_F(StripStartTest, EveryTickAndPaintDrawsAFreshLineInGreenOnBlack) {
  fake::pdh().scripts[CPU_COUNTER_PATH].values = {7};
  runStrip({[](HWND monitor) {
    fake::resetGdi();
    fake::pdh().log.clear();
    post(monitor, WM_TIMER, 0, 0, REFRESH_TIMER);
    post(monitor, WM_PAINT);
  }});
  std::vector<std::string> frames = {
      "Rectangle 0,0,450,14 brush=black",
      "TextOutA 0,0 colour=00ff00 mode=1 font=Courier New \"12/06 Ram",
      "BitBlt 0,0 450x14 from 0,0 op=00cc0020",
  };
  ASSERT_GE(fake::gdi().log.size(), 6u);
  for (std::size_t frame = 0; frame < 2; ++frame)
    for (std::size_t step = 0; step < 3; ++step)
      EXPECT_EQ(fake::gdi().log[frame * 3 + step].rfind(frames[step], 0), 0u)
          << fake::gdi().log[frame * 3 + step];
  int collections = 0;
  for (const std::string& entry : fake::pdh().log)
    collections += entry == std::string("collect ") + CPU_COUNTER_PATH;
  EXPECT_EQ(collections, 2) << "a paint samples again, like a tick";
}

TEST_F(StripStartTest, FailedFontDrawsInTheContextsOwnFont) {
  fake::gdi().failFont = true;
  EXPECT_EQ(runStrip({[](HWND monitor) { post(monitor, WM_TIMER); }}), 0);
  EXPECT_TRUE(contains(fake::gdi().log, "font=default"));
}

TEST_F(StripStartTest, SessionEndSavesLikeAClose) {
  EXPECT_EQ(runStrip({[](HWND monitor) { post(monitor, WM_ENDSESSION, 0, 0, FALSE); },
                      [](HWND) { post(app.ownerWindow, WM_ENDSESSION, 0, 0, TRUE); },
                      [](HWND) { EXPECT_TRUE(valuesWritten().empty()); },
                      [](HWND monitor) { post(monitor, WM_ENDSESSION, 0, 0, TRUE); }}),
            0);
  const std::vector<std::string> saved = {"x", "y", "width", "height", "top", "font"};
  EXPECT_EQ(valuesWritten(), saved);
}

TEST_F(StripStartTest, ADestroyAfterTheSessionEndReleasesNothingTwice) {
  EXPECT_EQ(runStrip({[](HWND monitor) {
              post(monitor, WM_ENDSESSION, 0, 0, TRUE);
              post(monitor, WM_DESTROY);
            }}),
            0);
  releaseBackBuffer();
  EXPECT_EQ(fake::gdi().liveDCs, 0);
  EXPECT_EQ(fake::gdi().liveBitmaps, 0);
  deleteDisplayFont();
}

TEST_F(StripStartTest, ClosingTheHiddenOwnerSavesTheStripsPlace) {
  fake::storeDword(key(), "x", 600);
  EXPECT_EQ(runStrip({[](HWND) { PostMessageA(app.ownerWindow, WM_CLOSE, 0, 0); }}), 0);
  EXPECT_EQ(fake::storedDword(key(), "x"), 600u);
  EXPECT_EQ(fake::storedDword(key(), "y"), static_cast<DWORD>(-2));
  EXPECT_EQ(fake::storedDword(key(), "width"), 450u);
}

TEST_F(StripStartTest, SavedPlaceThatNoMonitorShowsComesBackAtTheDefault) {
  struct Case {
    LONG x, y;
    const char* placed;
  };
  const Case cases[] = {
      {3000, 40, "443,-2 300x20"},     // right of every monitor
      {100, -20, "443,-2 300x20"},     // wholly above the top edge
      {1270, 100, "1270,100 300x20"},  // partly visible: kept
      {100, -2, "100,-2 300x20"},      // the usual hanging strip: kept
  };
  for (const Case& c : cases) {
    SetUp();
    fake::storeDword(key(), "x", static_cast<DWORD>(c.x));
    fake::storeDword(key(), "y", static_cast<DWORD>(c.y));
    fake::storeDword(key(), "width", 300);
    fake::storeDword(key(), "height", 20);
    runStrip();
    EXPECT_TRUE(contains(fake::logEntries("place Kivo2"), std::string(c.placed) + " flags=0x0"))
        << c.x << "," << c.y;
  }
}

TEST_F(StripStartTest, ExtremeSavedPlacesAreCheckedWithoutOverflow) {
  const LONG most = std::numeric_limits<LONG>::max();
  const LONG least = std::numeric_limits<LONG>::min();
  for (const LONG x : {most, most - 100, least}) {
    for (const LONG y : {most, most - 10, least, LONG{-2}}) {
      SetUp();
      fake::storeDword(key(), "x", static_cast<DWORD>(x));
      fake::storeDword(key(), "y", static_cast<DWORD>(y));
      fake::storeDword(key(), "width", 1280);
      fake::storeDword(key(), "height", 1024);
      runStrip();
      EXPECT_TRUE(contains(fake::logEntries("place Kivo2"), "443,-2 1280x1024 flags=0x0"))
          << x << "," << y;
    }
  }
}

TEST_F(StripStartTest, SizesNoOneCanUseComeBackAsTheDefault) {
  const LONG most = std::numeric_limits<LONG>::max();
  const LONG least = std::numeric_limits<LONG>::min();
  struct Case {
    LONG width, height;
    const char* placed;
  };
  const Case cases[] = {
      {0, 0, "450x14"},       {-1, -1, "450x14"},        {least, least, "450x14"},
      {1281, 1025, "450x14"}, {16384, 16384, "450x14"},  {most, most, "450x14"},
      {1, 1, "1x1"},          {1280, 1024, "1280x1024"}, {0, 20, "450x20"},
      {300, most, "300x14"},  {2560, 14, "450x14"},
  };
  for (const Case& c : cases) {
    SetUp();
    fake::storeDword(key(), "width", static_cast<DWORD>(c.width));
    fake::storeDword(key(), "height", static_cast<DWORD>(c.height));
    runStrip();
    EXPECT_TRUE(
        contains(fake::logEntries("place Kivo2"), "443,-2 " + std::string(c.placed) + " flags=0x0"))
        << c.width << "x" << c.height;
    const std::string size = std::to_string(fake::storedDword(key(), "width")) + "x" +
                             std::to_string(fake::storedDword(key(), "height"));
    EXPECT_EQ(size, c.placed) << "saved as used";
  }
  SetUp();  // two monitors side by side make one screen twice as wide
  fake::desktop().monitors = {{0, 0, 1280, 1024}, {1280, 0, 2560, 1024}};
  fake::storeDword(key(), "width", 2560);
  runStrip();
  EXPECT_EQ(fake::storedDword(key(), "width"), 2560u);
}

// A battery adds "pwr: 57%" to the line, which then needs more than the
// default 450 pixels: on a first run the strip widens once to the line plus 5
// pixels, as a font choice shapes it; a stored width is kept as it is, unless
// it is one no one can use and comes back as the default.
TEST_F(StripStartTest, FirstRunWidensOnceForALineTheDefaultWidthCuts) {
  struct Case {
    LONG storedWidth;  // NOT_FOUND: none
    BYTE battery;
    bool widens;
  };
  const Case cases[] = {
      {NOT_FOUND, 57, true}, {NOT_FOUND, 255, false}, {450, 57, false}, {0, 57, true}};
  for (const Case& c : cases) {
    SetUp();
    if (c.storedWidth != NOT_FOUND)
      fake::storeDword(key(), "width", static_cast<DWORD>(c.storedWidth));
    fake::host().batteryPercent = c.battery;
    // A laptop with 16 GiB, 12 of them in use, and 69,143 MB free.
    fake::host().memory.ullTotalPhys = 16ULL << 30;
    fake::host().memory.ullAvailPhys = 4ULL << 30;
    fake::host().totalFreeBytes = 69143ULL << 20;
    std::size_t firstLine = 0;
    runStrip({[&](HWND monitor) {
                firstLine = std::strlen(StatusLine);
                post(monitor, WM_TIMER, 0, 0, REFRESH_TIMER);
              },
              [](HWND monitor) {
                // Once only: a line that grows later is cut as before.
                fake::host().memory.ullTotalPhys = 1ULL << 40;
                post(monitor, WM_TIMER, 0, 0, REFRESH_TIMER);
              }});
    ASSERT_GT(firstLine, 0u);
    // Characters 11 pixels high are 7 wide in the fake font.
    const DWORD wide = static_cast<DWORD>(7 * firstLine + 5);
    EXPECT_EQ(fake::storedDword(key(), "width"), c.widens ? wide : 450u) << c.battery;
    EXPECT_EQ(fake::storedDword(key(), "height"), 14u);
    EXPECT_EQ(fake::logEntries("place Kivo2 z=0 443,-2 ").size(), c.widens ? 1u : 0u)
        << c.storedWidth << " " << static_cast<int>(c.battery);
  }
}

TEST_F(StripStartTest, OwnerWindowIsNeverShown) {
  runStrip();
  EXPECT_TRUE(fake::logEntries("show Kivo ").empty());
}

}  // namespace
