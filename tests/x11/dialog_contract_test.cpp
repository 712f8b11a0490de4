// Modal dialogs from template data, as the dialog procedures rely on them,
// driven with xdotool as a user would. Each test opens a template of its own
// through the test hook; a dialog left open by a broken key path is ended by
// a watchdog timer, so a fault fails the test rather than hanging it.
#include <FL/Fl.H>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/menus_dialogs/dialog_box.h"
#include "platform/linux/windows/host_window.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/termination.h"
#include "x11_fixture.h"

namespace {

// Style words as a resource compiler writes them.
constexpr DWORD CHILD = 0x50000000;  // WS_CHILD | WS_VISIBLE
constexpr DWORD TABSTOP = 0x00010000, GROUP = 0x00020000, BORDER = 0x00800000;
constexpr DWORD DEFPUSHBUTTON = 0x1, GROUPBOX = 0x7, AUTORADIO = 0x9;
constexpr DWORD CENTER = 0x1, ICON = 0x3, ETCHEDHORZ = 0x10, NUMBER = 0x2000;
constexpr int EDIT = 300, APPLY = 5, FIRST = 101, SECOND = 102, THIRD = 103, FOURTH = 104;
constexpr WORD TEST_DIALOG = 900;
constexpr UINT_PTR TICKER = 0x71C;
constexpr INT_PTR WATCHDOG_RESULT = -99;

// Two radio pairs split by WS_GROUP, a default button that is not IDOK, and
// an edit field that takes digits only and does not scroll.
const DialogControl CONTROLS[] = {
    {EDIT, "EDIT", "", 0, CHILD | BORDER | TABSTOP | NUMBER, 10, 10, 40, 12},
    {APPLY, "BUTTON", "Apply", 0, CHILD | TABSTOP | DEFPUSHBUTTON, 10, 82, 50, 14},
    {IDOK, "BUTTON", "OK", 0, CHILD | TABSTOP, 70, 82, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", 0, CHILD | TABSTOP, 130, 82, 50, 14},
    {-1, "BUTTON", "Views", 0, CHILD | GROUPBOX, 5, 28, 85, 45},
    {FIRST, "BUTTON", "First", 0, CHILD | AUTORADIO | GROUP, 12, 40, 70, 10},
    {SECOND, "BUTTON", "Second", 0, CHILD | AUTORADIO, 12, 56, 70, 10},
    {THIRD, "BUTTON", "Third", 0, CHILD | AUTORADIO | GROUP | TABSTOP, 100, 40, 70, 10},
    {FOURTH, "BUTTON", "Fourth", 0, CHILD | AUTORADIO, 100, 56, 70, 10},
    {-1, "STATIC", "Two\nlines", 0, CHILD | GROUP | CENTER, 60, 8, 60, 16},
    {-1, "STATIC", "", 0, CHILD | ETCHEDHORZ, 5, 76, 180, 1},
    {-1, "STATIC", "", 101, CHILD | ICON, 150, 5, 21, 20},
};
const DialogTemplate TEMPLATE = {TEST_DIALOG,
                                 "Kivo Test Dialog",
                                 0x80C800C4,
                                 0,
                                 0,
                                 190,
                                 100,
                                 "MS Sans Serif",
                                 8,
                                 CONTROLS,
                                 static_cast<int>(sizeof CONTROLS / sizeof CONTROLS[0])};

const DialogTemplate* testTemplates(WORD id) { return id == TEST_DIALOG ? &TEMPLATE : nullptr; }

struct Heard {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

std::vector<Heard> heard;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> onMessage;
HWND openDialog;
int ticks;

INT_PTR CALLBACK testProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  heard.push_back(Heard{message, wParam, lParam});
  if (message == WM_INITDIALOG) openDialog = dialog;
  return onMessage ? onMessage(dialog, message, wParam, lParam) : FALSE;
}

// With its timer gone nothing else wakes the loop, so the dialog must end
// from EndDialog alone.
void CALLBACK endOnThirdTick(HWND window, UINT, UINT_PTR id, DWORD) {
  if (++ticks < 3) return;
  KillTimer(window, id);
  EndDialog(openDialog, 3);
}

std::string checkedRadios(HWND dialog) {
  std::string states;
  for (int id = FIRST; id <= FOURTH; ++id) states += std::to_string(IsDlgButtonChecked(dialog, id));
  return states;
}

std::string fieldText(HWND dialog) {
  char text[64] = "";
  GetWindowTextA(GetDlgItem(dialog, EDIT), text, sizeof text);
  return text;
}

class DialogTest : public X11Test {
 protected:
  void SetUp() override {
    X11Test::SetUp();
    setDialogTemplateSourceForTests(testTemplates);
    heard.clear();
    onMessage = nullptr;
    openDialog = nullptr;
    ticks = 0;
  }

  void TearDown() override {
    setDialogTemplateSourceForTests(nullptr);
    onMessage = nullptr;
    X11Test::TearDown();
  }

  HWND owner(int x = 130, int y = 170) {
    HWND window = create(WS_POPUP | WS_BORDER | WS_VISIBLE, x, y, 600, 30);
    pumpQueued();
    return window;
  }

  // What a window manager sends when the close box is clicked.
  static void clickCloseBox(void*) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xidOf(openDialog);
    event.xclient.message_type = XInternAtom(fl_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(fl_display, "WM_DELETE_WINDOW", False));
    XSendEvent(fl_display, event.xclient.window, False, 0, &event);
    XFlush(fl_display);
  }

  // A late EndDialog overrides any earlier one, so a dialog that lingered
  // after its procedure ended it shows as WATCHDOG_RESULT too.
  static INT_PTR run(HWND ownerWindow, LPARAM param = 0) {
    Watchdog watchdog(xidOf(ownerWindow), [] { EndDialog(openDialog, WATCHDOG_RESULT); });
    return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(TEST_DIALOG), ownerWindow, testProcedure,
                           param);
  }

