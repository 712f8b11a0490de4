// Control of the deterministic platform fakes the unit tests link against.
// Every fake keeps its state in function-local statics, because the three
// global probes open their queries during static initialisation.
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <vector>

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

// Windows ------------------------------------------------------------------
struct Windows {
  bool haveRect = true;
  RECT rect{443, -2, 893, 12};
};

Windows& windows();

}  // namespace fake
