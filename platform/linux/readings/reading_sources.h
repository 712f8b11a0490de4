// Where the readings are taken from, and the few extra calls the contract
// tests need. Nothing in the program itself uses these: it
// reads the live /proc, /sys and root filesystem and never closes its queries.
#pragma once

#include "platform/perf_counters.h"

// Each root setter takes a directory (at most 255 characters); null restores the
// default. False, with the root unchanged, for an empty or overlong directory.
// Setting a root lets go of the files kept open and of what was worked out
// from the old one (which interfaces count, the list of power supplies).
bool setProcRoot(const char* dir);  // default "/proc"
bool setSysRoot(const char* dir);   // default "/sys"
// The filesystem that answers for drive "c:\"; default "/".
bool setDiskRoot(const char* path);

// Collections are stamped with this clock; null restores the system's monotonic clock.
typedef unsigned long long (*MonotonicNanos)();
void setMonotonicClock(MonotonicNanos clock);

// Releases a query and every counter still in it.
PDH_STATUS PdhCloseQuery(PDH_HQUERY query);
// Queries opened and not yet closed, for leak checks.
int liveQueryCount();
