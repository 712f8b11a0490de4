// What one status line costs on Linux, step by step, against the floor of
// merely reading the same kernel sources.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "measure/status_line.h"
#include "platform/linux/local_time.h"
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

void readWhole(const char* path) {
  char buffer[16384];
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
  close(fd);
  benchmark::DoNotOptimize(buffer);
}

void listDirectory(const char* path) {
  char buffer[4096];
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  while (syscall(SYS_getdents64, fd, buffer, sizeof buffer) > 0) {
  }
  close(fd);
}

// The sources one line reads: the cpu counter, the two network counters, the
// memory figures, the root filesystem and the power supplies.
void BM_BareFloor(benchmark::State& state) {
  for (auto _ : state) {
    readWhole("/proc/stat");
    readWhole("/proc/net/dev");
    readWhole("/proc/net/dev");
    readWhole("/proc/meminfo");
    struct statvfs disk {};
    statvfs("/", &disk);
    benchmark::DoNotOptimize(disk);
    listDirectory("/sys/class/power_supply");
  }
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
