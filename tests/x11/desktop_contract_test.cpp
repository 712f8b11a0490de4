// What window managers see of the windows, and what happens when the X
// connection breaks. Here the test itself plays the window manager where one
// is needed: it redirects the root window's requests to itself.
// The fixture first: it brings in GoogleTest ahead of Xlib's macros.
#include "x11_fixture.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/x11/x11_session.h"
#include "platform/registry.h"

namespace {

struct StateRequest {
  long action;  // 0 remove, 1 add
  std::string atom;
};

std::string atomName(long atom) {
  char* name = XGetAtomName(fl_display, static_cast<Atom>(atom));
  std::string text = name ? name : "";
  if (name) XFree(name);
  return text;
}

// Takes the window manager's part for the life of the object: announces one
// on the root window and receives what clients send it.
class FakeWindowManager {
 public:
  FakeWindowManager() {
    const Window root = DefaultRootWindow(fl_display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(fl_display, root, &attributes);
    ownMask_ = attributes.your_event_mask;
    XSelectInput(fl_display, root, ownMask_ | SubstructureRedirectMask);
    XChangeProperty(fl_display, root, x11Atom(NET_SUPPORTING_WM_CHECK), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&root), 1);
    XSync(fl_display, False);
  }
  ~FakeWindowManager() {
    const Window root = DefaultRootWindow(fl_display);
    XDeleteProperty(fl_display, root, x11Atom(NET_SUPPORTING_WM_CHECK));
    XSelectInput(fl_display, root, ownMask_);
    takeStateRequests();
  }
  FakeWindowManager(const FakeWindowManager&) = delete;
  FakeWindowManager& operator=(const FakeWindowManager&) = delete;

  // The _NET_WM_STATE requests that arrived, in order; other events go.
  std::vector<StateRequest> takeStateRequests() {
    XSync(fl_display, False);
    std::vector<StateRequest> requests;
    XEvent event;
    while (XCheckTypedEvent(fl_display, ClientMessage, &event)) {
      if (event.xclient.message_type != x11Atom(NET_WM_STATE)) continue;
      requests.push_back(StateRequest{event.xclient.data.l[0], atomName(event.xclient.data.l[1])});
    }
    while (XCheckTypedEvent(fl_display, ConfigureRequest, &event)) {
    }
    return requests;
  }

 private:
  long ownMask_ = 0;
};

bool operator==(const StateRequest& a, const StateRequest& b) {
  return a.action == b.action && a.atom == b.atom;
}

std::string describe(const std::vector<StateRequest>& requests) {
  std::string text;
  for (const StateRequest& request : requests)
    text += (request.action ? "+" : "-") + request.atom + " ";
  return text;
}

std::vector<long> cardinals(Window xid, const char* property, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  std::vector<long> values;
  if (XGetWindowProperty(fl_display, xid, XInternAtom(fl_display, property, False), 0, 16, False,
                         type, &actual, &format, &count, &remaining, &data) == Success &&
      data) {
    const auto* longs = reinterpret_cast<const long*>(data);
    values.assign(longs, longs + count);
  }
  if (data) XFree(data);
  return values;
}

XSizeHints normalHints(Window xid) {
  XSizeHints hints{};
  long supplied = 0;
  XGetWMNormalHints(fl_display, xid, &hints, &supplied);
  return hints;
}

}  // namespace

