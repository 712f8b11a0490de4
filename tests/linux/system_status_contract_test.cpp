// Memory, disk and power status against fixture /proc and /sys trees.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fixture_tree.h"
#include "platform/linux/readings/line_reader.h"
#include "platform/linux/readings/reading_sources.h"
#include "platform/system_status.h"

namespace {

constexpr unsigned long long GIB = 1ULL << 30;
constexpr unsigned long long MINUTE = 60ULL * 1000000000ULL;

unsigned long long fakeNanos = 0;
unsigned long long fakeClock() { return fakeNanos; }

class SystemStatus : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(setProcRoot(tree.path("proc").c_str()));
    ASSERT_TRUE(setSysRoot(tree.path("sys").c_str()));
    setMonotonicClock(fakeClock);
  }
  void TearDown() override {
    setProcRoot(nullptr);
    setSysRoot(nullptr);
    setDiskRoot(nullptr);
    setMonotonicClock(nullptr);
  }

  // The list of supplies is taken again a minute after it was last taken.
  SYSTEM_POWER_STATUS aMinuteLater() {
    fakeNanos += MINUTE;
    return power();
  }

  // A battery of the system with the given files.
  void battery(const std::string& name,
               const std::vector<std::pair<std::string, std::string>>& files) {
    supply(name, "Battery", "scope", "System");
    for (const auto& [file, value] : files) supply(name, "Battery", file.c_str(), value.c_str());
  }

  MEMORYSTATUSEX memory(BOOL expected) {
    MEMORYSTATUSEX status;
    std::memset(&status, 0x5A, sizeof status);
    status.dwLength = sizeof status;
    EXPECT_EQ(GlobalMemoryStatusEx(&status), expected);
    return status;
  }

  // A supply with its type and, unless file is empty, one more file.
  void supply(const std::string& name, const char* type, const char* file, const char* value) {
    tree.write("sys/class/power_supply/" + name + "/type", std::string(type) + "\n");
    if (*file != '\0')
      tree.write("sys/class/power_supply/" + name + "/" + file, std::string(value) + "\n");
  }

  SYSTEM_POWER_STATUS power() {
    SYSTEM_POWER_STATUS status{};
    EXPECT_EQ(GetSystemPowerStatus(&status), TRUE);
    EXPECT_EQ(status.BatteryLifeTime, BATTERY_LIFE_UNKNOWN);
    EXPECT_EQ(status.BatteryFullLifeTime, BATTERY_LIFE_UNKNOWN);
    return status;
  }

  FixtureTree tree;
};

TEST_F(SystemStatus, MemoryOfA24GiBMachineInExact64BitFigures) {
  tree.write("proc/meminfo",
             "MemTotal:       25165824 kB\nMemFree:         1048576 kB\n"
             "MemAvailable:   16777216 kB\nBuffers:          262144 kB\nCached:  4194304 kB\n"
             "SwapCached: 0 kB\nSwapTotal:       2097152 kB\nSwapFree:        1048576 kB\n"
             "HugePages_Total:       0\n");
  MEMORYSTATUSEX status = memory(TRUE);
  EXPECT_EQ(status.ullTotalPhys, 24 * GIB);
  EXPECT_EQ(status.ullAvailPhys, 16 * GIB);
  EXPECT_EQ(status.ullTotalPageFile, 26 * GIB);
  EXPECT_EQ(status.ullAvailPageFile, 17 * GIB);
  EXPECT_EQ(status.dwMemoryLoad, 33u);
  EXPECT_GT(status.ullTotalVirtual, 2 * GIB);
  EXPECT_EQ(status.ullAvailVirtual, status.ullTotalVirtual);
  EXPECT_EQ(status.ullAvailExtendedVirtual, 0u);
}

