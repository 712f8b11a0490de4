// One performance counter reduced to one number: the sum over all of its
// instances, or -1 when the reading fails.
#pragma once

#include <cstddef>

#include "platform/perf_counters.h"

constexpr std::size_t PATH_CAPACITY = 1024;
constexpr std::size_t ITEM_AREA_RECORDS = 20;
constexpr std::size_t ITEM_AREA_BYTES = 480;

class CounterProbe {
 public:
  explicit CounterProbe(const char* path);

  bool setPath(const char* newPath);
  LONG sample();

  const char* currentPath() const { return path; }
  bool hasCounter() const { return counter != nullptr; }
  LONG lastTotal() const { return total; }

 private:
  char path[PATH_CAPACITY];
  PDH_HQUERY query;
  PDH_HCOUNTER counter;
  LONG total;
  // The library stores the instance names in this same area, after the records.
  PDH_FMT_COUNTERVALUE_ITEM_A items[ITEM_AREA_RECORDS];
};

static_assert(sizeof(PDH_FMT_COUNTERVALUE_ITEM_A) * ITEM_AREA_RECORDS == ITEM_AREA_BYTES,
              "the result area is twenty records");

// Built during static initialisation, before the entry runs, in this order.
extern CounterProbe cpuProbe;
extern CounterProbe receivedProbe;
extern CounterProbe sentProbe;

extern const char* const CPU_COUNTER_PATH;
extern const char* const RECEIVED_COUNTER_PATH;
extern const char* const SENT_COUNTER_PATH;
