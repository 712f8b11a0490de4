// Which instances of a Network Interface counter carry traffic of their own.
// Windows lists every adapter a byte passes through: the hardware adapter, and
// again each virtual one (Hyper-V and WSL switches, VPN tunnels) it rode on.
// Only the hardware adapters are summed, so each byte counts once. Kept free
// of Windows headers so the decisions can be tested on any build machine.
#pragma once

#include <cstddef>

#include "platform/perf_counters.h"

// One row of Windows' interface table, its description in the ANSI code page.
struct AdapterRow {
  const char* description;
  bool hardware;
  bool filter;
};

// A cheap fingerprint of the instance names, in their order: the table is
// read again only when it changes.
DWORD instanceSignature(const PDH_FMT_COUNTERVALUE_ITEM_A* items, DWORD count);

// True when PDH names the adapter with this description as instance.
bool instanceNamesAdapter(const char* instance, const char* description);

// Marks in counted the instances that a hardware row names; returns how many.
DWORD markHardwareInstances(const PDH_FMT_COUNTERVALUE_ITEM_A* items, DWORD count,
                            const AdapterRow& row, unsigned char* counted);

// Every instance counts when the table named none of them.
void countEveryInstanceIfNoneMarked(unsigned char* counted, DWORD count);

// Copies the counted records into an area of room records; what does not fit
// is folded into the last one handed over, so the total stays whole. Returns
// the number of records handed over.
DWORD handOverCounted(const PDH_FMT_COUNTERVALUE_ITEM_A* items, DWORD count,
                      const unsigned char* counted, PDH_FMT_COUNTERVALUE_ITEM_A* out, DWORD room);