  static std::vector<Heard> commands() {
    std::vector<Heard> found;
    for (const Heard& entry : heard) {
      if (entry.message == WM_COMMAND) found.push_back(entry);
    }
    return found;
  }

  static POINT centreOf(HWND dialog, int id) {
    RECT r{};
    EXPECT_TRUE(GetWindowRect(GetDlgItem(dialog, id), &r));
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  static bool isViewable(HWND window) {
    const Window xid = xidOf(window);
    if (!xid) return false;
    XWindowAttributes attributes{};
    XGetWindowAttributes(fl_display, xid, &attributes);
    return attributes.map_state == IsViewable;
  }

  static std::string at(POINT point) {
    return std::to_string(point.x) + " " + std::to_string(point.y);
  }

  // xdotool acts once the dialog is on the screen and has had time to take
  // the keyboard.
  static void onceShown(const std::string& xdotoolArguments) {
    inBackground(
        "timeout 10 xdotool search --sync --onlyvisible --name '^Kivo Test Dialog$'; sleep 0.3; "
        "xdotool " +
        xdotoolArguments);
  }
};

}  // namespace

TEST_F(DialogTest, InitDialogComesFirstAndTheControlsAnswerByHandle) {
  HWND ownerWindow = owner();
  onMessage = [](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message != WM_INITDIALOG) return FALSE;
    HWND edit = GetDlgItem(dialog, EDIT);
    EXPECT_EQ(reinterpret_cast<HWND>(wParam), edit) << "the first tab stop";
    EXPECT_EQ(lParam, 1234);
    char text[20];
    EXPECT_TRUE(SetWindowTextA(edit, "123456789"));
    EXPECT_EQ(GetWindowTextA(edit, text, 5), 4) << "at most the size less one";
    EXPECT_STREQ(text, "1234");
    EXPECT_EQ(GetWindowTextA(edit, text, sizeof text), 9);
    EXPECT_EQ(GetWindowTextA(edit, text, 0), 0);
    HWND ok = GetDlgItem(dialog, IDOK);
    EXPECT_TRUE(SetWindowTextA(ok, "Caf\xE9"));
    EXPECT_EQ(GetWindowTextA(ok, text, sizeof text), 4);
    EXPECT_STREQ(text, "Caf\xE9") << "ANSI text comes back as it went in";
    CheckRadioButton(dialog, FIRST, SECOND, SECOND);
    CheckRadioButton(dialog, THIRD, FOURTH, THIRD);
    EXPECT_EQ(checkedRadios(dialog), "0110");
    CheckRadioButton(dialog, FIRST, FOURTH, FOURTH);
    EXPECT_EQ(checkedRadios(dialog), "0001") << "the id range decides, not the groups";
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDOK), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
    EXPECT_NE(GetDlgItem(dialog, -1), nullptr) << "statics answer to -1, as on Windows";
    EndDialog(dialog, 77);
    return TRUE;
  };
  EXPECT_EQ(run(ownerWindow, 1234), 77);
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front().message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(heard.back().message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(GetDlgItem(openDialog, EDIT), nullptr) << "nothing of the dialog remains";
  for (const Heard& entry : heard) {
    EXPECT_NE(entry.message, static_cast<UINT>(WM_PAINT)) << "ended before it was shown";
  }
}

