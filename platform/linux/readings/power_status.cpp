// Mains and battery from /sys/class/power_supply.
#include "platform/system_status.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "platform/linux/readings/line_reader.h"
#include "platform/linux/readings/reading_clock.h"
#include "platform/linux/readings/reading_roots.h"

namespace {

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
