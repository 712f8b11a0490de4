#include "platform/linux/readings/reading_clock.h"

#include <chrono>

#include "platform/linux/readings/reading_sources.h"

namespace {

// steady_clock is CLOCK_MONOTONIC on Linux.
unsigned long long systemMonotonicNanos() {
  auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<unsigned long long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceBoot).count());
}

MonotonicNanos monotonicClock = systemMonotonicNanos;

}  // namespace

void setMonotonicClock(MonotonicNanos clock) {
  monotonicClock = clock != nullptr ? clock : systemMonotonicNanos;
}

unsigned long long monotonicNanos() { return monotonicClock(); }
