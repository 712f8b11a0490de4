#include <gtest/gtest.h>

#include <cstring>

#include "strip_fixture.h"

namespace {

using MouseAndMenuTest = StripTest;

RECT outerOf(HWND window) { return fake::windowOf(window)->outer; }

TEST_F(MouseAndMenuTest, DragMovesTheStripByExactlyTheCursorsTravel) {
  RECT after{};
  LONG_PTR zOrder = 0;
  runStrip({[](HWND monitor) {
              post(monitor, WM_LBUTTONDOWN, 10, 5);
              post(monitor, WM_MOUSEMOVE, 12, 6);  // (2, 1) in the window's own coordinates...
            },
            [](HWND monitor) {
              post(monitor, WM_MOUSEMOVE, 13, 7);  // ...then (3, 2) more, from where it is now
              post(monitor, WM_LBUTTONUP, 13, 7);
            },
            [&](HWND monitor) {
              after = outerOf(monitor);
              zOrder = fake::windowOf(monitor)->zOrder;
            }});
  EXPECT_EQ(after.left, 443 + 5);
  EXPECT_EQ(after.top, -2 + 3);
  EXPECT_EQ(after.right - after.left, 450);
  EXPECT_EQ(zOrder, -1) << "a drag keeps the z-order choice";
  EXPECT_EQ(fake::logEntries("capture").size(), 1u);
  EXPECT_EQ(fake::logEntries("release capture").size(), 1u);
}

TEST_F(MouseAndMenuTest, MovesWithoutAPressDoNothing) {
  runStrip({[](HWND monitor) {
              post(monitor, WM_MOUSEMOVE, 40, 5);
              post(monitor, WM_LBUTTONUP, 40, 5);
              post(monitor, WM_MOUSEMOVE, 80, 9);
            },
            [](HWND monitor) {
              const RECT outer = outerOf(monitor);
              EXPECT_EQ(outer.left, 443);
              EXPECT_EQ(outer.top, -2);
            }});
  EXPECT_TRUE(fake::logEntries("capture").empty());
}

TEST_F(MouseAndMenuTest, DoubleClicksCycleTheFrame) {
  const DWORD frameBits = WS_BORDER | WS_THICKFRAME;
  std::vector<DWORD> frames;
  std::vector<Step> steps;
  for (int click = 0; click < 4; ++click) {
    steps.push_back([](HWND monitor) { post(monitor, WM_LBUTTONDBLCLK, 3, 3); });
    steps.push_back([&](HWND monitor) {
      frames.push_back(static_cast<DWORD>(GetWindowLongA(monitor, GWL_STYLE)) & frameBits);
    });
  }
  runStrip(steps);
  const std::vector<DWORD> expected = {WS_BORDER | WS_THICKFRAME, WS_BORDER, WS_THICKFRAME,
                                       WS_BORDER};
  EXPECT_EQ(frames, expected);
  // Each toggle places the strip twice, a pixel wider and then exact, so the
  // back buffer follows the new client size; the outer size is unchanged.
  const auto places = fake::logEntries("place Kivo2 z=-1 443,-2 451x14 flags=0x22");
  EXPECT_EQ(places.size(), 4u);
  EXPECT_EQ(fake::logEntries("place Kivo2 z=-1 443,-2 450x14 flags=0x22").size(), 4u);
  EXPECT_EQ(fake::logEntries("size Kivo2 442x6").size(), 2u) << "the sizing frame's client";
  // The whole style word is saved, shown-ness included.
  const auto& caption = fake::registry().keys.at(key()).at("caption").bytes;
  DWORD saved = 0;
  std::memcpy(&saved, caption.data(), 4);
  EXPECT_EQ(saved, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_BORDER));
}

TEST_F(MouseAndMenuTest, MenuOpensAtTheClickWithTheCheckShowingTopmost) {
  runStrip({[](HWND monitor) { post(monitor, WM_RBUTTONDOWN, 20, 7); },
            [](HWND monitor) { post(monitor, WM_COMMAND, 0, 0, CMD_ALWAYS_ON_TOP); },
            [](HWND monitor) { post(monitor, WM_RBUTTONDOWN, 20, 7); }});
  const std::vector<std::string> expected = {"menu at 463,5 checked", "menu at 463,5 unchecked"};
  EXPECT_EQ(fake::logEntries("menu at"), expected);
}

TEST_F(MouseAndMenuTest, AlwaysOnTopSendsTheStripToTheBottomAndBack) {
  std::vector<LONG_PTR> zOrders;
  const Step choose = [](HWND monitor) { post(monitor, WM_COMMAND, 0, 0, CMD_ALWAYS_ON_TOP); };
  const Step note = [&](HWND monitor) { zOrders.push_back(fake::windowOf(monitor)->zOrder); };
  runStrip({choose, note, choose, note, choose, note});
  const std::vector<LONG_PTR> expected = {1, -1, 1};
  EXPECT_EQ(zOrders, expected);
  EXPECT_EQ(fake::logEntries("place Kivo2 z=1 443,-2 450x14 flags=0x3").size(), 2u);
  const auto& top = fake::registry().keys.at(key()).at("top").bytes;
  EXPECT_EQ(top[0], 1) << "saved at the bottom";
}

TEST_F(MouseAndMenuTest, QuitFromTheMenuEndsWithExitCodeZeroAndSaves) {
  fake::desktop().menuChoice = CMD_QUIT;
  const int exitCode = runStrip({[](HWND monitor) { post(monitor, WM_RBUTTONDOWN, 5, 5); }});
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(fake::logEntries("destroy Kivo2").size(), 1u);
  EXPECT_EQ(fake::logEntries("quit 0").size(), 1u) << "closed by Quit, not by the test's own close";
  EXPECT_FALSE(fake::valuesWritten().empty());
}

TEST_F(MouseAndMenuTest, DialogAndFontCommandsKeepTheStripRunning) {
  const int exitCode = runStrip({[](HWND monitor) {
    post(monitor, WM_COMMAND, 0, 0, CMD_ABOUT);
    post(monitor, WM_COMMAND, 0, 0, CMD_SETUP);
    post(monitor, WM_COMMAND, 0, 0, CMD_SELECT_FONT);
  }});
  EXPECT_EQ(exitCode, 0);
  const std::vector<std::string> expected = {"dialog 104", "dialog 104 left open", "dialog 103",
                                             "dialog 103 left open"};
  EXPECT_EQ(fake::logEntries("dialog"), expected);
  EXPECT_EQ(fake::fontDialog().opened, 1);
}

TEST_F(MouseAndMenuTest, UnknownCommandsGoToDefaultHandlingWithTheirCode) {
  runStrip({[](HWND monitor) { post(monitor, WM_COMMAND, 0, 0, (3u << 16) | 108u); }});
  const std::vector<std::string> expected = {"default command 0x0003006c"};
  EXPECT_EQ(fake::logEntries("default command"), expected);
}

}  // namespace