TEST_F(X11Test, StateChangesRemoveBeforeTheyAdd) {
  HWND window = create(WS_POPUP | WS_VISIBLE, 443, -2, 450, 14, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  pumpQueued();
  FakeWindowManager manager;
  const std::vector<StateRequest> toBottom{{0, "_NET_WM_STATE_ABOVE"}, {1, "_NET_WM_STATE_BELOW"}};
  const std::vector<StateRequest> toTop{{0, "_NET_WM_STATE_BELOW"}, {1, "_NET_WM_STATE_ABOVE"}};
  for (int round = 0; round < 3; ++round) {
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const auto lowered = manager.takeStateRequests();
    EXPECT_TRUE(lowered == toBottom) << "round " << round << ": " << describe(lowered);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const auto raised = manager.takeStateRequests();
    EXPECT_TRUE(raised == toTop) << "round " << round << ": " << describe(raised);
  }
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(manager.takeStateRequests().empty()) << "an unchanged state costs nothing";
}

TEST_F(X11Test, AToolWindowFloatsAtItsOwnPlaceAndNeverTakesTheKeyboard) {
  HWND strip = create(WS_POPUP | WS_VISIBLE, 443, -2, 450, 14, WS_EX_TOOLWINDOW);
  const Window xid = xidOf(strip);
  const Atom utility = XInternAtom(fl_display, "_NET_WM_WINDOW_TYPE_UTILITY", False);
  EXPECT_EQ(cardinals(xid, "_NET_WM_WINDOW_TYPE", XA_ATOM), std::vector<long>{long(utility)});
  // A user time of 0 is a request kwin refuses, and it flags the window for it.
  EXPECT_TRUE(cardinals(xid, "_NET_WM_USER_TIME", XA_CARDINAL).empty());
  const std::vector<long> desktop = cardinals(xid, "_NET_WM_DESKTOP", XA_CARDINAL);
  ASSERT_EQ(desktop.size(), 1u);
  EXPECT_EQ(desktop[0] & 0xFFFFFFFF, 0xFFFFFFFF) << "on every workspace";
  XWMHints* hints = XGetWMHints(fl_display, xid);
  ASSERT_NE(hints, nullptr);
  EXPECT_TRUE(hints->flags & InputHint);
  EXPECT_FALSE(hints->input);
  XFree(hints);

  const long ownPlace = USPosition | USSize | PPosition | PSize;
  XSizeHints placed = normalHints(xid);
  EXPECT_EQ(placed.flags & ownPlace, ownPlace);
  EXPECT_EQ(placed.win_gravity, StaticGravity) << "the window itself goes where it asks";
  EXPECT_EQ(std::vector<int>({placed.x, placed.y, placed.width, placed.height}),
            std::vector<int>({443, -2, 450, 14}));
  // The hints follow the program's own moves and sizes.
  SetWindowPos(strip, nullptr, 100, 200, 300, 20, SWP_NOZORDER);
  placed = normalHints(xid);
  EXPECT_EQ(std::vector<int>({placed.x, placed.y, placed.width, placed.height}),
            std::vector<int>({100, 200, 300, 20}));

  HWND ordinary = create(WS_POPUP | WS_VISIBLE, 10, 10, 50, 10);
  EXPECT_TRUE(cardinals(xidOf(ordinary), "_NET_WM_WINDOW_TYPE", XA_ATOM).empty());
  EXPECT_TRUE(cardinals(xidOf(ordinary), "_NET_WM_DESKTOP", XA_CARDINAL).empty())
      << "only a tool window is on every workspace";
  hints = XGetWMHints(fl_display, xidOf(ordinary));
  ASSERT_NE(hints, nullptr);
  EXPECT_TRUE(hints->input) << "only tool windows refuse the keyboard";
  XFree(hints);
}

TEST_F(X11Test, ACaptionedWindowAsksForItsFrameCornerAtItsPlace) {
  HWND dialog = create(WS_CAPTION | WS_VISIBLE, 443, 0, 300, 150);
  const XSizeHints placed = normalHints(xidOf(dialog));
  EXPECT_EQ(placed.win_gravity, NorthWestGravity);
  EXPECT_TRUE(placed.flags & USPosition);
}

// The procedure of the program's own window in the child below: at the
// session's end it saves what its record says, through the registry.
LRESULT CALLBACK savingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_ENDSESSION || !wParam) return DefWindowProcA(window, message, wParam, lParam);
  RECT rect{};
  GetWindowRect(window, &rect);
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KivoEndTest", 0, nullptr, 0, KEY_WRITE, nullptr,
                  &key, nullptr);
  const DWORD values[] = {static_cast<DWORD>(rect.left), static_cast<DWORD>(rect.top),
                          static_cast<DWORD>(x11ConnectionLost())};
  const char* names[] = {"x", "y", "lost"};
  for (int i = 0; i < 3; ++i) {
    RegSetValueExA(key, names[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&values[i]),
                   sizeof values[i]);
  }
  RegCloseKey(key);
  return 0;
}

DWORD storedDword(const char* name) {
  HKEY key = nullptr;
  DWORD value = 0xDEAD, size = sizeof value, type = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KivoEndTest", 0, KEY_QUERY_VALUE, &key) != 0)
    return 0xDEAD;
  RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return value;
}

TEST_F(X11Test, ABrokenConnectionSavesWhereTheWindowLastWasAndExitsWithZero) {
  char folder[] = "/tmp/kivo-x11-end.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  const std::string kept = previous ? previous : "";
  setenv("XDG_CONFIG_HOME", folder, 1);

  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = savingProcedure;
  windowClass.lpszClassName = "KivoEndTest";
  RegisterClassExA(&windowClass);
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "KivoEndTest", "Kivo test", WS_POPUP | WS_VISIBLE,
                                443, -2, 450, 14, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  windows.push_back(window);
  // Moved from outside, as a window manager would: the record follows the event.
  XMoveWindow(fl_display, xidOf(window), 321, 123);
  EXPECT_TRUE(pumpUntil([&] {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.left == 321 && rect.top == 123;
  }));

  // In a child, the connection breaks as when the server ends: Xlib finds the
  // socket gone on its next write.
  EXPECT_EXIT(
      {
        XSetIOErrorHandler(programConnectionLostHandler);
        close(ConnectionNumber(fl_display));
        XSync(fl_display, False);
      },
      ::testing::ExitedWithCode(0), "went away");
  EXPECT_EQ(storedDword("x"), 321u);
  EXPECT_EQ(storedDword("y"), 123u);
  EXPECT_EQ(storedDword("lost"), 1u) << "the save ran after the connection was marked lost";

  if (previous) {
    setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  std::system((std::string("rm -rf ") + folder).c_str());
}
