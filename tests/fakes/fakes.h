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

// Drawing --------------------------------------------------------------------
struct Gdi {
  int liveDCs = 0;      // memory contexts
  int borrowedDCs = 0;  // window and screen contexts not yet released
  int liveBitmaps = 0;
  int liveFonts = 0;
  int liveBrushes = 0;
  bool failFont = false;
  LOGFONTA lastFont{};
  std::vector<std::string> log;  // Rectangle, TextOutA, BitBlt with their arguments
};

Gdi& gdi();
void resetGdi();

}  // namespace fake
