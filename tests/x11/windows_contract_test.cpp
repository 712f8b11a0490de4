// Windows, messages and stacking as the strip relies on them.
#include <X11/Xatom.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <string>

#include "platform/linux/windows/window_timers.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/termination.h"
#include "resources/app_icon.h"
#include "x11_fixture.h"

namespace {

bool has(const std::vector<std::string>& names, const char* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::pair<int, int> sizeOf(const Received& entry) {
  return {static_cast<short>(entry.lParam & 0xFFFF),
          static_cast<short>((entry.lParam >> 16) & 0xFFFF)};
}

std::vector<int> unitRectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
          static_cast<int>(r.bottom - r.top)};
}

}  // namespace

TEST_F(X11Test, CreationSendsTheClientSizeBeforeReturningForEachFrameStyle) {
  struct Case {
    DWORD style;
    int frame;
  };
  for (const Case c :
       {Case{WS_POPUP, 0}, Case{WS_POPUP | WS_BORDER, 1}, Case{WS_POPUP | WS_THICKFRAME, 4},
        Case{WS_POPUP | WS_BORDER | WS_THICKFRAME, 5}}) {
    received.clear();
    HWND window = create(c.style, 100, 100, 450, 40);
    ASSERT_NE(window, nullptr);
    const auto sizes = receivedOf(window, WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u) << "style " << std::hex << c.style;
    EXPECT_EQ(sizeOf(sizes[0]), std::make_pair(450 - 2 * c.frame, 40 - 2 * c.frame));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 450 - 2 * c.frame);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.x, 100 + c.frame);
  }
}

TEST_F(X11Test, TheStripHangsTwoPixelsAboveTheScreenOnceShown) {
  HWND window = create(WS_POPUP, 443, -2, 450, 14, WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE, 0);
  ShowWindow(window, SW_SHOW);
  EXPECT_NE(GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE, 0);
  const XWindowAttributes attributes = attributesOf(window);
  EXPECT_EQ(attributes.x, 443);
  EXPECT_EQ(attributes.y, -2);
  EXPECT_EQ(attributes.width, 450);
  EXPECT_EQ(attributes.height, 14);
  const auto state = stateAtomsOf(window);
  EXPECT_TRUE(has(state, "_NET_WM_STATE_SKIP_TASKBAR"));
  EXPECT_TRUE(has(state, "_NET_WM_STATE_SKIP_PAGER"));
  EXPECT_TRUE(has(state, "_NET_WM_STATE_STICKY"));
  // With no manager the whole property is rewritten as the stacking changes.
  SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(has(stateAtomsOf(window), "_NET_WM_STATE_STICKY"));
}

TEST_F(X11Test, TheClassAndTitleNameTheXWindow) {
  registerClass();
  HWND window = create(WS_POPUP | WS_VISIBLE, 10, 10, 50, 10);
  XClassHint hint{};
  ASSERT_NE(XGetClassHint(fl_display, xidOf(window), &hint), 0);
  EXPECT_EQ(std::string(hint.res_class), className);
  XFree(hint.res_name);
  XFree(hint.res_class);
  char* name = nullptr;
  ASSERT_NE(XFetchName(fl_display, xidOf(window), &name), 0);
  EXPECT_STREQ(name, "Kivo test");
  XFree(name);
}

TEST_F(X11Test, SetWindowPosMovesSizesAndReportsOnlyRealSizeChanges) {
  HWND window = create(WS_POPUP | WS_VISIBLE, 100, 100, 200, 20);
  received.clear();
  SetWindowPos(window, nullptr, 150, -2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_TRUE(receivedOf(window, WM_SIZE).empty()) << "a move alone changes no size";
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 150);
  EXPECT_EQ(r.top, -2);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(attributesOf(window).y, -2);

  SetWindowPos(window, nullptr, 0, 0, 300, 30, SWP_NOMOVE | SWP_NOZORDER);
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 150);
  ASSERT_EQ(receivedOf(window, WM_SIZE).size(), 1u);
  EXPECT_EQ(sizeOf(receivedOf(window, WM_SIZE)[0]), std::make_pair(300, 30));
  EXPECT_EQ(attributesOf(window).width, 300);
}

TEST_F(X11Test, AStyleChangeReachesTheFrameOnlyWithFrameChanged) {
  HWND window = create(WS_POPUP | WS_VISIBLE, 100, 100, 200, 20);
  SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_THICKFRAME));
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 200) << "the old frame holds until SWP_FRAMECHANGED";
  received.clear();
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 192);
  ASSERT_EQ(receivedOf(window, WM_SIZE).size(), 1u);
  EXPECT_EQ(sizeOf(receivedOf(window, WM_SIZE)[0]), std::make_pair(192, 12));
  EXPECT_NE(GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE, 0);
}

