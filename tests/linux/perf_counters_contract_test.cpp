// The PDH calls against fixture /proc trees and a hand-driven clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fixture_tree.h"
#include "platform/linux/readings/reading_sources.h"
#include "platform/perf_counters.h"

namespace {

const char* const CPU = "\\Processor(_Total)\\% Processor Time";
const char* const RECEIVED = "\\Network Interface(*)\\Bytes Received/sec";
const char* const SENT = "\\Network Interface(*)\\Bytes Sent/sec";
constexpr unsigned long long SECOND = 1000000000ULL;

unsigned long long fakeNanos = 0;
unsigned long long fakeClock() { return fakeNanos; }

using Instances = std::vector<std::pair<std::string, LONG>>;
using Traffic =
    std::vector<std::pair<std::string, std::pair<unsigned long long, unsigned long long>>>;

// user nice system idle iowait irq softirq steal, or an old kernel's first four.
std::string statText(const std::vector<unsigned long long>& ticks) {
  std::string line = "cpu ";
  for (unsigned long long tick : ticks) line += " " + std::to_string(tick);
  if (ticks.size() == 8) line += " 0 0";  // guest times
  return line + "\ncpu0 1 2 3 4 5 6 7 8 0 0\nintr 1234 0 0\n";
}

std::string netDevText(const Traffic& interfaces) {
  std::string text =
      "Inter-|   Receive                                                |  Transmit\n"
      " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
      "drop fifo colls carrier compressed\n";
  for (const auto& [name, bytes] : interfaces)
    text += "  " + name + ": " + std::to_string(bytes.first) + " 7 0 0 0 0 0 0 " +
            std::to_string(bytes.second) + " 9 0 0 0 0 0 0\n";
  return text;
}

// prefix + "a", prefix + "b", ...; past "z" a number keeps the names apart.
Traffic quietInterfaces(int count, const std::string& prefix) {
  Traffic interfaces;
  for (int i = 0; i < count; ++i)
    interfaces.push_back({prefix + static_cast<char>('a' + i % 26) +
                              (i >= 26 ? std::to_string(i / 26) : std::string()),
                          {0, 0}});
  return interfaces;
}

class PdhContract : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(setProcRoot(tree.path("proc").c_str()));
    ASSERT_TRUE(setSysRoot(tree.path("sys").c_str()));
    setMonotonicClock(fakeClock);
    fakeNanos = 7 * SECOND;
    queriesBefore = liveQueryCount();
    writeStat({100, 0, 50, 800, 50, 0, 0, 0});
    writeNetDev({{"lo", {5000, 5000}}, {"eth0", {1000, 2000}}});
  }
  void TearDown() override {
    for (PDH_HQUERY query : queries) EXPECT_EQ(PdhCloseQuery(query), ERROR_SUCCESS);
    EXPECT_EQ(liveQueryCount(), queriesBefore);
    setProcRoot(nullptr);
    setSysRoot(nullptr);
    setMonotonicClock(nullptr);
  }

  void writeStat(const std::vector<unsigned long long>& ticks) {
    tree.write("proc/stat", statText(ticks));
  }
  // Every interface but lo is backed by a device unless it is named in virtuals.
  void writeNetDev(const Traffic& interfaces, const std::vector<std::string>& virtuals = {}) {
    for (const auto& [name, bytes] : interfaces) {
      bool isVirtual =
          name == "lo" || std::find(virtuals.begin(), virtuals.end(), name) != virtuals.end();
      if (isVirtual)
        tree.remove("sys/class/net/" + name + "/device");
      else
        tree.write("sys/class/net/" + name + "/device/uevent", "");
    }
    tree.write("proc/net/dev", netDevText(interfaces));
  }

  // A new query holding the counters of the given paths.
  std::vector<PDH_HCOUNTER> counters(std::vector<const char*> paths, PDH_HQUERY& query) {
    EXPECT_EQ(PdhOpenQueryA(nullptr, 0, &query), ERROR_SUCCESS);
    queries.push_back(query);
    std::vector<PDH_HCOUNTER> added(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
      EXPECT_EQ(PdhAddCounterA(query, paths[i], 0, &added[i]), ERROR_SUCCESS);
    return added;
  }

  // Formats as the probe does, into 480 bytes unless told otherwise.
  Instances read(PDH_HCOUNTER counter, PDH_STATUS expected = ERROR_SUCCESS, DWORD bytes = 480) {
    std::memset(area, 0xAB, sizeof area);
    DWORD count = 20;
    neededBytes = bytes;
    PDH_STATUS status =
        PdhGetFormattedCounterArrayA(counter, PDH_FMT_LONG, &neededBytes, &count, area);
    EXPECT_EQ(status, expected);
    Instances instances;
    const char* names = reinterpret_cast<const char*>(area + count);
    for (DWORD i = 0; status == ERROR_SUCCESS && i < count && i < 200; ++i) {
      EXPECT_TRUE(area[i].szName >= names && area[i].szName < names + neededBytes);
      instances.push_back({area[i].szName, area[i].FmtValue.longValue});
    }
    return instances;
  }

  bool areaUntouched() const {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(area);
    for (std::size_t i = 0; i < sizeof area; ++i)
      if (bytes[i] != 0xAB) return false;
    return true;
  }

  FixtureTree tree;
  std::vector<PDH_HQUERY> queries;
  int queriesBefore = 0;
  PDH_FMT_COUNTERVALUE_ITEM_A area[200];
  DWORD neededBytes = 0;
};

