#include "measure/counter_probe.h"

#include <cstdint>
#include <cstring>

CounterProbe::CounterProbe(const char* newPath)
    : path{}, query(nullptr), counter(nullptr), total(0) {
  // A failed open goes unnoticed here: every add and collection on the query then fails.
  PdhOpenQueryA(nullptr, 0, &query);
  if (newPath != nullptr) setPath(newPath);
}

bool CounterProbe::setPath(const char* newPath) {
  if (newPath == nullptr) return false;
  // A path that cannot be kept whole would name a different counter; refuse it
  // and leave the probe as it was.
  if (std::strlen(newPath) >= PATH_CAPACITY) return false;
  std::strcpy(path, newPath);
  // The old counter goes first, so a rejected path leaves the probe with none.
  if (counter != nullptr) {
    PdhRemoveCounter(counter);
    counter = nullptr;
  }
  return PdhAddCounterA(query, newPath, 0, &counter) == ERROR_SUCCESS;
}

LONG CounterProbe::sample() {
  if (PdhCollectQueryData(query) != ERROR_SUCCESS) return -1;

  DWORD size = ITEM_AREA_BYTES;
  DWORD count = ITEM_AREA_RECORDS;
  std::memset(items, 0, sizeof items);
  total = 0;
  if (PdhGetFormattedCounterArrayA(counter, PDH_FMT_LONG, &size, &count, items) != ERROR_SUCCESS)
    return -1;

  // The sum wraps like the 32-bit arithmetic it stands for; unsigned addition
  // keeps that defined. Records the library marks invalid add what they carry.
  std::uint32_t sum = 0;
  for (DWORD i = 0; i < count && i < ITEM_AREA_RECORDS; ++i)
    sum += static_cast<std::uint32_t>(items[i].FmtValue.longValue);
  total = static_cast<LONG>(sum);
  return total;
}
