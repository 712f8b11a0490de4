// What one status line costs on Linux, step by step, against the floor of
// merely reading the same kernel sources.
#include <benchmark/benchmark.h>

#include "floor_reads.h"
#include "measure/status_line.h"
#include "platform/linux/readings/local_time.h"
#include "support/allocation_counter.h"

namespace {

void reportAllocations(benchmark::State& state, std::size_t allocations) {
  state.counters["allocs_per_call"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
}

void BM_ComposeStatusLine(benchmark::State& state) {
  composeStatusLine();  // first call: the C library sets up its time zone once
  startCountingAllocations();
  for (auto _ : state) {
    composeStatusLine();
    benchmark::DoNotOptimize(StatusLine);
  }
  reportAllocations(state, stopCountingAllocations());
}

void BM_SampleProbes(benchmark::State& state) {
  StatusReadings readings{};
  startCountingAllocations();
  for (auto _ : state) {
    sampleProbes(readings);
    benchmark::DoNotOptimize(readings);
  }
  reportAllocations(state, stopCountingAllocations());
}

void BM_ReadClockAndSystem(benchmark::State& state) {
  StatusReadings readings{};
  startCountingAllocations();
  for (auto _ : state) {
    readClockAndSystem(readings);
    benchmark::DoNotOptimize(readings);
  }
  reportAllocations(state, stopCountingAllocations());
}

void BM_WriteStatusLine(benchmark::State& state) {
  StatusReadings readings{};
  readClockAndSystem(readings);
  sampleProbes(readings);
  char line[STATUS_LINE_BYTES];
  for (auto _ : state) {
    writeStatusLine(readings, line, sizeof line);
    benchmark::DoNotOptimize(line);
  }
}

// The sources one line reads, each read once and nothing parsed: the floor
// the refresh benchmark measures against too.
void BM_BareFloor(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(readTextViewSources());
}

}  // namespace

BENCHMARK(BM_ComposeStatusLine);
BENCHMARK(BM_SampleProbes);
BENCHMARK(BM_ReadClockAndSystem);
BENCHMARK(BM_WriteStatusLine);
BENCHMARK(BM_BareFloor);
int main(int argc, char** argv) {
  settleLocalTimeZone();  // as the program's own entry does
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
