#include "fakes/fakes.h"

namespace fake {

Host& host() {
  static Host state;
  return state;
}

void resetHost() { host() = Host{}; }

}  // namespace fake

using fake::host;

// The clock is the C library's; the unit tests take its place so a test can
// say which day it is. The status line tests run with TZ=UTC.
extern "C" std::time_t time(std::time_t* result) noexcept {
  if (result != nullptr) *result = host().now;
  return host().now;
}

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status) {
  host().memoryLengthSeen = status->dwLength;
  const DWORD length = status->dwLength;
  *status = host().memory;
  status->dwLength = length;
  return TRUE;
}

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER, PULARGE_INTEGER,
                         PULARGE_INTEGER totalFreeBytes) {
  host().diskDirectorySeen = directory;
  if (host().diskFillsNothing) return FALSE;
  totalFreeBytes->QuadPart = host().totalFreeBytes;
  return TRUE;
}

BOOL GetSystemPowerStatus(LPSYSTEM_POWER_STATUS status) {
  if (host().powerFails) return FALSE;
  status->BatteryLifePercent = host().batteryPercent;
  return TRUE;
}
