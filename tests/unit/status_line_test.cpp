#include "measure/status_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fakes/fakes.h"
#include "measure/counter_probe.h"

namespace {

constexpr ULONGLONG MB = 1048576;
constexpr ULONGLONG GIB = 1024 * MB;
constexpr std::time_t DECEMBER_6 = 1765022400;  // 2025-12-06 12:00 UTC
constexpr std::time_t JANUARY_5 = 1767614400;   // 2026-01-05 12:00 UTC

class StatusLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    fake::resetPdh();
    fake::resetHost();
    fake::host().now = DECEMBER_6;
    setMemoryInUse(805306368);
    fake::host().totalFreeBytes = 10240 * MB;
    setRates(1536, 256);
    setCpu(7);
  }

  static void setMemoryInUse(ULONGLONG bytes, ULONGLONG total = 8 * GIB) {
    fake::host().memory.ullTotalPhys = total;
    fake::host().memory.ullAvailPhys = total - bytes;
  }
  static void setRates(LONG received, LONG sent) {
    fake::pdh().scripts[RECEIVED_COUNTER_PATH].values = {received};
    fake::pdh().scripts[SENT_COUNTER_PATH].values = {sent};
  }
  static void setCpu(LONG percent) { fake::pdh().scripts[CPU_COUNTER_PATH].values = {percent}; }
  static void failAllProbes() {
    for (const char* path : {CPU_COUNTER_PATH, RECEIVED_COUNTER_PATH, SENT_COUNTER_PATH})
      fake::pdh().scripts[path].collectStatus = PDH_NO_DATA;
  }

  static std::string compose() {
    composeStatusLine();
    return StatusLine;
  }
};

TEST_F(StatusLineTest, PlainFormOnADecemberDay) {
  EXPECT_EQ(compose(), "12/06 Ram 768.0 C: 10240 r[   1.50] w[   0.25] cpu:  7%");
}

TEST_F(StatusLineTest, BatteryFormWithEveryProbeFailing) {
  fake::host().now = JANUARY_5;
  setMemoryInUse(3221225472);
  fake::host().totalFreeBytes = 51234 * MB;
  fake::host().batteryPercent = 100;
  failAllProbes();
  EXPECT_EQ(compose(), "01/05 Ram 3072.0 C: 51234 r[  -0.00] w[  -0.00] pwr: 100% cpu: -1%");
}

TEST_F(StatusLineTest, MemoryBeyond4GiBShowsInFull) {
  // A 24 GiB machine with 12.5 GiB in use: 32-bit figures would cap here.
  setMemoryInUse(12 * GIB + 512 * MB, 24 * GIB);
  EXPECT_NE(compose().find(" Ram 12800.0 C: "), std::string::npos) << StatusLine;
  setMemoryInUse(24 * GIB - 1 * MB, 24 * GIB);
  EXPECT_NE(compose().find(" Ram 24575.0 C: "), std::string::npos) << StatusLine;
}

TEST_F(StatusLineTest, AskForTheWholeRecordAndDriveC) {
  compose();
  EXPECT_EQ(fake::host().memoryLengthSeen, sizeof(MEMORYSTATUSEX));
  EXPECT_EQ(fake::host().diskDirectorySeen, "c:\\");
}

TEST_F(StatusLineTest, ExactHalvesRoundAwayFromZero) {
  setMemoryInUse(805568512);  // 768.25 MB
  setRates(128, 384);         // 0.125 and 0.375 KB/s
  const std::string line = compose();
  EXPECT_NE(line.find("Ram 768.3 "), std::string::npos) << line;
  EXPECT_NE(line.find("r[   0.13]"), std::string::npos) << line;
  EXPECT_NE(line.find("w[   0.38]"), std::string::npos) << line;
}

TEST_F(StatusLineTest, OtherValuesRoundToNearest) {
  setMemoryInUse(805306368 + 52428);  // 768.04999... MB
  setRates(1535, 1);                  // 1.49902..., 0.000976... KB/s
  const std::string line = compose();
  EXPECT_NE(line.find("Ram 768.0 "), std::string::npos) << line;
  EXPECT_NE(line.find("r[   1.50] w[   0.00]"), std::string::npos) << line;
}

TEST_F(StatusLineTest, BatteryChoosesTheForm) {
  fake::host().batteryPercent = 0;
  EXPECT_NE(compose().find(" pwr:   0% cpu:"), std::string::npos) << StatusLine;
  fake::host().batteryPercent = 57;
  EXPECT_NE(compose().find(" pwr:  57% cpu:"), std::string::npos) << StatusLine;
  for (int noCharge : {101, 200, 255}) {
    fake::host().batteryPercent = static_cast<BYTE>(noCharge);
    EXPECT_EQ(compose().find("pwr"), std::string::npos) << StatusLine;
  }
}

TEST_F(StatusLineTest, FailedPowerReadGivesThePlainForm) {
  fake::host().powerFails = true;
  EXPECT_EQ(compose().find("pwr"), std::string::npos) << StatusLine;
}

TEST_F(StatusLineTest, FieldsGrowPastTheirWidthsAndAreNeverCut) {
  setRates(10240000, INT_MIN);
  setCpu(100);
  const std::string line = compose();
  EXPECT_NE(line.find("r[10000.00] w[-2097152.00] cpu:100%"), std::string::npos) << line;

  setRates(INT_MAX, 0);
  EXPECT_NE(compose().find("r[2097152.00]"), std::string::npos) << StatusLine;
}

TEST_F(StatusLineTest, DiskFigures) {
  fake::host().totalFreeBytes = MB - 1;
  EXPECT_NE(compose().find(" C: 0 "), std::string::npos) << StatusLine;
  fake::host().diskFillsNothing = true;
  fake::host().totalFreeBytes = 99 * MB;
  EXPECT_NE(compose().find(" C: 0 "), std::string::npos) << StatusLine;
}

TEST_F(StatusLineTest, WidestLineFitsWithRoomToSpare) {
  fake::host().now = DECEMBER_6 + 25 * 86400;  // 31 December
  setMemoryInUse(~0ULL, ~0ULL);
  fake::host().totalFreeBytes = (1ULL << 31) * MB - 1;
  fake::host().batteryPercent = 100;
  setRates(INT_MIN, INT_MIN);
  setCpu(INT_MIN);
  const std::string line = compose();
  EXPECT_LT(line.size(), STATUS_LINE_BYTES - 1);
  EXPECT_EQ(line.substr(0, 6), "12/31 ");
  EXPECT_EQ(line.back(), '%');
}

TEST_F(StatusLineTest, ProbesAreSampledCpuThenSentThenReceived) {
  compose();
  std::vector<std::string> collections;
  for (const std::string& entry : fake::pdh().log)
    if (entry.rfind("collect ", 0) == 0) collections.push_back(entry.substr(8));
  const std::vector<std::string> expected = {CPU_COUNTER_PATH, SENT_COUNTER_PATH,
                                             RECEIVED_COUNTER_PATH};
  EXPECT_EQ(collections, expected);
}

TEST_F(StatusLineTest, EachCompositionReplacesTheWholeLine) {
  fake::host().batteryPercent = 100;
  const std::string longer = compose();
  fake::host().batteryPercent = 255;
  const std::string shorter = compose();
  EXPECT_LT(shorter.size(), longer.size());
  EXPECT_EQ(std::strlen(StatusLine), shorter.size());
}

}  // namespace
