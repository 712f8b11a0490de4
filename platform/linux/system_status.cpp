// Memory, disk and power status from /proc/meminfo, statfs and
// /sys/class/power_supply.
#include "platform/system_status.h"

#include <fcntl.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <strings.h>
#include <cstring>

#include "platform/linux/linux_sources.h"
#include "platform/linux/proc_reader.h"

namespace {

// Constant-initialised, so a call made during static initialisation finds it set.
char diskRootText[ROOT_CAPACITY] = "/";

// --- /proc/meminfo -------------------------------------------------------

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
  if (!joinPath(path, sizeof path, procRoot(), "meminfo") || !openLines(reader, path)) return false;
  TextSpan line{};
  bool cut = false;
  while (!foundAll(figures) && nextLine(reader, line, cut))
    if (!cut) takeMeminfoLine(line, figures);
  closeLines(reader);
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

// --- Disk ----------------------------------------------------------------

bool namesDriveC(const char* directory) {
  return strcasecmp(directory, "c:\\") == 0 || strcasecmp(directory, "c:") == 0 ||
         strcasecmp(directory, "c:/") == 0;
}

unsigned long long blocksInBytes(unsigned long long blocks, unsigned long long blockBytes) {
  unsigned long long bytes = 0;
  return __builtin_mul_overflow(blocks, blockBytes, &bytes) ? ~0ULL : bytes;
}

void putBytes(PULARGE_INTEGER out, unsigned long long bytes) {
  if (out != nullptr) out->QuadPart = bytes;
}

// --- /sys/class/power_supply ---------------------------------------------

constexpr BYTE FLAG_HIGH = 1;
constexpr BYTE FLAG_LOW = 2;
constexpr BYTE FLAG_CRITICAL = 4;
constexpr std::size_t SUPPLY_TEXT_BYTES = 32;
// Offsets inside a linux_dirent64 record; glibc declares no such struct.
constexpr std::size_t DIRENT_RECLEN_OFFSET = 16;
constexpr std::size_t DIRENT_NAME_OFFSET = 19;

struct PowerScan {
  int batteries;
  int capacities;
  long long capacitySum;
  bool mainsOnline;
  bool mainsOffline;
};

bool readSupplyFile(const char* supplies, const char* name, const char* file, char* text) {
  char path[PATH_CAPACITY_BYTES];
  return joinPath(path, sizeof path, supplies, name, file) &&
         readSmallFile(path, text, SUPPLY_TEXT_BYTES);
}

// A whole number, perhaps negative, kept within 0..100.
bool parsePercent(const char* text, int& percent) {
  TextSpan rest = {text, std::strlen(text)};
  bool negative = rest.length > 0 && rest.text[0] == '-';
  if (negative) {
    ++rest.text;
    --rest.length;
  }
  unsigned long long value = 0;
  if (rest.length == 0 || rest.text[0] < '0' || rest.text[0] > '9') return false;
  if (!takeNumber(rest, value) || rest.length != 0) return false;
  percent = negative ? 0 : static_cast<int>(atMost(value, 100));
  return true;
}

void noteBattery(const char* supplies, const char* name, PowerScan& scan) {
  char text[SUPPLY_TEXT_BYTES];
  // A mouse or headset battery says "Device"; only the system's own counts.
  if (readSupplyFile(supplies, name, "scope", text) && std::strcmp(text, "Device") == 0) return;
  ++scan.batteries;
  int percent = 0;
  if (!readSupplyFile(supplies, name, "capacity", text) || !parsePercent(text, percent)) return;
  ++scan.capacities;
  scan.capacitySum += percent;
}

void noteSupply(const char* supplies, const char* name, PowerScan& scan) {
  char type[SUPPLY_TEXT_BYTES];
  char online[SUPPLY_TEXT_BYTES];
  if (!readSupplyFile(supplies, name, "type", type)) return;
  if (std::strcmp(type, "Battery") == 0) noteBattery(supplies, name, scan);
  if (std::strcmp(type, "Mains") != 0 || !readSupplyFile(supplies, name, "online", online)) return;
  if (std::strcmp(online, "1") == 0) scan.mainsOnline = true;
  if (std::strcmp(online, "0") == 0) scan.mainsOffline = true;
}

// Walks one getdents64 answer. The kernel's records are trusted no further
// than the bytes it returned.
void noteEntries(const char* supplies, const char* entries, std::size_t length, PowerScan& scan) {
  std::size_t offset = 0;
  while (offset + DIRENT_NAME_OFFSET < length) {
    unsigned short recordLength = 0;
    std::memcpy(&recordLength, entries + offset + DIRENT_RECLEN_OFFSET, sizeof recordLength);
    if (recordLength <= DIRENT_NAME_OFFSET || recordLength > length - offset) return;
    const char* name = entries + offset + DIRENT_NAME_OFFSET;
    if (std::memchr(name, '\0', recordLength - DIRENT_NAME_OFFSET) == nullptr) return;
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
      noteSupply(supplies, name, scan);
    offset += recordLength;
  }
}

// opendir would allocate its stream; reading the entries straight from the kernel does not.
void scanPowerSupplies(PowerScan& scan) {
  char supplies[PATH_CAPACITY_BYTES];
  if (!joinPath(supplies, sizeof supplies, sysRoot(), "class/power_supply")) return;
  int fd = open(supplies, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  alignas(8) char entries[2048];
  for (;;) {
    long got = syscall(SYS_getdents64, fd, entries, sizeof entries);
    if (got <= 0) break;
    noteEntries(supplies, entries, static_cast<std::size_t>(got), scan);
  }
  close(fd);
}

BYTE batteryFlag(const PowerScan& scan, BYTE percent) {
  if (scan.batteries == 0) return BATTERY_FLAG_NO_BATTERY;
  if (scan.capacities == 0) return BATTERY_FLAG_UNKNOWN;
  if (percent < 5) return FLAG_LOW | FLAG_CRITICAL;
  if (percent < 33) return FLAG_LOW;
  return percent > 66 ? FLAG_HIGH : 0;
}

BYTE lineStatus(const PowerScan& scan) {
  if (scan.mainsOnline) return AC_LINE_ONLINE;
  return scan.mainsOffline ? AC_LINE_OFFLINE : AC_LINE_UNKNOWN;
}

}  // namespace

bool setDiskRoot(const char* path) { return storeRoot(diskRootText, path, "/"); }

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

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalBytes, PULARGE_INTEGER totalFreeBytes) {
  // Without a directory Windows asks about the current one.
  const char* path = directory == nullptr ? "." : directory;
  if (namesDriveC(path)) path = diskRootText;
  // statfs rather than statvfs: glibc's statvfs may scan the mount table for
  // the mount flags, and that allocates.
  struct statfs figures {};
  if (statfs(path, &figures) != 0) return FALSE;
  unsigned long long blockBytes =
      static_cast<unsigned long long>(figures.f_frsize != 0 ? figures.f_frsize : figures.f_bsize);
  putBytes(freeBytesAvailableToCaller, blocksInBytes(figures.f_bavail, blockBytes));
  putBytes(totalBytes, blocksInBytes(figures.f_blocks, blockBytes));
  putBytes(totalFreeBytes, blocksInBytes(figures.f_bfree, blockBytes));
  return TRUE;
}

BOOL GetSystemPowerStatus(LPSYSTEM_POWER_STATUS status) {
  if (status == nullptr) return FALSE;
  PowerScan scan{};
  scanPowerSupplies(scan);
  BYTE percent = BATTERY_PERCENTAGE_UNKNOWN;
  if (scan.capacities > 0)
    percent = static_cast<BYTE>((scan.capacitySum + scan.capacities / 2) / scan.capacities);
  status->ACLineStatus = lineStatus(scan);
  status->BatteryFlag = batteryFlag(scan, percent);
  status->BatteryLifePercent = percent;
  status->SystemStatusFlag = 0;
  status->BatteryLifeTime = BATTERY_LIFE_UNKNOWN;
  status->BatteryFullLifeTime = BATTERY_LIFE_UNKNOWN;
  return TRUE;
}
