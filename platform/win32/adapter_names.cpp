#include "platform/win32/adapter_names.h"

#include <cstdint>

namespace {

// PDH cannot keep these in an instance name, so it swaps them for look-alikes.
char pdhSpelling(char c) {
  switch (c) {
    case '(':
      return '[';
    case ')':
      return ']';
    case '#':
    case '/':
    case '\\':
      return '_';
    default:
      return c;
  }
}

}  // namespace

DWORD instanceSignature(const PDH_FMT_COUNTERVALUE_ITEM_A* items, DWORD count) {
  // FNV-1a over the names and their terminators, so "ab","c" and "a","bc" differ.
  std::uint32_t hash = 2166136261u ^ count;
  for (DWORD i = 0; i < count; ++i) {
    const char* name = items[i].szName != nullptr ? items[i].szName : "";
    do {
      hash = (hash ^ static_cast<unsigned char>(*name)) * 16777619u;
    } while (*name++ != '\0');
  }
  return hash;
}

bool instanceNamesAdapter(const char* instance, const char* description) {
  if (instance == nullptr || description == nullptr) return false;
  while (*description != '\0' && pdhSpelling(*description) == *instance) {
    ++description;
    ++instance;
  }
  return *description == '\0' && *instance == '\0';
}

DWORD markHardwareInstances(const PDH_FMT_COUNTERVALUE_ITEM_A* items, DWORD count,
                            const AdapterRow& row, unsigned char* counted) {
  // A filter row repeats its adapter with a longer description and must not
  // stand for a second adapter.
  if (!row.hardware || row.filter) return 0;
  DWORD marked = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (counted[i] == 0 && instanceNamesAdapter(items[i].szName, row.description)) {
      counted[i] = 1;
      ++marked;
    }
  }
  return marked;
}

void countEveryInstanceIfNoneMarked(unsigned char* counted, DWORD count) {
  for (DWORD i = 0; i < count; ++i)
    if (counted[i] != 0) return;
  for (DWORD i = 0; i < count; ++i) counted[i] = 1;
}

DWORD handOverCounted(const PDH_FMT_COUNTERVALUE_ITEM_A* items, DWORD count,
                      const unsigned char* counted, PDH_FMT_COUNTERVALUE_ITEM_A* out, DWORD room) {
  if (room == 0) return 0;
  DWORD handed = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (counted[i] == 0) continue;
    if (handed < room) {
      out[handed++] = items[i];
      continue;
    }
    // Unsigned, so the sum wraps like the probe's own 32-bit total.
    std::uint32_t folded = static_cast<std::uint32_t>(out[room - 1].FmtValue.longValue) +
                           static_cast<std::uint32_t>(items[i].FmtValue.longValue);
    out[room - 1].FmtValue.longValue = static_cast<LONG>(folded);
  }
  return handed;
}