TEST_F(PdhContract, AcceptsTheThreePathsInAnyCaseAndNothingElse) {
  PDH_HQUERY query = nullptr;
  counters({CPU, RECEIVED, SENT, "\\PROCESSOR(_total)\\% processor time",
            "\\network interface(*)\\bytes sent/SEC"},
           query);
  for (const char* path : {"", "Processor(_Total)\\% Processor Time", "\\Memory\\Available Bytes",
                           "\\\\host\\Processor(_Total)\\% Processor Time", "\\Processor(_Total",
                           "\\Processor(0)\\% Processor Time", "\\Processor(_Total)\\% Idle Time",
                           "\\Network Interface(eth0)\\Bytes Sent/sec", "\\Processor\\x\\y"}) {
    PDH_HCOUNTER counter = &query;
    EXPECT_NE(PdhAddCounterA(query, path, 0, &counter), ERROR_SUCCESS) << path;
    EXPECT_EQ(counter, nullptr) << path;
  }
}

TEST_F(PdhContract, RefusesHandlesAndArgumentsItCannotUse) {
  PDH_HQUERY query = nullptr;
  PDH_HCOUNTER counter = counters({CPU}, query)[0];
  int stranger = 0;
  DWORD size = 480;
  DWORD count = 20;
  EXPECT_EQ(PdhCollectQueryData(nullptr), PDH_INVALID_HANDLE);
  EXPECT_EQ(PdhCollectQueryData(&stranger), PDH_INVALID_HANDLE);
  read(&stranger, PDH_INVALID_HANDLE);
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(PdhGetFormattedCounterArrayA(counter, PDH_FMT_LONG, nullptr, &count, area),
            PDH_INVALID_ARGUMENT);
  EXPECT_EQ(PdhGetFormattedCounterArrayA(counter, PDH_FMT_DOUBLE, &size, &count, area),
            PDH_INVALID_ARGUMENT);
  EXPECT_EQ(PdhRemoveCounter(counter), ERROR_SUCCESS);
  EXPECT_EQ(PdhRemoveCounter(counter), PDH_INVALID_HANDLE);
  read(counter, PDH_INVALID_HANDLE);
  EXPECT_EQ(PdhCollectQueryData(query), PDH_NO_DATA);  // nothing left to collect
}

TEST_F(PdhContract, FormattingWaitsForACollectionAndTheFirstOneGivesZero) {
  PDH_HQUERY query = nullptr;
  PDH_HCOUNTER cpu = counters({CPU}, query)[0];
  read(cpu, PDH_INVALID_DATA);
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(cpu), (Instances{{"_Total", 0}}));
  // A counter that joins later has nothing until the query collects again.
  PDH_HCOUNTER received = nullptr;
  ASSERT_EQ(PdhAddCounterA(query, RECEIVED, 0, &received), ERROR_SUCCESS);
  read(received, PDH_INVALID_DATA);
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(received), (Instances{{"eth0", 0}}));
}

