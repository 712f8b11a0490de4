#include "measure/counter_probe.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "fakes/fakes.h"

namespace {

const char* const PATH = "\\Network Interface(*)\\Bytes Received/sec";
const char* const OTHER_PATH = "\\Network Interface(*)\\Bytes Sent/sec";

class CounterProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::resetPdh(); }
  fake::CounterScript& script(const char* path = PATH) { return fake::pdh().scripts[path]; }
};

TEST_F(CounterProbeTest, GlobalProbesOpenInTheirFixedOrder) {
  const std::vector<std::string> expected = {CPU_COUNTER_PATH, RECEIVED_COUNTER_PATH,
                                             SENT_COUNTER_PATH};
  EXPECT_EQ(fake::addsDuringStartup(), expected);
  EXPECT_TRUE(cpuProbe.hasCounter());
  EXPECT_STREQ(sentProbe.currentPath(), SENT_COUNTER_PATH);
}

TEST_F(CounterProbeTest, WithoutPathHasNoCounterAndEverySampleFails) {
  CounterProbe probe(nullptr);
  EXPECT_STREQ(probe.currentPath(), "");
  EXPECT_FALSE(probe.hasCounter());
  EXPECT_EQ(probe.sample(), -1);
  EXPECT_EQ(probe.sample(), -1);
}

TEST_F(CounterProbeTest, SetPathMovesBetweenStates) {
  CounterProbe probe(PATH);
  const int countersBefore = fake::pdh().liveCounters;
  ASSERT_TRUE(probe.hasCounter());

  // null changes nothing
  EXPECT_FALSE(probe.setPath(nullptr));
  EXPECT_TRUE(probe.hasCounter());
  EXPECT_STREQ(probe.currentPath(), PATH);

  // a path too long to keep whole changes nothing either
  const std::string tooLong(PATH_CAPACITY, 'x');
  EXPECT_FALSE(probe.setPath(tooLong.c_str()));
  EXPECT_STREQ(probe.currentPath(), PATH);

  // a rejected path drops the old counter and is remembered as given
  fake::pdh().rejectedPaths.push_back("\\Bogus\\Path");
  EXPECT_FALSE(probe.setPath("\\Bogus\\Path"));
  EXPECT_FALSE(probe.hasCounter());
  EXPECT_STREQ(probe.currentPath(), "\\Bogus\\Path");
  EXPECT_EQ(fake::pdh().liveCounters, countersBefore - 1);
  EXPECT_EQ(probe.sample(), -1);

  // and an accepted one brings the probe back to counting, with one counter
  EXPECT_TRUE(probe.setPath(OTHER_PATH));
  EXPECT_TRUE(probe.hasCounter());
  EXPECT_EQ(fake::pdh().liveCounters, countersBefore);
}

TEST_F(CounterProbeTest, ReplacingAnAcceptedPathRemovesTheOldCounterFirst) {
  CounterProbe probe(PATH);
  fake::pdh().log.clear();
  EXPECT_TRUE(probe.setPath(OTHER_PATH));
  const std::vector<std::string> expected = {std::string("remove ") + PATH,
                                             std::string("add ") + OTHER_PATH};
  EXPECT_EQ(fake::pdh().log, expected);
}

TEST_F(CounterProbeTest, SampleSumsEveryInstance) {
  CounterProbe probe(PATH);
  script().values = {1000, 250, 0};
  EXPECT_EQ(probe.sample(), 1250);
  EXPECT_EQ(probe.lastTotal(), 1250);

  script().values = {};
  EXPECT_EQ(probe.sample(), 0) << "a successful answer with no records";
}

TEST_F(CounterProbeTest, SumWrapsAt32Bits) {
  CounterProbe probe(PATH);
  script().values = {INT_MAX, 1};
  EXPECT_EQ(probe.sample(), INT_MIN);
  script().values = {INT_MIN, INT_MIN};
  EXPECT_EQ(probe.sample(), 0);
  script().values = {-5, 3};
  EXPECT_EQ(probe.sample(), -2);
}

TEST_F(CounterProbeTest, EachSampleIsOneCollectionAndOneFormat) {
  CounterProbe probe(PATH);
  fake::pdh().log.clear();
  probe.sample();
  const std::vector<std::string> expected = {std::string("collect ") + PATH,
                                             std::string("format ") + PATH};
  EXPECT_EQ(fake::pdh().log, expected);
}

TEST_F(CounterProbeTest, FailedCollectionKeepsTheTotal) {
  CounterProbe probe(PATH);
  script().values = {40, 2};
  ASSERT_EQ(probe.sample(), 42);
  script().collectStatus = PDH_NO_DATA;
  EXPECT_EQ(probe.sample(), -1);
  EXPECT_EQ(probe.lastTotal(), 42);
}

TEST_F(CounterProbeTest, FailedFormatLeavesTheTotalAtZero) {
  CounterProbe probe(PATH);
  script().values = {40, 2};
  ASSERT_EQ(probe.sample(), 42);
  script().formatStatus = PDH_INVALID_DATA;
  EXPECT_EQ(probe.sample(), -1);
  EXPECT_EQ(probe.lastTotal(), 0);
}

TEST_F(CounterProbeTest, AnswerTooBigForTheAreaFailsEverySample) {
  CounterProbe probe(PATH);
  // Ten records and their short names fit in 480 bytes...
  script().values = std::vector<LONG>(10, 1);
  script().nameLength = 2;
  EXPECT_EQ(probe.sample(), 10);
  // ...twenty records leave no room for even one name...
  script().values = std::vector<LONG>(20, 1);
  script().nameLength = 0;
  EXPECT_EQ(probe.sample(), -1);
  // ...and fewer records fail once the names are long enough.
  script().values = std::vector<LONG>(8, 1);
  script().nameLength = 40;
  EXPECT_EQ(probe.sample(), -1);
  EXPECT_EQ(probe.sample(), -1);
}

TEST_F(CounterProbeTest, NeverReadsPastTheAreaWhateverCountComesBack) {
  CounterProbe probe(PATH);
  script().values = {1, 2, 3};
  script().nameLength = 1;
  script().overstateCount = true;
  // The area is cleared before every call, so records past the three written add 0.
  EXPECT_EQ(probe.sample(), 6);
}

TEST_F(CounterProbeTest, FirstSampleIsPassedOnAsTheLibraryGivesIt) {
  CounterProbe probe(PATH);
  script().values = {0, 0};
  EXPECT_EQ(probe.sample(), 0);
  CounterProbe failing(PATH);
  script().collectStatus = PDH_NO_DATA;
  EXPECT_EQ(failing.sample(), -1);
}

}  // namespace