TEST_F(DialogTest, AMissingTemplateANameOrADeadOwnerOpensNothing) {
  HWND ownerWindow = owner();
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(901), ownerWindow, testProcedure, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, "SETUP", ownerWindow, testProcedure, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(TEST_DIALOG), reinterpret_cast<HWND>(0x4),
                            testProcedure, 0),
            -1);
  EXPECT_TRUE(heard.empty());
}

TEST_F(DialogTest, ItOpensAtTheOwnersClientOriginAndStaysOnTheScreen) {
  struct Placed {
    RECT rect;
    int x, y;
  } placed{};
  onMessage = [&placed](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) SetTimer(dialog, TICKER, 20, nullptr);
    if (message != WM_TIMER || !isViewable(dialog)) return FALSE;
    GetWindowRect(dialog, &placed.rect);
    Window child = 0;
    XTranslateCoordinates(fl_display, xidOf(dialog), XDefaultRootWindow(fl_display), 0, 0,
                          &placed.x, &placed.y, &child);
    EndDialog(dialog, 1);
    return TRUE;
  };
  EXPECT_EQ(run(owner(130, 170)), 1);
  EXPECT_EQ(placed.rect.left, 131) << "inside the owner's one-pixel border";
  EXPECT_EQ(placed.rect.top, 171);
  EXPECT_EQ(placed.x, 131) << "where the X server has it";
  EXPECT_EQ(placed.y, 171);
  EXPECT_GT(placed.rect.right - placed.rect.left, 190) << "dialog units are wider than pixels";

  const int screenWidth = DisplayWidth(fl_display, fl_screen);
  const int screenHeight = DisplayHeight(fl_display, fl_screen);
  EXPECT_EQ(run(owner(screenWidth - 20, screenHeight - 10)), 1);
  EXPECT_EQ(placed.rect.right, screenWidth) << "moved back onto the screen";
  EXPECT_EQ(placed.rect.bottom, screenHeight);
}