TEST_F(PdhContract, ProcessorLoadCountsIowaitAsIdleAndStaysWithinRange) {
  const std::pair<std::vector<unsigned long long>, LONG> cases[] = {
      {{130, 0, 60, 840, 70, 0, 0, 0}, 40},   // 40 busy of 100, iowait idle
      {{101, 0, 50, 801, 51, 0, 0, 0}, 33},   // 1 of 3 rounds down
      {{101, 1, 50, 801, 50, 0, 0, 0}, 67},   // 2 of 3 rounds up
      {{101, 0, 50, 805, 52, 0, 0, 0}, 13},   // 1 of 8 is 12.5: half rounds up
      {{100, 0, 50, 810, 50, 1, 1, 8}, 50},   // irq, softirq and steal are work
      {{40, 0, 50, 860, 60, 0, 0, 0}, 0},     // user went back: no work left
      {{150, 0, 60, 780, 50, 0, 0, 0}, 100},  // idle went back
      {{100, 0, 50, 700, 50, 0, 0, 0}, 0},    // the whole count went back
      {{100, 0, 100, 900}, 50},               // an old kernel's four fields
  };
  for (const auto& [next, load] : cases) {
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER cpu = counters({CPU}, query)[0];
    writeStat({100, 0, 50, 800, 50, 0, 0, 0});
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    writeStat(next);
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    EXPECT_EQ(read(cpu), (Instances{{"_Total", load}})) << statText(next);
  }
}

TEST_F(PdhContract, NetworkRatesUseTheRealIntervalOfEachQuery) {
  PDH_HQUERY query = nullptr;
  PDH_HQUERY other = nullptr;
  std::vector<PDH_HCOUNTER> network = counters({RECEIVED, SENT}, query);
  counters({RECEIVED}, other);
  writeNetDev({{"lo", {0, 0}}, {"eth0", {1000, 9000}}, {"wlan0", {500, 100}}, {"gone", {0, 0}}});
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  writeNetDev({{"lo", {99999, 99999}},
               {"eth0", {3500, 9625}},
               {"wlan0", {500, 50}},
               {"new0", {4000, 4000}}});
  fakeNanos += 1 * SECOND;
  ASSERT_EQ(PdhCollectQueryData(other), ERROR_SUCCESS);  // moves its own interval only
  fakeNanos += 1500 * 1000000ULL;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  // Backwards counters and interfaces that just appeared count nothing.
  EXPECT_EQ(read(network[0]), (Instances{{"eth0", 1000}, {"wlan0", 0}, {"new0", 0}}));
  EXPECT_EQ(read(network[1]), (Instances{{"eth0", 250}, {"wlan0", 0}, {"new0", 0}}));

  // Within the same millisecond the last reading is shared, and there is no interval.
  writeNetDev({{"eth0", {3500 + 5000000000000ULL, 9626}}});
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(network[0]), (Instances{{"eth0", 0}, {"wlan0", 0}, {"new0", 0}}));
  writeNetDev({{"eth0", {3500 + 10000000000000ULL, 9627}}});
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(network[0]), (Instances{{"eth0", 2147483647}}));
}

// Bytes that cross a bridge, a veth pair, a tunnel or a bond were already
// counted on the device they ride on.
TEST_F(PdhContract, OnlyDeviceBackedInterfacesCountAndEachOnce) {
  PDH_HQUERY query = nullptr;
  std::vector<PDH_HCOUNTER> network = counters({RECEIVED, SENT}, query);
  const std::vector<std::string> virtuals = {"docker0", "br0",  "veth1a2b", "tun0",  "wg0",
                                             "bond0",   "ifb0", "dummy0",   "eth0.7"};
  Traffic before = {{"lo", {0, 0}}, {"eth0", {1000, 2000}}, {"wlan0", {0, 0}}};
  for (const std::string& name : virtuals) before.push_back({name, {0, 0}});
  writeNetDev(before, virtuals);
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  Traffic after = {{"lo", {9000, 9000}}, {"eth0", {103400, 2000}}, {"wlan0", {0, 51200}}};
  for (const std::string& name : virtuals) after.push_back({name, {777777, 888888}});
  writeNetDev(after, virtuals);
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(network[0]), (Instances{{"eth0", 102400}, {"wlan0", 0}}));
  EXPECT_EQ(read(network[1]), (Instances{{"eth0", 0}, {"wlan0", 51200}}));
}

