// The clock the readings are stamped with: the system's monotonic clock, or a
// test's own (reading_sources.h).
#pragma once

// Monotonic nanoseconds from the clock given to setMonotonicClock.
unsigned long long monotonicNanos();