TEST_F(DialogTest, RadioButtonsExcludeEachOtherOnlyWithinTheirGroup) {
  std::string whenApplied;
  onMessage = [&whenApplied](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      CheckRadioButton(dialog, FIRST, SECOND, FIRST);
      CheckRadioButton(dialog, THIRD, FOURTH, THIRD);
      onceShown("mousemove " + at(centreOf(dialog, SECOND)) + " click 1 mousemove " +
                at(centreOf(dialog, FOURTH)) + " click 1 key Return");
      return TRUE;
    }
    if (message != WM_COMMAND || LOWORD(wParam) != APPLY) return FALSE;
    whenApplied = checkedRadios(dialog);
    EndDialog(dialog, APPLY);
    return TRUE;
  };
  EXPECT_EQ(run(owner()), APPLY) << "Enter presses the default button";
  EXPECT_EQ(whenApplied, "0101");
  const auto heardCommands = commands();
  ASSERT_EQ(heardCommands.size(), 3u);
  EXPECT_EQ(heardCommands[0].wParam, static_cast<WPARAM>(SECOND)) << "BN_CLICKED is 0";
  EXPECT_EQ(heardCommands[1].wParam, static_cast<WPARAM>(FOURTH));
}

TEST_F(DialogTest, TheDigitsOnlyFieldRefusesOtherCharactersTypedOrPasted) {
  for (const char* clipboard : {"4x", "45"}) {
    std::string typed;
    onMessage = [&typed, clipboard](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
      if (message == WM_INITDIALOG) {
        Fl::copy(clipboard, 2, 1);
        onceShown("type --delay 30 '12a-3'; xdotool key ctrl+v Return");
        return TRUE;  // the field, as first tab stop, gets the focus
      }
      if (message != WM_COMMAND || LOWORD(wParam) != APPLY) return FALSE;
      typed = fieldText(dialog);
      EndDialog(dialog, APPLY);
      return TRUE;
    };
    heard.clear();
    EXPECT_EQ(run(owner()), APPLY);
    EXPECT_EQ(typed, std::string(clipboard) == "45" ? "12345" : "123") << "pasting " << clipboard;
  }
}

TEST_F(DialogTest, TheFieldTakesNoMoreCharactersThanItsWidthShows) {
  const std::string digits = "1234567890123456789012345678901234567890";
  std::string typed, set;
  onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      onceShown("type --delay 20 " + digits + "; xdotool key Return");
      return TRUE;
    }
    if (message != WM_COMMAND || LOWORD(wParam) != APPLY) return FALSE;
    typed = fieldText(dialog);
    SetWindowTextA(GetDlgItem(dialog, EDIT), digits.c_str());
    set = fieldText(dialog);
    EndDialog(dialog, APPLY);
    return TRUE;
  };
  EXPECT_EQ(run(owner()), APPLY);
  EXPECT_GE(typed.size(), 3u);
  EXPECT_LT(typed.size(), 12u) << "a field 40 units wide shows far fewer than 40 digits";
  EXPECT_EQ(digits.compare(0, typed.size(), typed), 0) << "what fitted, in order: " << typed;
  EXPECT_EQ(set, digits) << "SetWindowTextA is not held to the width";
}

TEST_F(DialogTest, EscapeAndTheCloseBoxSendCancelAndTheProcedureMayRefuseIt) {
  onMessage = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      onceShown("key Escape");
      return TRUE;
    }
    if (message != WM_COMMAND || LOWORD(wParam) != IDCANCEL) return FALSE;
    if (commands().size() == 1) {
      // Refused, so the dialog stays; the close box comes once the key is over.
      Fl::add_timeout(0.5, clickCloseBox);
      return FALSE;
    }
    // Posted, with no input after it: the dialog must still end now.
    EndDialog(dialog, 9);
    return TRUE;
  };
  EXPECT_EQ(run(owner()), 9);
  const auto heardCommands = commands();
  ASSERT_EQ(heardCommands.size(), 2u);
  for (const Heard& command : heardCommands) {
    EXPECT_EQ(command.wParam, static_cast<WPARAM>(IDCANCEL));
    EXPECT_NE(command.lParam, 0) << "from the Cancel button's handle";
  }
  bool heardClose = false;
  for (const Heard& entry : heard) heardClose |= entry.message == WM_CLOSE;
  EXPECT_TRUE(heardClose) << "the close box reaches the procedure as WM_CLOSE first";
}