// In a container no interface has a device: the default route's do the counting.
TEST_F(PdhContract, WithoutDevicesTheDefaultRouteCounts) {
  const std::string routeHeader =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  const std::string ipv4 = routeHeader +
                           "eth1\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                           "eth0\t00000000\t010011AC\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
  const std::string zeros(32, '0');
  const std::string ipv6 =
      "fd000000000000000000000000000000 40 " + zeros + " 00 " + zeros +
      " 00000100 00000001 00000000 00000001     eth0\n" + zeros + " 00 " + zeros + " 00 " + zeros +
      " ffffffff 00000001 00000000 00200200       lo\n" + zeros + " 00 " + zeros + " 00 " +
      "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     eth1\n";
  const std::vector<std::string> all = {"eth0", "eth1", "veth9"};
  const std::pair<std::string, std::string> tables[] = {
      {ipv4, ipv6},  // IPv4 leads out through eth0
      {routeHeader,
       ipv6},  // IPv6 alone leads out, through eth1; lo's unreachable default is not a way out
      {routeHeader, ""},  // no way out: nothing is outside traffic
  };
  const Instances expected[] = {{{"eth0", 1000}}, {{"eth1", 3000}}, {}};
  for (int i = 0; i < 3; ++i) {
    tree.write("proc/net/route", tables[i].first);
    tree.write("proc/net/ipv6_route", tables[i].second);
    ASSERT_TRUE(setProcRoot(tree.path("proc").c_str()));  // a root set anew is looked at afresh
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER received = counters({RECEIVED}, query)[0];
    writeNetDev({{"lo", {0, 0}}, {"eth0", {0, 0}}, {"eth1", {0, 0}}, {"veth9", {0, 0}}}, all);
    fakeNanos += SECOND;
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    writeNetDev({{"lo", {5, 5}}, {"eth0", {1000, 0}}, {"eth1", {3000, 0}}, {"veth9", {7, 0}}}, all);
    fakeNanos += SECOND;
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    EXPECT_EQ(read(received), expected[i]) << i;
  }
  // The default route moves to eth1 with no interface coming or going: the
  // routes are looked at again after a minute.
  PDH_HQUERY query = nullptr;
  PDH_HCOUNTER received = counters({RECEIVED}, query)[0];
  tree.write("proc/net/route", ipv4);
  tree.write("proc/net/ipv6_route", ipv6);
  ASSERT_TRUE(setProcRoot(tree.path("proc").c_str()));
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  tree.write("proc/net/route", routeHeader);
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(received), (Instances{{"eth0", 0}}));
  fakeNanos += 60 * SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(received), (Instances{{"eth1", 0}}));
}

// A USB modem plugged in, a container started: the new set of names is sorted
// out at once, and a new interface's first interval counts nothing.
TEST_F(PdhContract, InterfacesThatAppearAreSortedOutAtTheNextCollection) {
  PDH_HQUERY query = nullptr;
  PDH_HCOUNTER received = counters({RECEIVED}, query)[0];
  writeNetDev({{"lo", {0, 0}}, {"eth0", {0, 0}}});
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  writeNetDev({{"lo", {0, 0}}, {"eth0", {500, 0}}, {"wwan0", {8000, 0}}, {"veth3", {9000, 0}}},
              {"veth3"});
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(received), (Instances{{"eth0", 500}, {"wwan0", 0}}));
  writeNetDev({{"lo", {0, 0}}, {"eth0", {500, 0}}, {"wwan0", {9000, 0}}, {"veth3", {19000, 0}}},
              {"veth3"});
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(received), (Instances{{"eth0", 0}, {"wwan0", 1000}}));
  // Unplugged again.
  writeNetDev({{"lo", {0, 0}}, {"eth0", {700, 0}}});
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(received), (Instances{{"eth0", 200}}));
}

// Sixty containers' veth ends beside the one real interface: far more names
// than the probe's area holds, yet the answer fits.
TEST_F(PdhContract, SixtyVethInterfacesLeaveTheDevicesRate) {
  PDH_HQUERY query = nullptr;
  std::vector<PDH_HCOUNTER> network = counters({RECEIVED, SENT}, query);
  Traffic interfaces = quietInterfaces(60, "veth");
  std::vector<std::string> virtuals;
  for (const auto& entry : interfaces) virtuals.push_back(entry.first);
  interfaces.push_back({"docker0", {0, 0}});
  virtuals.push_back("docker0");
  interfaces.push_back({"enp3s0", {0, 0}});
  writeNetDev(interfaces, virtuals);
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  for (auto& entry : interfaces) entry.second = {123456789, 987654321};
  interfaces.back().second = {204800, 4096};
  writeNetDev(interfaces, virtuals);
  fakeNanos += 2 * SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(network[0]), (Instances{{"enp3s0", 102400}}));
  EXPECT_EQ(read(network[1]), (Instances{{"enp3s0", 2048}}));
}