TEST_F(SystemStatus, MemoryWithoutMemAvailableOrWithOddLines) {
  // Before 3.14 the kernel had no MemAvailable: free, buffers and cache stand in.
  // The tail of an overlong line is not a line of its own.
  tree.write("proc/meminfo", std::string(LINE_BUFFER_BYTES, 'x') + "MemTotal: 8 kB\n" +
                                 "MemTotal: 4194304 kB\nMemFree: 524288 kB\nBuffers: 262144 kB\n" +
                                 "no colon\nCached: 262144 kB\nCached: 999 kB\nSwapFree: 4 kB\n" +
                                 "MemAvailable: 12x kB\n");
  MEMORYSTATUSEX status = memory(TRUE);
  EXPECT_EQ(status.ullAvailPhys, 1 * GIB);
  EXPECT_EQ(status.dwMemoryLoad, 75u);
  // No SwapTotal: the page file is memory alone.
  EXPECT_EQ(status.ullTotalPageFile, 4 * GIB);
  EXPECT_EQ(status.ullAvailPageFile, 1 * GIB + 4096);

  tree.write("proc/meminfo", "MemTotal: 1024 kB\nMemAvailable: 4096 kB\nSwapFree: 9 kB\n");
  status = memory(TRUE);
  EXPECT_EQ(status.ullAvailPhys, 1024u * 1024);
  EXPECT_EQ(status.ullAvailPageFile, 1024u * 1024);
  EXPECT_EQ(status.dwMemoryLoad, 0u);
}

TEST_F(SystemStatus, MemoryFailsWithoutATotalItCanTrust) {
  MEMORYSTATUSEX cleared{};
  cleared.dwLength = sizeof cleared;
  for (const char* text : {"", "MemFree: 1024 kB\n", "MemTotal: 0 kB\n", "MemTotal: lots kB\n",
                           "MemTotal: 12", "MemTotal: 99999999999999999999 kB\n",
                           "MemTotal: 18014398509481984 kB\n", "MemTotal: 1024 MB\n"}) {
    tree.write("proc/meminfo", text);
    MEMORYSTATUSEX status = memory(FALSE);
    EXPECT_EQ(std::memcmp(&status, &cleared, sizeof status), 0) << text;
  }
  tree.remove("proc");
  ASSERT_TRUE(setProcRoot(tree.path("proc").c_str()));  // the kept file goes with the old root
  memory(FALSE);
  EXPECT_EQ(GlobalMemoryStatusEx(nullptr), FALSE);
  MEMORYSTATUSEX shortRecord{};
  shortRecord.dwLength = 32;
  EXPECT_EQ(GlobalMemoryStatusEx(&shortRecord), FALSE);
}

TEST_F(SystemStatus, DriveCIsTheDiskRootAndOtherDirectoriesAreLinuxPaths) {
  ASSERT_TRUE(setDiskRoot(tree.root.c_str()));
  for (const char* drive : {"c:\\", "C:\\", "c:", "C:/", tree.root.c_str()}) {
    // Free space may move under us; take a reading that statvfs agrees with on both sides.
    ULARGE_INTEGER callerFree{}, total{}, totalFree{};
    struct statvfs before {
    }, after{};
    for (int attempt = 0; attempt < 5; ++attempt) {
      ASSERT_EQ(statvfs(tree.root.c_str(), &before), 0);
      ASSERT_EQ(GetDiskFreeSpaceExA(drive, &callerFree, &total, &totalFree), TRUE) << drive;
      ASSERT_EQ(statvfs(tree.root.c_str(), &after), 0);
      if (before.f_bfree == after.f_bfree && before.f_bavail == after.f_bavail) break;
    }
    EXPECT_EQ(total.QuadPart, static_cast<ULONGLONG>(after.f_blocks) * after.f_frsize);
    // The blocks ext4 keeps back for root are not free to the user: like df's
    // Avail, both free figures leave them out.
    EXPECT_EQ(totalFree.QuadPart, static_cast<ULONGLONG>(after.f_bavail) * after.f_frsize);
    EXPECT_EQ(callerFree.QuadPart, static_cast<ULONGLONG>(after.f_bavail) * after.f_frsize);
  }
  EXPECT_EQ(GetDiskFreeSpaceExA("c:\\", nullptr, nullptr, nullptr), TRUE);

  ULARGE_INTEGER untouched{};
  untouched.QuadPart = 12345;
  ASSERT_TRUE(setDiskRoot(tree.path("missing").c_str()));
  for (const char* directory : {"c:\\", "d:\\", "/no/such/dir"}) {
    EXPECT_EQ(GetDiskFreeSpaceExA(directory, &untouched, &untouched, &untouched), FALSE);
    EXPECT_EQ(untouched.QuadPart, 12345u);
  }
  EXPECT_FALSE(setDiskRoot(""));
  EXPECT_FALSE(setDiskRoot(std::string(300, 'd').c_str()));
}

