// Memory in use from /proc/meminfo.
#include "platform/system_status.h"

#include <cstring>

#include "platform/linux/readings/line_reader.h"
#include "platform/linux/readings/reading_roots.h"

namespace {

KeptFile meminfoFile = NOT_OPENED;

enum MeminfoField { MEM_TOTAL, MEM_FREE, MEM_AVAILABLE, BUFFERS, CACHED, SWAP_TOTAL, SWAP_FREE };
constexpr int MEMINFO_FIELDS = 7;
const char* const MEMINFO_KEYS[MEMINFO_FIELDS] = {
    "MemTotal", "MemFree", "MemAvailable", "Buffers", "Cached", "SwapTotal", "SwapFree"};

struct MemoryFigures {
  bool found[MEMINFO_FIELDS];
  unsigned long long bytes[MEMINFO_FIELDS];
};

// The first line of a key we have not yet taken; -1 for any other line.
int wantedField(TextSpan key, const MemoryFigures& figures) {
  for (int field = 0; field < MEMINFO_FIELDS; ++field)
    if (!figures.found[field] && spanEquals(key, MEMINFO_KEYS[field])) return field;
  return -1;
}

// "Key:   12345 kB". A figure without its unit, or too large to count in
// bytes, is not one we can trust and is left out. The key is looked at first:
// the kernel writes some fifty lines, and we take seven.
void takeMeminfoLine(TextSpan line, MemoryFigures& figures) {
  TextSpan key{};
  TextSpan rest{};
  if (!splitAt(line, ':', key, rest)) return;
  const int field = wantedField(key, figures);
  unsigned long long kilobytes = 0;
  if (field < 0 || !takeNumber(rest, kilobytes)) return;
  skipBlanks(rest);
  unsigned long long bytes = 0;
  if (!spanEquals(rest, "kB") || __builtin_mul_overflow(kilobytes, 1024ULL, &bytes)) return;
  figures.found[field] = true;
  figures.bytes[field] = bytes;
}

bool foundAll(const MemoryFigures& figures) {
  for (bool found : figures.found)
    if (!found) return false;
  return true;
}

// Read every second: once the seven figures are in, the rest of the file
// (more than half of it, after SwapFree) is left unparsed.
bool readMemoryFigures(MemoryFigures& figures) {
  char path[PATH_CAPACITY_BYTES];
  LineReader reader;
  if (!joinPath(path, sizeof path, procRoot(), "meminfo") || !beginPass(reader, meminfoFile, path))
    return false;
  TextSpan line{};
  bool cut = false;
  while (!foundAll(figures) && nextLine(reader, line, cut))
    if (!cut) takeMeminfoLine(line, figures);
  endPass(reader, meminfoFile);
  return !reader.failed && figures.found[MEM_TOTAL] && figures.bytes[MEM_TOTAL] > 0;
}

unsigned long long sumWithin(unsigned long long a, unsigned long long b) {
  unsigned long long sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? ~0ULL : sum;
}

unsigned long long atMost(unsigned long long value, unsigned long long ceiling) {
  return value < ceiling ? value : ceiling;
}

// Kernels before 3.14 have no MemAvailable; free plus reclaimable caches is
// what it stands for.
unsigned long long availableBytes(const MemoryFigures& figures) {
  if (figures.found[MEM_AVAILABLE]) return figures.bytes[MEM_AVAILABLE];
  return sumWithin(sumWithin(figures.bytes[MEM_FREE], figures.bytes[BUFFERS]),
                   figures.bytes[CACHED]);
}

// Rounded down, so 100 means every byte is in use.
DWORD percentUsed(unsigned long long total, unsigned long long available) {
  unsigned long long used = total - available;
  if (used <= ~0ULL / 100) return static_cast<DWORD>(used * 100 / total);
  return static_cast<DWORD>(atMost(used / (total / 100), 100));
}

// The user address space of a process of this word size: 128 TiB with 64-bit
// pointers (four-level paging), 3 GiB with 32-bit ones. We do not track our
// own use of it, and the monitor reads neither figure.
unsigned long long addressSpaceBytes() { return sizeof(void*) == 8 ? 1ULL << 47 : 3ULL << 30; }

}  // namespace

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status) {
  if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) return FALSE;
  std::memset(status, 0, sizeof *status);
  status->dwLength = sizeof(MEMORYSTATUSEX);
  MemoryFigures figures{};
  if (!readMemoryFigures(figures)) return FALSE;
  unsigned long long total = figures.bytes[MEM_TOTAL];
  unsigned long long available = atMost(availableBytes(figures), total);
  unsigned long long pageTotal = sumWithin(total, figures.bytes[SWAP_TOTAL]);
  status->dwMemoryLoad = percentUsed(total, available);
  status->ullTotalPhys = total;
  status->ullAvailPhys = available;
  status->ullTotalPageFile = pageTotal;
  status->ullAvailPageFile = atMost(sumWithin(available, figures.bytes[SWAP_FREE]), pageTotal);
  status->ullTotalVirtual = addressSpaceBytes();
  status->ullAvailVirtual = addressSpaceBytes();
  return TRUE;
}