TEST_F(PdhContract, AnswerMustFitTheCallersAreaOrNothingIsWritten) {
  PDH_HQUERY query = nullptr;
  PDH_HCOUNTER received = counters({RECEIVED}, query)[0];
  // 17 records and 72 bytes of names fill the 480 bytes exactly; one more byte does not fit.
  Traffic interfaces = quietInterfaces(16, "e1");
  for (const char* last : {"eth1234", "eth12345"}) {
    interfaces.resize(16);
    interfaces.push_back({last, {0, 0}});
    writeNetDev(interfaces);
    fakeNanos += SECOND;
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    read(received, std::strlen(last) == 7 ? ERROR_SUCCESS : PDH_MORE_DATA);
    EXPECT_EQ(neededBytes, 473u + std::strlen(last));
  }
  EXPECT_TRUE(areaUntouched());
  EXPECT_EQ(read(received, ERROR_SUCCESS, neededBytes).size(), 17u);

  // One-letter names: 18 fit, 19 need 494 bytes, and 20 leave no room for any name.
  for (auto [count, fits] : {std::pair{18, true}, {19, false}, {20, false}}) {
    writeNetDev(quietInterfaces(count, ""));
    fakeNanos += SECOND;
    ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
    read(received, fits ? ERROR_SUCCESS : PDH_MORE_DATA);
    EXPECT_EQ(areaUntouched(), !fits) << count;
  }
  // Past the interfaces it tracks, no area is large enough.
  writeNetDev(quietInterfaces(65, "veth"));
  fakeNanos += SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  read(received, PDH_MEMORY_ALLOCATION_FAILURE, sizeof area);
  EXPECT_TRUE(areaUntouched());
}

TEST_F(PdhContract, UnreadableSourcesFailTheCollectionAndKeepTheLastTwo) {
  const std::string longLine(9000, '7');
  const std::string headers = netDevText({});
  const std::pair<const char*, std::string> cases[] = {
      {"proc/stat", ""},
      {"proc/stat", "cpu0 1 2 3 4\nintr 5\n"},
      {"proc/stat", "cpu  10 20 30\n"},
      {"proc/stat", "cpu  10 20 x 40\n"},
      {"proc/stat", "cpu  18446744073709551615 1 0 0\n"},
      {"proc/stat", "cpu  99999999999999999999 0 0 0\n"},
      {"proc/stat", "cpu  " + longLine + "\n"},
      {"proc/net/dev", ""},
      {"proc/net/dev", "Inter-|   Receive\n"},
      {"proc/net/dev", "garbage\nmore garbage\n"},
      {"proc/net/dev", headers + "eth0 1 2 3 4 5 6 7 8 9\n"},
      {"proc/net/dev", headers + "eth0: 1 2 3 4 5 6 7 8\n"},
      {"proc/net/dev", headers + "averyveryverylongname: 1 2 3 4 5 6 7 8 9\n"},
      {"proc/net/dev", headers + "eth0: " + longLine + " 1 2 3 4 5 6 7 8\n"},
  };
  PDH_HQUERY query = nullptr;
  std::vector<PDH_HCOUNTER> both = counters({CPU, RECEIVED}, query);
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  const std::string goodStat = statText({130, 0, 60, 840, 70, 0, 0, 0});
  const std::string goodNetDev = netDevText({{"eth0", {3000, 0}}});
  writeNetDev({{"eth0", {0, 0}}});
  tree.write("proc/stat", goodStat);
  tree.write("proc/net/dev", goodNetDev);
  fakeNanos += 2 * SECOND;
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  for (const auto& [file, text] : cases) {
    tree.write(file, text);
    fakeNanos += SECOND;
    EXPECT_NE(PdhCollectQueryData(query), ERROR_SUCCESS) << file << ": " << text.substr(0, 80);
    EXPECT_EQ(read(both[0]), (Instances{{"_Total", 40}}));
    EXPECT_EQ(read(both[1]), (Instances{{"eth0", 1000}}));
    tree.write("proc/stat", goodStat);
    tree.write("proc/net/dev", goodNetDev);
  }
  // Files read every second stay open: a vanished one is missed once its root is set again.
  tree.remove("proc");
  ASSERT_TRUE(setProcRoot(tree.path("proc").c_str()));
  EXPECT_NE(PdhCollectQueryData(query), ERROR_SUCCESS);

  // Headers alone are a machine with no interfaces; long lines we skip are harmless.
  tree.write("proc/net/dev", netDevText({{"lo", {1, 1}}}) + "\n");
  tree.write("proc/stat", "intr " + longLine + "\n" + goodStat);
  ASSERT_EQ(PdhCollectQueryData(query), ERROR_SUCCESS);
  EXPECT_EQ(read(both[0]), (Instances{{"_Total", 0}}));
  EXPECT_TRUE(read(both[1]).empty());
}

}  // namespace
