// Performance Data Helper: the five calls a counter probe makes.
#pragma once

#include "platform/base_types.h"

#ifdef _WIN32
#include <pdh.h>
// The Win32 layer (platform/win32/perf_counters.cpp) stands in front of these:
// it adds counters by their English paths whatever the display language, keeps
// its own result area that grows to what PDH asks for and hands over only the
// network adapters that carry traffic of their own, and answers the formatting
// as failed under Wine's own pdh.dll, which aborts the process inside it.
PDH_STATUS kivoPdhAddCounterA(PDH_HQUERY query, LPCSTR counterPath, DWORD_PTR userData,
                              PDH_HCOUNTER* counter);
PDH_STATUS kivoPdhRemoveCounter(PDH_HCOUNTER counter);
PDH_STATUS kivoPdhGetFormattedCounterArrayA(PDH_HCOUNTER counter, DWORD format, LPDWORD bufferSize,
                                            LPDWORD itemCount, PPDH_FMT_COUNTERVALUE_ITEM_A items);
#define PdhAddCounterA kivoPdhAddCounterA
#define PdhRemoveCounter kivoPdhRemoveCounter
#define PdhGetFormattedCounterArrayA kivoPdhGetFormattedCounterArrayA
#else
typedef LONG PDH_STATUS;
typedef HANDLE PDH_HQUERY;
typedef HANDLE PDH_HCOUNTER;

#define PDH_FMT_LONG 0x00000100
#define PDH_FMT_DOUBLE 0x00000200
#define PDH_FMT_LARGE 0x00000400

#define PDH_CSTATUS_VALID_DATA 0x00000000L
#define PDH_CSTATUS_NEW_DATA 0x00000001L
#define PDH_MORE_DATA static_cast<PDH_STATUS>(0x800007D2L)
#define PDH_NO_DATA static_cast<PDH_STATUS>(0x800007D5L)
#define PDH_CSTATUS_NO_OBJECT static_cast<PDH_STATUS>(0xC0000BB8L)
#define PDH_CSTATUS_NO_COUNTER static_cast<PDH_STATUS>(0xC0000BB9L)
#define PDH_CSTATUS_INVALID_DATA static_cast<PDH_STATUS>(0xC0000BBAL)
#define PDH_MEMORY_ALLOCATION_FAILURE static_cast<PDH_STATUS>(0xC0000BBBL)
#define PDH_INVALID_HANDLE static_cast<PDH_STATUS>(0xC0000BBCL)
#define PDH_INVALID_ARGUMENT static_cast<PDH_STATUS>(0xC0000BBDL)
#define PDH_CSTATUS_BAD_COUNTERNAME static_cast<PDH_STATUS>(0xC0000BC0L)
#define PDH_INVALID_DATA static_cast<PDH_STATUS>(0xC0000BC6L)

typedef struct _PDH_FMT_COUNTERVALUE {
  DWORD CStatus;
  union {
    LONG longValue;
    double doubleValue;
    LONGLONG largeValue;
    LPCSTR AnsiStringValue;
    LPCWSTR WideStringValue;
  };
} PDH_FMT_COUNTERVALUE, *PPDH_FMT_COUNTERVALUE;

typedef struct _PDH_FMT_COUNTERVALUE_ITEM_A {
  LPSTR szName;
  PDH_FMT_COUNTERVALUE FmtValue;
} PDH_FMT_COUNTERVALUE_ITEM_A, *PPDH_FMT_COUNTERVALUE_ITEM_A;

PDH_STATUS PdhOpenQueryA(LPCSTR dataSource, DWORD_PTR userData, PDH_HQUERY* query);
PDH_STATUS PdhAddCounterA(PDH_HQUERY query, LPCSTR counterPath, DWORD_PTR userData,
                          PDH_HCOUNTER* counter);
PDH_STATUS PdhRemoveCounter(PDH_HCOUNTER counter);
PDH_STATUS PdhCollectQueryData(PDH_HQUERY query);
PDH_STATUS PdhGetFormattedCounterArrayA(PDH_HCOUNTER counter, DWORD format, LPDWORD bufferSize,
                                        LPDWORD itemCount, PPDH_FMT_COUNTERVALUE_ITEM_A items);
#endif

// The probe's result area holds exactly twenty of these on both word sizes.
static_assert(sizeof(PDH_FMT_COUNTERVALUE_ITEM_A) == 24, "PDH item record must be 24 bytes");
