// Control of the deterministic platform fakes the unit tests link against.
// Every fake keeps its state in function-local statics, because the three
// global probes open their queries during static initialisation.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/drawing.h"
#include "platform/perf_counters.h"
#include "platform/registry.h"
#include "platform/system_status.h"
#include "platform/windowing.h"

namespace fake {

// Registry ------------------------------------------------------------------
struct RegValue {
  DWORD type;
  std::vector<BYTE> bytes;
};

struct Registry {
  // key path (as given) -> value name -> value
  std::map<std::string, std::map<std::string, RegValue>> keys;
  bool failOpen = false;
  bool failCreate = false;
  std::vector<std::string> failSetFor;  // value names whose store fails
  std::vector<std::string> log;         // "open K", "create K", "query N", "set N", "close"
  int liveKeys = 0;
};

Registry& registry();
void resetRegistry();
void storeDword(const std::string& key, const std::string& name, DWORD value);
void storeBytes(const std::string& key, const std::string& name, std::vector<BYTE> bytes,
                DWORD type = REG_BINARY);
// A stored DWORD value; 0xDEADBEEF when it is missing or not four bytes.
DWORD storedDword(const std::string& key, const std::string& name);
// The names set, in order, taken from the log.
std::vector<std::string> valuesWritten();

// Performance counters -----------------------------------------------------
struct CounterScript {
  std::vector<LONG> values;    // one per instance
  std::size_t nameLength = 3;  // bytes of each instance name, terminator not counted
  PDH_STATUS collectStatus = ERROR_SUCCESS;
  PDH_STATUS formatStatus = ERROR_SUCCESS;
  bool overstateCount = false;  // report more records than the area holds
};

struct Pdh {
  std::map<std::string, CounterScript> scripts;  // by counter path
  std::vector<std::string> rejectedPaths;
  std::vector<std::string> log;  // "add P", "remove P", "collect P", "format P"
  int liveQueries = 0;
  int liveCounters = 0;
};

Pdh& pdh();
void resetPdh();  // keeps the live counts: queries opened at start-up stay open
// The paths the first three adds of the process named, in order.
const std::vector<std::string>& addsDuringStartup();

// System status ------------------------------------------------------------
struct Host {
  std::time_t now = 0;
  MEMORYSTATUSEX memory{};
  DWORD memoryLengthSeen = 0;
  ULONGLONG totalFreeBytes = 0;
  bool diskFillsNothing = false;
  std::string diskDirectorySeen;
  BYTE batteryPercent = 255;
  bool powerFails = false;
  bool numberFormatFails = false;
  NUMBERFMTA numberFormatSeen{};
  int numberTextSizeSeen = 0;
};

Host& host();
void resetHost();

// Window manager -----------------------------------------------------------
// Frames: WS_THICKFRAME is 4 pixels on every side, WS_BORDER alone 1.
struct FakeWindow {
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT outer{};
  HWND owner = nullptr;
  LONG_PTR zOrder = 0;  // the last insertAfter a placement applied
  bool destroyed = false;
};

struct Desktop {
  std::vector<std::string> failRegister;  // class names whose registration fails
  std::vector<std::string> failCreate;    // class names whose windows cannot be made
  std::vector<RECT> monitors{{0, 0, 1280, 1024}};
  WORD menuChoice = 0;             // posted as WM_COMMAND when the menu is tracked
  std::function<bool()> whenIdle;  // runs while the queue is empty, until it returns false
  std::vector<std::string> log;    // every call that changes something, in order
  std::map<std::pair<HWND, UINT_PTR>, UINT> timers;
  std::vector<std::function<void(HWND dialog)>> dialogActions;  // see Dialogs below
};

// What GetMessageA reports when the queue runs dry with no quit posted.
constexpr int RAN_DRY = 77;

Desktop& desktop();
void resetDesktop();
FakeWindow* windowOf(HWND window);
HWND findWindow(const std::string& title);
// A shown popup window of its own class, for tests that need just a window.
HWND makeWindow(RECT outer, DWORD style = WS_POPUP);
RECT clientRect(HWND window);
std::vector<std::string> logEntries(const std::string& prefix);

// Dialogs --------------------------------------------------------------------
// A dialog is a record of its controls, keyed by id, for templates 103 and
// 104; any other template is missing and opens nothing. Once WM_INITDIALOG has
// been answered, the desktop's dialogActions run in order until one ends the
// dialog; a dialog still open when they run out is logged "left open" and
// given up, so a test never hangs on it.
struct DialogControl {
  std::string text;
  bool checked = false;
};

struct FakeDialog {
  int templateId = 0;
  HWND owner = nullptr;
  DLGPROC procedure = nullptr;
  std::map<int, DialogControl> controls;
  std::vector<INT_PTR> answers;  // the procedure's result for each message, in order
  bool ended = false;
  INT_PTR result = 0;
};

using DialogAction = std::function<void(HWND dialog)>;
// Replaces the whole text of a control, as typing over it would.
DialogAction typeText(int id, const std::string& text);
// Checks a radio button, clears the other of its pair, and tells the procedure.
DialogAction clickRadio(int id);
// The command a button sends; Enter sends IDOK, Escape and the close box IDCANCEL.
DialogAction pressButton(int id);
// The last dialog opened, kept after it ends; null when none was opened.
FakeDialog* lastDialog();

// Drawing --------------------------------------------------------------------
struct Gdi {
  int liveDCs = 0;      // memory contexts
  int borrowedDCs = 0;  // window and screen contexts not yet released
  int liveBitmaps = 0;
  int liveFonts = 0;
  int liveBrushes = 0;
  bool failFont = false;
  bool failWindowDC = false;  // GetDC gives no context
  LOGFONTA lastFont{};
  std::vector<LONG> fontHeights;  // lfHeight of every font asked for, in order
  // Rectangle, FillRect, FrameRect, TextOutA, BitBlt with their arguments;
  // brushes read as their colour, "black" for the stock one, "system=N" for a
  // system colour index.
  std::vector<std::string> log;
};

// The font dialog: Cancel unless told to confirm, and then it writes choice
// into the caller's record. What it was opened with is kept.
struct FontDialog {
  bool confirm = false;
  LOGFONTA choice{};
  int opened = 0;
  CHOOSEFONTA request{};
  LOGFONTA openedOn{};
};

FontDialog& fontDialog();
void resetFontDialog();

Gdi& gdi();
void resetGdi();

}  // namespace fake
