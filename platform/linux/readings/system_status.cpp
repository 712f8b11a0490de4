// Memory, disk and power status from /proc/meminfo, statfs and
// /sys/class/power_supply.
#include "platform/system_status.h"

#include <fcntl.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <strings.h>
#include <cmath>
#include <cstring>

#include "platform/linux/readings/line_reader.h"
#include "platform/linux/readings/reading_clock.h"
#include "platform/linux/readings/reading_roots.h"
#include "platform/linux/readings/reading_sources.h"

namespace {

// Constant-initialised, so a call made during static initialisation finds it set.
char diskRootText[ROOT_CAPACITY] = "/";
KeptFile meminfoFile = NOT_OPENED;

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
constexpr std::size_t SUPPLY_NAME_BYTES = 256;
// Offsets inside a linux_dirent64 record; glibc declares no such struct.
constexpr std::size_t DIRENT_RECLEN_OFFSET = 16;
constexpr std::size_t DIRENT_NAME_OFFSET = 19;
// Batteries and chargers come and go rarely; the list is taken again this
// often, or at once when one of its files cannot be read.
constexpr unsigned long long RELIST_NANOS = 60ULL * 1000000000ULL;
// A laptop has one or two batteries and a charger or two. More supplies than
// this are read afresh, directory and all, on every call.
constexpr int MAX_KEPT_SUPPLIES = 8;

// How a battery tells its charge: energy in uWh, charge in uAh, or only a percentage.
enum class SupplyKind { mains, energyBattery, chargeBattery, capacityBattery, mutedBattery };

struct Supply {
  SupplyKind kind;
  char name[SUPPLY_NAME_BYTES];
  KeptFile files[2];  // now and full, the capacity, or the mains' online
};

struct SupplyList {
  bool listed;
  bool tooMany;
  unsigned rootsSeen;
  unsigned long long listedAt;
  int unreadBatteries;  // batteries left out of the list because they could not be read
  int count;
  Supply supplies[MAX_KEPT_SUPPLIES];
};

// What the supplies say together.
struct PowerScan {
  int batteries;
  int figures;  // batteries whose charge could be read
  int energyFigures;
  int chargeFigures;
  unsigned long long energyNow, energyFull;
  unsigned long long chargeNow, chargeFull;
  double percentSum;
  bool mainsOnline;
  bool mainsOffline;
  bool readFailed;
};

SupplyList supplyList;

const char* const FILES_OF[][2] = {
    {"online", nullptr},
    {"energy_now", "energy_full"},
    {"charge_now", "charge_full"},
    {"capacity", nullptr},
    {nullptr, nullptr},
};

bool supplyPath(char* path, const char* supplies, const char* name, const char* file) {
  return joinPath(path, PATH_CAPACITY_BYTES, supplies, name, file);
}

bool readSupplyFile(const char* supplies, const char* name, const char* file, char* text) {
  char path[PATH_CAPACITY_BYTES];
  return supplyPath(path, supplies, name, file) && readSmallFile(path, text, SUPPLY_TEXT_BYTES);
}

bool readKeptValue(const char* supplies, Supply& supply, int index, char* text) {
  char path[PATH_CAPACITY_BYTES];
  return supplyPath(path, supplies, supply.name, FILES_OF[static_cast<int>(supply.kind)][index]) &&
         readKeptSmallFile(supply.files[index], path, text, SUPPLY_TEXT_BYTES);
}

bool hasFile(const char* supplies, const char* name, const char* file) {
  char path[PATH_CAPACITY_BYTES];
  return supplyPath(path, supplies, name, file) && access(path, F_OK) == 0;
}

bool parseWhole(const char* text, unsigned long long& value) {
  TextSpan rest = {text, std::strlen(text)};
  if (rest.length == 0 || rest.text[0] < '0' || rest.text[0] > '9') return false;
  return takeNumber(rest, value) && rest.length == 0;
}

// A percentage the kernel may get wrong: anything outside 0..100 is no figure.
bool parsePercent(const char* text, unsigned long long& percent) {
  return parseWhole(text, percent) && percent <= 100;
}

void letGoOf(Supply& supply) {
  for (KeptFile& file : supply.files) letGo(file);
}

// Counts a battery with both figures; a reading past full counts as full.
void addPair(PowerScan& scan, SupplyKind kind, unsigned long long now, unsigned long long full) {
  if (full == 0) return;
  if (now > full) now = full;
  bool energy = kind == SupplyKind::energyBattery;
  (energy ? scan.energyNow : scan.chargeNow) += now;
  (energy ? scan.energyFull : scan.chargeFull) += full;
  ++(energy ? scan.energyFigures : scan.chargeFigures);
  ++scan.figures;
  scan.percentSum += 100.0 * static_cast<double>(now) / static_cast<double>(full);
}

void readMains(const char* supplies, Supply& supply, PowerScan& scan) {
  char online[SUPPLY_TEXT_BYTES];
  if (!readKeptValue(supplies, supply, 0, online)) {
    scan.readFailed = true;
    return;
  }
  if (std::strcmp(online, "1") == 0) scan.mainsOnline = true;
  if (std::strcmp(online, "0") == 0) scan.mainsOffline = true;
}

void readBattery(const char* supplies, Supply& supply, PowerScan& scan) {
  ++scan.batteries;
  char now[SUPPLY_TEXT_BYTES];
  char full[SUPPLY_TEXT_BYTES];
  unsigned long long nowValue = 0;
  unsigned long long fullValue = 0;
  switch (supply.kind) {
    case SupplyKind::energyBattery:
    case SupplyKind::chargeBattery:
      if (!readKeptValue(supplies, supply, 0, now) || !readKeptValue(supplies, supply, 1, full)) {
        scan.readFailed = true;
        return;
      }
      if (parseWhole(now, nowValue) && parseWhole(full, fullValue))
        addPair(scan, supply.kind, nowValue, fullValue);
      return;
    case SupplyKind::capacityBattery:
      if (!readKeptValue(supplies, supply, 0, now)) {
        scan.readFailed = true;
        return;
      }
      if (!parsePercent(now, nowValue)) return;
      ++scan.figures;
      scan.percentSum += static_cast<double>(nowValue);
      return;
    default:
      return;
  }
}

void readSupply(const char* supplies, Supply& supply, PowerScan& scan) {
  if (supply.kind == SupplyKind::mains)
    readMains(supplies, supply, scan);
  else
    readBattery(supplies, supply, scan);
}

// Which of its files a battery's charge comes from, in order of preference.
SupplyKind batteryKind(const char* supplies, const char* name) {
  if (hasFile(supplies, name, "energy_now") && hasFile(supplies, name, "energy_full"))
    return SupplyKind::energyBattery;
  if (hasFile(supplies, name, "charge_now") && hasFile(supplies, name, "charge_full"))
    return SupplyKind::chargeBattery;
  if (hasFile(supplies, name, "capacity")) return SupplyKind::capacityBattery;
  return SupplyKind::mutedBattery;
}

// Mains, and batteries that power the system; a mouse or headset battery says
// "Device" and counts for nothing. False for any other supply.
bool sortSupply(const char* supplies, const char* name, Supply& supply) {
  char text[SUPPLY_TEXT_BYTES];
  if (!readSupplyFile(supplies, name, "type", text)) return false;
  if (std::strcmp(text, "Mains") == 0) {
    supply.kind = SupplyKind::mains;
  } else if (std::strcmp(text, "Battery") == 0) {
    if (readSupplyFile(supplies, name, "scope", text) && std::strcmp(text, "Device") == 0)
      return false;
    // An empty bay of a laptop with two.
    if (readSupplyFile(supplies, name, "present", text) && std::strcmp(text, "0") == 0)
      return false;
    supply.kind = batteryKind(supplies, name);
  } else {
    return false;
  }
  std::size_t length = std::strlen(name);
  if (length >= SUPPLY_NAME_BYTES) return false;
  std::memcpy(supply.name, name, length + 1);
  supply.files[0] = NOT_OPENED;
  supply.files[1] = NOT_OPENED;
  return true;
}

// Reads one supply of a listing and keeps it while the list has room. One
// that cannot be read is counted but not kept, so it does not have the list
// taken again on every call.
void listSupply(const char* supplies, const char* name, PowerScan& scan) {
  Supply found;
  if (!sortSupply(supplies, name, found)) return;
  SupplyList& list = supplyList;
  bool room = list.count < MAX_KEPT_SUPPLIES;
  Supply& supply = room ? list.supplies[list.count] : found;
  if (room) supply = found;
  list.tooMany = list.tooMany || !room;
  const bool failedBefore = scan.readFailed;
  readSupply(supplies, supply, scan);
  const bool unread = scan.readFailed != failedBefore;
  scan.readFailed = failedBefore;
  if (room && !unread) {
    ++list.count;
    return;
  }
  if (unread && supply.kind != SupplyKind::mains) ++list.unreadBatteries;
  letGoOf(supply);
}

// Walks one getdents64 answer. The kernel's records are trusted no further
// than the bytes it returned.
void listEntries(const char* supplies, const char* entries, std::size_t length, PowerScan& scan) {
  std::size_t offset = 0;
  while (offset + DIRENT_NAME_OFFSET < length) {
    unsigned short recordLength = 0;
    std::memcpy(&recordLength, entries + offset + DIRENT_RECLEN_OFFSET, sizeof recordLength);
    if (recordLength <= DIRENT_NAME_OFFSET || recordLength > length - offset) return;
    const char* name = entries + offset + DIRENT_NAME_OFFSET;
    if (std::memchr(name, '\0', recordLength - DIRENT_NAME_OFFSET) == nullptr) return;
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
      listSupply(supplies, name, scan);
    offset += recordLength;
  }
}

void forgetSupplies() {
  for (int i = 0; i < supplyList.count; ++i) letGoOf(supplyList.supplies[i]);
  supplyList.count = 0;
  supplyList.unreadBatteries = 0;
  supplyList.tooMany = false;
  supplyList.listed = false;
}

// Lists the supplies again and reads each as it goes. opendir would allocate
// its stream; reading the entries straight from the kernel does not.
void listSupplies(const char* supplies, PowerScan& scan) {
  forgetSupplies();
  supplyList.listed = true;
  supplyList.rootsSeen = rootsGeneration();
  supplyList.listedAt = monotonicNanos();
  int fd = open(supplies, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  alignas(8) char entries[2048];
  for (;;) {
    long got = syscall(SYS_getdents64, fd, entries, sizeof entries);
    if (got <= 0) break;
    listEntries(supplies, entries, static_cast<std::size_t>(got), scan);
  }
  close(fd);
}

bool listIsCurrent() {
  const SupplyList& list = supplyList;
  return list.listed && !list.tooMany && list.rootsSeen == rootsGeneration() &&
         monotonicNanos() - list.listedAt < RELIST_NANOS;
}

void scanPowerSupplies(PowerScan& scan) {
  char supplies[PATH_CAPACITY_BYTES];
  if (!joinPath(supplies, sizeof supplies, sysRoot(), "class/power_supply")) return;
  if (listIsCurrent()) {
    scan.batteries = supplyList.unreadBatteries;
    for (int i = 0; i < supplyList.count; ++i) readSupply(supplies, supplyList.supplies[i], scan);
    if (!scan.readFailed) return;
    scan = PowerScan{};
  }
  listSupplies(supplies, scan);
}

// Half a percent and up rounds up.
BYTE roundedPercent(unsigned long long now, unsigned long long full) {
  return static_cast<BYTE>((200 * now + full) / (2 * full));
}

// Energy left over energy when full, as the system's composite battery
// reports it; charge over charge where the batteries count in charge. A mix of
// kinds has no common unit: each battery then counts alike.
BYTE combinedPercent(const PowerScan& scan) {
  if (scan.figures == 0) return BATTERY_PERCENTAGE_UNKNOWN;
  if (scan.energyFigures == scan.figures) return roundedPercent(scan.energyNow, scan.energyFull);
  if (scan.chargeFigures == scan.figures) return roundedPercent(scan.chargeNow, scan.chargeFull);
  return static_cast<BYTE>(std::floor(scan.percentSum / scan.figures + 0.5));
}

BYTE batteryFlag(const PowerScan& scan, BYTE percent) {
  if (scan.batteries == 0) return BATTERY_FLAG_NO_BATTERY;
  if (scan.figures == 0) return BATTERY_FLAG_UNKNOWN;
  if (percent < 5) return FLAG_LOW | FLAG_CRITICAL;
  if (percent < 33) return FLAG_LOW;
  return percent > 66 ? FLAG_HIGH : 0;
}

BYTE lineStatus(const PowerScan& scan) {
  if (scan.mainsOnline) return AC_LINE_ONLINE;
  return scan.mainsOffline ? AC_LINE_OFFLINE : AC_LINE_UNKNOWN;
}

}  // namespace

bool setDiskRoot(const char* path) { return setRootText(diskRootText, path, "/"); }

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
  // ext4 keeps blocks back for root: counted as free, they are space that an
  // ordinary user's writes fail on. A Windows volume has no such reserve, so
  // both free figures are what the user can write, as df's Avail column.
  putBytes(totalFreeBytes, blocksInBytes(figures.f_bavail, blockBytes));
  return TRUE;
}

BOOL GetSystemPowerStatus(LPSYSTEM_POWER_STATUS status) {
  if (status == nullptr) return FALSE;
  PowerScan scan{};
  scanPowerSupplies(scan);
  BYTE percent = combinedPercent(scan);
  status->ACLineStatus = lineStatus(scan);
  status->BatteryFlag = batteryFlag(scan, percent);
  status->BatteryLifePercent = percent;
  status->SystemStatusFlag = 0;
  status->BatteryLifeTime = BATTERY_LIFE_UNKNOWN;
  status->BatteryFullLifeTime = BATTERY_LIFE_UNKNOWN;
  return TRUE;
}