TEST_F(SystemStatus, NoBatteryUnlessTheSystemHasOne) {
  SYSTEM_POWER_STATUS status = power();  // no power_supply directory at all
  EXPECT_EQ(status.BatteryLifePercent, BATTERY_PERCENTAGE_UNKNOWN);
  EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_NO_BATTERY);
  EXPECT_EQ(status.ACLineStatus, AC_LINE_UNKNOWN);

  supply("hidpp_battery_0", "Battery", "capacity", "10");
  supply("hidpp_battery_0", "Battery", "scope", "Device");
  supply("AC", "Mains", "online", "1");
  status = aMinuteLater();
  EXPECT_EQ(status.BatteryLifePercent, BATTERY_PERCENTAGE_UNKNOWN);
  EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_NO_BATTERY);
  EXPECT_EQ(status.ACLineStatus, AC_LINE_ONLINE);
  EXPECT_EQ(GetSystemPowerStatus(nullptr), FALSE);
}

// A full 23 Wh battery beside a 72 Wh one at 10 % holds 31.8 % of the energy
// the two hold when full, not the 55 % of the two percentages averaged.
TEST_F(SystemStatus, BatteryChargeIsTheEnergyLeftOverTheEnergyWhenFull) {
  battery("BAT0", {{"energy_now", "23000000"}, {"energy_full", "23000000"}, {"capacity", "100"}});
  battery("BAT1", {{"energy_now", "7200000"}, {"energy_full", "72000000"}, {"capacity", "10"}});
  supply("ADP1", "Mains", "online", "0");
  SYSTEM_POWER_STATUS status = power();
  EXPECT_EQ(status.BatteryLifePercent, 32);
  EXPECT_EQ(status.BatteryFlag, 2);
  EXPECT_EQ(status.ACLineStatus, AC_LINE_OFFLINE);
  // Charge where a battery counts in charge; half a percent rounds up; a
  // reading past full is full.
  const std::pair<std::vector<std::pair<std::string, std::string>>, BYTE> cases[] = {
      {{{"charge_now", "125000"}, {"charge_full", "1000000"}}, 13},
      {{{"charge_now", "4000000"}, {"charge_full", "4000000"}}, 83},
      {{{"charge_now", "4100000"}, {"charge_full", "4000000"}}, 83},
  };
  tree.remove("sys/class/power_supply/BAT1");
  for (const auto& [files, percent] : cases) {
    tree.remove("sys/class/power_supply/BAT0");
    tree.remove("sys/class/power_supply/BAT1");
    battery("BAT0", files);
    if (percent != 13) battery("BAT1", {{"charge_now", "1000000"}, {"charge_full", "2000000"}});
    EXPECT_EQ(aMinuteLater().BatteryLifePercent, percent) << files[0].second;
  }
}

