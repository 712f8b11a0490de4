#include <cstring>
#include <string>

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

// Digits grouped in threes by the caller's separator; only what the bar labels
// ask for (no decimals, no sign) is supported. Fails like Windows when the
// buffer is too small.
int GetNumberFormatA(LCID, DWORD, LPCSTR value, const NUMBERFMTA* format, LPSTR numberText,
                     int numberTextSize) {
  host().numberFormatSeen = *format;
  host().numberTextSizeSeen = numberTextSize;
  if (host().numberFormatFails) return 0;
  const std::string digits = value;
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && format->Grouping != 0 && (digits.size() - i) % format->Grouping == 0)
      grouped += format->lpThousandSep;
    grouped += digits[i];
  }
  const int needed = static_cast<int>(grouped.size()) + 1;
  if (numberTextSize < needed) return 0;
  std::memcpy(numberText, grouped.c_str(), grouped.size() + 1);
  return needed;
}