TEST_F(DialogTest, TheOwnersTimerKeepsTickingWhileTheDialogIsOpen) {
  const HWND ownerWindow = owner();
  SetTimer(ownerWindow, TICKER, 20, endOnThirdTick);
  EXPECT_EQ(run(ownerWindow), 3) << "the third tick ended it, not the watchdog";
}

TEST_F(DialogTest, TheOwnerTakesNoClicksUntilTheDialogCloses) {
  const HWND ownerWindow = owner(0, 500);
  const POINT besideTheDialog{590, 515};
  onMessage = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG)
      onceShown("mousemove " + at(besideTheDialog) + " click 1 key Escape");
    if (message != WM_COMMAND || LOWORD(wParam) != IDCANCEL) return FALSE;
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  };
  received.clear();
  EXPECT_EQ(run(ownerWindow), IDCANCEL);
  pumpQueued();
  EXPECT_TRUE(receivedOf(ownerWindow, WM_LBUTTONDOWN).empty());
  inBackground("xdotool click 1");
  EXPECT_TRUE(pumpUntil([&] { return !receivedOf(ownerWindow, WM_LBUTTONDOWN).empty(); }))
      << "clicks reach the owner again once the dialog has gone";
}

TEST_F(DialogTest, ATerminationSignalDuringADialogStillClosesTheOwner) {
  installTerminationHandlers();
  const HWND ownerWindow = owner();
  onMessage = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) SetTimer(dialog, TICKER, 20, nullptr);
    if (message == WM_TIMER && isViewable(dialog)) {
      KillTimer(dialog, TICKER);
      std::raise(SIGTERM);
    }
    return FALSE;
  };
  received.clear();
  EXPECT_EQ(run(ownerWindow), 0) << "a dialog that went without EndDialog";
  EXPECT_FALSE(receivedOf(ownerWindow, WM_DESTROY).empty()) << "the owner closed, as on Quit";
  EXPECT_EQ(heard.back().message, static_cast<UINT>(WM_DESTROY));
}

// Windows lays a dialog out in 96-dpi units and scales it; the procedures
// keep measuring in units.
TEST_F(DialogTest, AChangeOfScaleWhileOpenDoublesTheControlsWhichStillAnswerInUnits) {
  struct Seen {
    RECT rect;  // of the OK button, from the dialog's corner
    int width, labelSize;
  };
  static std::vector<Seen> seen;
  seen.clear();
  onMessage = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) SetTimer(dialog, TICKER, 20, nullptr);
    if (message != WM_TIMER || !isViewable(dialog)) return FALSE;
    const Fl_Widget* ok = nullptr;
    const Fl_Window* host = findWindow(dialog)->host;
    for (int i = 0; i < host->children(); ++i) {
      if (host->child(i)->label() && std::string(host->child(i)->label()) == "OK") {
        ok = host->child(i);
      }
    }
    RECT window{}, button{};
    GetWindowRect(dialog, &window);
    GetWindowRect(GetDlgItem(dialog, IDOK), &button);
    if (seen.empty() || x11ScalePercent() == 200) {
      seen.push_back(Seen{{button.left - window.left, button.top - window.top,
                           button.right - window.left, button.bottom - window.top},
                          ok->w(),
                          ok->labelsize()});
    }
    if (seen.size() == 1) setXftDpi(192, false);
    if (seen.size() == 2) EndDialog(dialog, 1);
    return TRUE;
  };
  ASSERT_EQ(run(owner()), 1);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].rect.left, seen[0].rect.left) << "in units as before";
  EXPECT_EQ(seen[1].rect.right, seen[0].rect.right);
  EXPECT_EQ(seen[1].rect.bottom, seen[0].rect.bottom);
  EXPECT_EQ(seen[1].width, 2 * seen[0].width) << "in pixels, twice as wide";
  EXPECT_EQ(seen[1].labelSize, 2 * seen[0].labelSize);
}
