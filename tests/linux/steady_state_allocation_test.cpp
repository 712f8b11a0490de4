// The calls the monitor makes every second must not touch the heap once
// running; the counter sees allocations made inside the C library too.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "fixture_tree.h"
#include "platform/linux/readings/local_time.h"
#include "platform/linux/readings/reading_sources.h"
#include "platform/perf_counters.h"
#include "platform/system_status.h"
#include "support/allocation_counter.h"

namespace {

const char* const PATHS[] = {"\\Processor(_Total)\\% Processor Time",
                             "\\Network Interface(*)\\Bytes Received/sec",
                             "\\Network Interface(*)\\Bytes Sent/sec"};

// One status line's worth of platform calls, the way the monitor makes them.
void oneRefresh(PDH_HQUERY* queries, PDH_HCOUNTER* counters) {
  const std::time_t now = std::time(nullptr);
  EXPECT_NE(std::localtime(&now), nullptr);
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatusEx(&memory);
  ULARGE_INTEGER freeBytes{};
  GetDiskFreeSpaceExA("c:\\", nullptr, nullptr, &freeBytes);
  SYSTEM_POWER_STATUS power{};
  GetSystemPowerStatus(&power);
  for (int i = 0; i < 3; ++i) {
    PDH_FMT_COUNTERVALUE_ITEM_A items[20];
    DWORD size = sizeof items;
    DWORD count = 20;
    PdhCollectQueryData(queries[i]);
    PdhGetFormattedCounterArrayA(counters[i], PDH_FMT_LONG, &size, &count, items);
  }
  NUMBERFMTA format = {0, 0, 3, const_cast<char*>(","), const_cast<char*>(","), 0};
  char label[30];
  GetNumberFormatA(0, 0, "25769803776", &format, label, sizeof label);
}

std::size_t allocationsOverManyRefreshes() {
  settleLocalTimeZone();
  PDH_HQUERY queries[3] = {};
  PDH_HCOUNTER counters[3] = {};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(PdhOpenQueryA(nullptr, 0, &queries[i]), ERROR_SUCCESS);
    EXPECT_EQ(PdhAddCounterA(queries[i], PATHS[i], 0, &counters[i]), ERROR_SUCCESS);
  }
  oneRefresh(queries, counters);
  startCountingAllocations();
  for (int round = 0; round < 50; ++round) oneRefresh(queries, counters);
  const std::size_t allocations = stopCountingAllocations();
  for (PDH_HQUERY query : queries) PdhCloseQuery(query);
  return allocations;
}

TEST(SystemSteadyState, RefreshingAllocatesNothingOnTheLiveSystem) {
  if (!KIVO_COUNTS_ALLOCATIONS) GTEST_SKIP() << "a sanitizer owns malloc";
  EXPECT_EQ(allocationsOverManyRefreshes(), 0u);
}

// A /proc and /sys with long files, many interfaces and the given number of batteries.
std::size_t allocationsOnFixtures(int batteries) {
  FixtureTree tree;
  tree.write("proc/stat", "intr " + std::string(20000, '1') + "\ncpu  1 2 3 4 5 6 7 8 0 0\n");
  std::string netDev = "Inter-|   Receive |  Transmit\n face |bytes |bytes\n";
  for (int i = 0; i < 80; ++i) netDev += "veth" + std::to_string(i) + ": 1 2 3 4 5 6 7 8 9\n";
  for (int i = 0; i < 19; ++i) {
    netDev += "eth" + std::to_string(i) + ": 1 2 3 4 5 6 7 8 9\n";
    tree.write("sys/class/net/eth" + std::to_string(i) + "/device/uevent", "");
  }
  tree.write("proc/net/dev", netDev);
  tree.write("proc/meminfo", "MemTotal: 25165824 kB\nMemAvailable: 1024 kB\n");
  for (int i = 0; i < batteries; ++i) {
    const std::string battery = "sys/class/power_supply/BAT" + std::to_string(i);
    tree.write(battery + "/type", "Battery\n");
    tree.write(battery + "/capacity", "50\n");
    tree.write(battery + "/energy_now", "5000000\n");
    tree.write(battery + "/energy_full", "9000000\n");
  }
  tree.write("sys/class/power_supply/AC/type", "Mains\n");
  tree.write("sys/class/power_supply/AC/online", "1\n");
  EXPECT_TRUE(setProcRoot(tree.path("proc").c_str()));
  EXPECT_TRUE(setSysRoot(tree.path("sys").c_str()));
  EXPECT_TRUE(setDiskRoot(tree.root.c_str()));
  const std::size_t allocations = allocationsOverManyRefreshes();
  setProcRoot(nullptr);
  setSysRoot(nullptr);
  setDiskRoot(nullptr);
  return allocations;
}

TEST(SystemSteadyState, RefreshingAllocatesNothingOnBusyFixtures) {
  if (!KIVO_COUNTS_ALLOCATIONS) GTEST_SKIP() << "a sanitizer owns malloc";
  EXPECT_EQ(allocationsOnFixtures(120), 0u);  // more supplies than are kept open
  EXPECT_EQ(allocationsOnFixtures(2), 0u);
}

// Shows the counting itself works, so a zero above means something.
TEST(SystemSteadyState, CountingSeesTheCLibrarysOwnAllocations) {
  if (!KIVO_COUNTS_ALLOCATIONS) GTEST_SKIP() << "a sanitizer owns malloc";
  startCountingAllocations();
  std::FILE* file = std::fopen("/proc/self/stat", "r");
  const std::size_t allocations = stopCountingAllocations();
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_GT(allocations, 0u);
}

}  // namespace