TEST_F(X11Test, TopmostAndBottomAreAppliedEveryTime) {
  HWND strip = create(WS_POPUP | WS_VISIBLE, 0, 0, 100, 10, WS_EX_TOOLWINDOW);
  HWND other = create(WS_POPUP | WS_VISIBLE, 50, 0, 100, 10);
  SetWindowPos(strip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  XSync(fl_display, False);
  EXPECT_EQ(stacking().front(), xidOf(strip));
  EXPECT_TRUE(has(stateAtomsOf(strip), "_NET_WM_STATE_ABOVE"));

  SetWindowPos(strip, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  XSync(fl_display, False);
  EXPECT_EQ(stacking().back(), xidOf(strip));
  EXPECT_TRUE(has(stateAtomsOf(strip), "_NET_WM_STATE_BELOW"));
  EXPECT_FALSE(has(stateAtomsOf(strip), "_NET_WM_STATE_ABOVE"));

  // Something else raised over it: asking for topmost again puts it back on top.
  SetWindowPos(strip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  XRaiseWindow(fl_display, xidOf(other));
  SetWindowPos(strip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  XSync(fl_display, False);
  EXPECT_EQ(stacking().front(), xidOf(strip));
}

TEST_F(X11Test, TimersFollowTheWindowsRules) {
  HWND window = create(WS_POPUP, 0, 0, 10, 10);
  // The same id replaces the timer; a period of 0 still ticks (at 10 ms).
  EXPECT_EQ(SetTimer(window, 7, 100000, nullptr), 7u);
  EXPECT_EQ(SetTimer(window, 7, 0, nullptr), 7u);
  EXPECT_TRUE(pumpUntil([&] { return receivedOf(window, WM_TIMER).size() >= 3; }));
  for (const Received& tick : receivedOf(window, WM_TIMER)) {
    EXPECT_TRUE(tick.wParam == 7 || tick.wParam == 0xBEEF);
  }
  KillTimer(window, 0xBEEF);
  // Above 0x7FFFFFFF the period is 0x7FFFFFFF: about 24.8 days, not an instant.
  EXPECT_EQ(SetTimer(window, 7, 0xFFFFFFFFu, nullptr), 7u);
  const double seconds = secondsToNextTimer();
  EXPECT_GT(seconds, 0x7FFFFFFF / 1000.0 - 60);
  EXPECT_LE(seconds, 0x7FFFFFFF / 1000.0);
  EXPECT_TRUE(KillTimer(window, 7));
  EXPECT_FALSE(KillTimer(window, 7));
  EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x4444), 1, 10, nullptr), 0u);
}

TEST_F(X11Test, CloseDestroysOwnedWindowsFirstAndQuitEndsTheLoopWithItsCode) {
  HWND owner = create(WS_POPUP, 0, 0, 10, 10);
  HWND owned = create(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, WS_EX_TOOLWINDOW, owner);
  windows.clear();
  PostMessageA(owner, WM_CLOSE, 0, 0);
  PostQuitMessage(3);
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  std::vector<HWND> destroyed;
  for (const Received& entry : received) {
    if (entry.message == WM_DESTROY) destroyed.push_back(entry.window);
  }
  EXPECT_EQ(destroyed, (std::vector<HWND>{owned, owner}));
  EXPECT_EQ(GetWindowLongA(owner, GWL_STYLE), 0) << "the handle is dead";
  EXPECT_FALSE(PostMessageA(owner, WM_CLOSE, 0, 0));
}

TEST_F(X11Test, MonitorFromRectFindsTheScreenOrNothing) {
  const RECT onScreen{443, -2, 893, 12};
  const RECT farAway{5000, 5000, 5450, 5014};
  EXPECT_NE(MonitorFromRect(&onScreen, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(MonitorFromRect(&farAway, MONITOR_DEFAULTTONULL), nullptr);
}

TEST_F(X11Test, DoubleClicksOnlyForAClassThatAsksForThem) {
  for (const UINT classStyle : {0u, static_cast<UINT>(CS_DBLCLKS)}) {
    registerClass(classStyle);
    HWND window = create(WS_POPUP | WS_VISIBLE, 300, 300, 100, 20);
    pumpQueued();
    received.clear();
    ASSERT_EQ(std::system("xdotool mousemove 350 310 click --repeat 2 --delay 80 1"), 0);
    pumpUntil([&] { return receivedOf(window, WM_LBUTTONUP).size() >= 2; });
    std::vector<UINT> buttons;
    for (const Received& entry : received) {
      if (entry.window == window && entry.message >= WM_LBUTTONDOWN &&
          entry.message <= WM_LBUTTONDBLCLK) {
        buttons.push_back(entry.message);
        EXPECT_EQ(sizeOf(entry), std::make_pair(50, 10));
      }
    }
    const UINT second = classStyle ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
    EXPECT_EQ(buttons, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, second, WM_LBUTTONUP}));
    PostMessageA(window, WM_CLOSE, 0, 0);
    pumpQueued();
    windows.clear();
  }
}

TEST_F(X11Test, ATerminationSignalClosesTheShownWindows) {
  installTerminationHandlers();
  HWND shown = create(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
  HWND hidden = create(WS_POPUP, 0, 0, 10, 10);
  std::raise(SIGTERM);
  EXPECT_TRUE(pumpUntil([&] { return !receivedOf(shown, WM_DESTROY).empty(); }));
  EXPECT_TRUE(receivedOf(hidden, WM_CLOSE).empty());
}

TEST_F(X11Test, TheMenuDeliversTheChoiceAsACommandAfterItCloses) {
  HWND window = create(WS_POPUP | WS_VISIBLE, 100, 100, 200, 20);
  pumpQueued();
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 107, "Always on Top");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, 110, "Quit");
  EXPECT_EQ(CheckMenuItem(menu, 107, MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
  EXPECT_EQ(CheckMenuItem(menu, 107, MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
  EXPECT_EQ(GetMenuItemID(menu, 2), 110u) << "separators keep their positions";
  // The menu runs its own loop; a user picks the second item from the keyboard.
  ASSERT_EQ(std::system("(sleep 0.5; xdotool key Down Down Return) >/dev/null 2>&1 &"), 0);
  received.clear();
  EXPECT_TRUE(TrackPopupMenuEx(menu, 0, 150, 110, window, nullptr));
  EXPECT_TRUE(receivedOf(window, WM_COMMAND).empty()) << "nothing arrives while the menu is open";
  pumpQueued();
  const auto commands = receivedOf(window, WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, 110u);
}

TEST_F(X11Test, EveryWindowCarriesTheProgramIconInBothSizes) {
  HWND window = create(WS_POPUP | WS_VISIBLE, 10, 10, 50, 10);
  pumpQueued();
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(fl_display, xidOf(window), XInternAtom(fl_display, "_NET_WM_ICON", False), 0,
                     1 << 16, False, AnyPropertyType, &type, &format, &count, &remaining, &data);
  ASSERT_NE(data, nullptr) << "no _NET_WM_ICON";
  // Xlib hands 32-bit properties back as longs: width, height, then ARGB rows.
  const auto* values = reinterpret_cast<const unsigned long*>(data);
  std::vector<int> sizes;
  for (unsigned long at = 0; at + 2 <= count; at += 2 + values[at] * values[at + 1]) {
    const int size = static_cast<int>(values[at]);
    sizes.push_back(size);
    const IconPixels icon = appIconPixels(size);
    ASSERT_NE(icon.pixels, nullptr);
    for (int i = 0; i < size * size; i += 37) {
      EXPECT_EQ(values[at + 2 + i] & 0xFFFFFFFF, icon.pixels[i]) << size << " px, pixel " << i;
    }
  }
  XFree(data);
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32}));
}

TEST_F(X11Test, AScaledDesktopSeesPixelsWhileTheWindowKeepsItsUnits) {
  setXftDpi(192);
  HWND window = create(WS_POPUP | WS_VISIBLE, 443, -2, 450, 14, WS_EX_TOOLWINDOW);
  pumpQueued();
  const auto shown = [&] {
    const XWindowAttributes a = attributesOf(window);
    return std::vector<int>{a.x, a.y, a.width, a.height};
  };
  EXPECT_EQ(shown(), (std::vector<int>{886, -4, 900, 28}));
  EXPECT_EQ(unitRectOf(window), (std::vector<int>{443, -2, 450, 14}));
  EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), DisplayWidth(fl_display, 0) / 2);

  // Moved from outside, as a window manager would: the corner comes back in units.
  XMoveWindow(fl_display, xidOf(window), 926, -4);
  EXPECT_TRUE(pumpUntil([&] { return unitRectOf(window)[0] == 463; }));
  EXPECT_EQ(unitRectOf(window), (std::vector<int>{463, -2, 450, 14}));

  // A click reaches the client at its place in units.
  received.clear();
  ASSERT_EQ(std::system("xdotool mousemove 1026 10 click 1"), 0);
  EXPECT_TRUE(pumpUntil([&] { return !receivedOf(window, WM_LBUTTONUP).empty(); }));
  const auto presses = receivedOf(window, WM_LBUTTONDOWN);
  ASSERT_EQ(presses.size(), 1u);
  EXPECT_EQ(sizeOf(presses[0]), std::make_pair(50, 7));

  // The desktop goes to 150 % while the window is up.
  setXftDpi(144, false);
  EXPECT_TRUE(pumpUntil([&] {
    return shown() == std::vector<int>{695, -3, 675, 21};
  })) << shown()[0]
      << "," << shown()[1] << " " << shown()[2] << "x" << shown()[3];
  EXPECT_EQ(unitRectOf(window), (std::vector<int>{463, -2, 450, 14}));
}