TEST_F(SystemStatus, CapacityCountsOnlyWhereABatteryHasNoPairOfFigures) {
  battery("BAT0", {{"capacity", "57"}});
  EXPECT_EQ(power().BatteryLifePercent, 57);
  // Without a common unit each battery counts alike; a figure outside 0..100
  // is no figure, and the other battery's stands.
  const std::pair<const char*, BYTE> cases[] = {{"60", 59},   {"150", 57}, {"-4", 57},
                                                {"lots", 57}, {"", 57},    {"12 34", 57}};
  for (const auto& [second, percent] : cases) {
    tree.remove("sys/class/power_supply/BAT1");
    battery("BAT1", {{"capacity", second}});
    EXPECT_EQ(aMinuteLater().BatteryLifePercent, percent) << second;
  }
  tree.remove("sys/class/power_supply/BAT1");
  battery("BAT1", {{"energy_now", "50"}, {"energy_full", "100"}});
  EXPECT_EQ(aMinuteLater().BatteryLifePercent, 54);  // (57 + 50) / 2, half up
  supply("BAT0", "Battery", "capacity", "x");
  supply("BAT1", "Battery", "energy_full", "0");
  SYSTEM_POWER_STATUS status = power();
  EXPECT_EQ(status.BatteryLifePercent, BATTERY_PERCENTAGE_UNKNOWN);
  EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_UNKNOWN);
}

// The listing is taken once a minute; between, only the kept files are read.
// A file that cannot be read any more has the list taken again at once.
TEST_F(SystemStatus, SuppliesAreListedAgainAfterAMinuteOrWhenAReadFails) {
  battery("BAT0", {{"energy_now", "30"}, {"energy_full", "100"}});
  EXPECT_EQ(power().BatteryLifePercent, 30);
  battery("BAT1", {{"energy_now", "100"}, {"energy_full", "100"}});
  supply("BAT0", "Battery", "energy_now", "40");
  EXPECT_EQ(power().BatteryLifePercent, 40);
  EXPECT_EQ(aMinuteLater().BatteryLifePercent, 70);
  // A battery taken out: its kept file stops giving a figure it can read
  // (here an answer longer than any figure), and the list is taken again.
  const std::string unreadable(64, '9');
  supply("BAT1", "Battery", "energy_now", unreadable.c_str());
  tree.remove("sys/class/power_supply/BAT1");
  EXPECT_EQ(power().BatteryLifePercent, 40);
  supply("BAT0", "Battery", "energy_now", unreadable.c_str());
  tree.remove("sys/class/power_supply/BAT0");
  EXPECT_EQ(power().BatteryFlag, BATTERY_FLAG_NO_BATTERY);
  // A battery that never answers counts as a battery without a figure; an
  // empty bay is no battery at all.
  battery("BAT0", {{"energy_now", unreadable}, {"energy_full", "100"}});
  battery("BAT1", {{"energy_now", "20"}, {"energy_full", "100"}, {"present", "0"}});
  SYSTEM_POWER_STATUS status = aMinuteLater();
  EXPECT_EQ(status.BatteryFlag, BATTERY_FLAG_UNKNOWN);
  EXPECT_EQ(status.BatteryLifePercent, BATTERY_PERCENTAGE_UNKNOWN);
  EXPECT_EQ(power().BatteryFlag, BATTERY_FLAG_UNKNOWN);
}

TEST_F(SystemStatus, EverySupplyOfALongListingIsSeen) {
  // Real entries are symbolic links; this many take several directory reads.
  tree.write("devices/BAT0/type", "Battery\n");
  tree.write("devices/BAT0/capacity", "40\n");
  supply("BAT1", "Battery", "capacity", "60");
  for (int i = 0; i < 300; ++i)
    supply("ucsi-source-psy-USBC000:00" + std::to_string(i) + std::string(30, 'p'), "USB", "", "");
  ASSERT_EQ(
      symlink(tree.path("devices/BAT0").c_str(), tree.path("sys/class/power_supply/BAT0").c_str()),
      0);
  EXPECT_EQ(power().BatteryLifePercent, 50);
}

}  // namespace
