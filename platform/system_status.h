// Memory, disk, power and number formatting. The clock is the C library's
// time() and localtime().
#pragma once

#include <ctime>

#include "platform/base_types.h"

#ifndef _WIN32
typedef struct _MEMORYSTATUSEX {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  DWORDLONG ullTotalPhys;
  DWORDLONG ullAvailPhys;
  DWORDLONG ullTotalPageFile;
  DWORDLONG ullAvailPageFile;
  DWORDLONG ullTotalVirtual;
  DWORDLONG ullAvailVirtual;
  DWORDLONG ullAvailExtendedVirtual;
} MEMORYSTATUSEX, *LPMEMORYSTATUSEX;

typedef struct _SYSTEM_POWER_STATUS {
  BYTE ACLineStatus;
  BYTE BatteryFlag;
  BYTE BatteryLifePercent;
  BYTE SystemStatusFlag;
  DWORD BatteryLifeTime;
  DWORD BatteryFullLifeTime;
} SYSTEM_POWER_STATUS, *LPSYSTEM_POWER_STATUS;

typedef struct _numberfmtA {
  UINT NumDigits;
  UINT LeadingZero;
  UINT Grouping;
  LPSTR lpDecimalSep;
  LPSTR lpThousandSep;
  UINT NegativeOrder;
} NUMBERFMTA, *LPNUMBERFMTA;

#define AC_LINE_OFFLINE 0x00
#define AC_LINE_ONLINE 0x01
#define AC_LINE_UNKNOWN 0xFF
#define BATTERY_FLAG_NO_BATTERY 0x80
#define BATTERY_FLAG_UNKNOWN 0xFF
#define BATTERY_PERCENTAGE_UNKNOWN 0xFF
#define BATTERY_LIFE_UNKNOWN 0xFFFFFFFFu

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status);
BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalBytes, PULARGE_INTEGER totalFreeBytes);
BOOL GetSystemPowerStatus(LPSYSTEM_POWER_STATUS status);
int GetNumberFormatA(LCID locale, DWORD flags, LPCSTR value, const NUMBERFMTA* format,
                     LPSTR numberText, int numberTextSize);
#endif

static_assert(sizeof(MEMORYSTATUSEX) == 64, "MEMORYSTATUSEX must keep its Windows layout");
