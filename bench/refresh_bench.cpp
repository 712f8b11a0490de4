// What one refresh of the strip costs on the real Linux layer and a real X
// server, stage by stage, against the floor of reading the same kernel
// sources. The strip is made as start-up makes it; refreshes are then forced
// through the window procedure, thousands at a time, first in the text view and
// then in the bar view.
//
// Each phase runs a whole refresh, one stage on its own, or the floor, in
// rounds; of each phase the cheapest round is kept. One line a phase: phase,
// runs, client CPU microseconds per run (getrusage, user plus system), heap
// allocations over all runs, X server CPU microseconds per run. The "split"
// phases are whole refreshes with the collection and copy stages timed in
// place (see below). Under callgrind every phase is also dumped on its own
// (bench/refresh.sh reads the dumps), so instruction counts split by phase.
// Usage: kivo_refresh_bench [refreshes per round [rounds]]
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <string>

#include "app/app_state.h"
#include "app/mouse_and_menu.h"
#include "app/start_up.h"
#include "app/window_procedure.h"
#include "display/bar_view.h"
#include "display/display_font.h"
#include "floor_reads.h"
#include "measure/status_line.h"
#include "platform/linux/readings/local_time.h"
#include "platform/linux/windows/window_calls.h"
#include "platform/linux/x11/x11_session.h"
#include "platform/system_status.h"
#include "settings/settings.h"
#include "support/allocation_counter.h"

namespace {

// Ten rounds of 500: 5,000 refreshes of each phase.
constexpr int DEFAULT_RUNS_PER_ROUND = 500;
constexpr int DEFAULT_ROUNDS = 10;
// First calls load glyphs, the time zone and the X server's caches.
constexpr int WARM_UP_RUNS = 50;
constexpr UINT_PTR SETTLING_TIMER = 0x5E77;
constexpr int SETTLING_TICKS = 5;

// Runs the program's own loop until the strip is mapped and painted: paints
// come before timer ticks, so a few ticks of a short timer of our own mean
// every paint has been dispatched. Then the loop is left for good, and with it
// the strip's own timer.
void settleStrip() {
  SetTimer(app.monitorWindow, SETTLING_TIMER, 10, nullptr);
  for (int ticks = 0; ticks < SETTLING_TICKS;) {
    MSG msg{};
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    if (msg.message == WM_TIMER && msg.wParam == SETTLING_TIMER) {
      ++ticks;
      continue;
    }
    DispatchMessageA(&msg);
  }
  KillTimer(app.monitorWindow, SETTLING_TIMER);
  KillTimer(app.monitorWindow, REFRESH_TIMER);
  XSync(x11Display(), False);
}

// Xft loads a glyph the first time it is drawn and keeps it: a running strip
// has drawn every glyph its lines can hold within its first minutes. Drawing
// them all once here puts the measured refreshes in that steady state.
void drawEveryGlyphOnce() {
  static const char glyphs[] = "0123456789 /.,:%[]-CRacmprsuw";
  HGDIOBJ previous = SelectObject(backBuffer.memoryDC, DisplayFont);
  TextOutA(backBuffer.memoryDC, 0, 0, glyphs, static_cast<int>(sizeof glyphs - 1));
  SelectObject(backBuffer.memoryDC, previous);
}

// --- Stages in place -----------------------------------------------------------
// A stage costs more inside a refresh than alone: the stages share the caches,
// and the X server wakes between them. So the CPU split is also taken inside
// real refreshes. The linker routes the refresh's own calls of the stage
// functions through the wrappers below (-Wl,--wrap in bench/CMakeLists.txt);
// while a split is taken they time each call with the thread's CPU clock, and
// otherwise only pass it on. Composition is left out: it takes less than a
// microsecond, less than the clock's own cost varies by, and is taken from its
// phase alone.

enum class Split { none, textView, barView };
enum Stage { COLLECTION, COPY, STAGES };

Split splitting = Split::none;
long long stageNanos[STAGES];
long long clockReadNanos;  // what one reading of the clock adds to a timed call

long long threadCpuNanos() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void calibrateClock() {
  constexpr int READINGS = 10000;
  const long long start = threadCpuNanos();
  for (int i = 0; i < READINGS; ++i) threadCpuNanos();
  clockReadNanos = (threadCpuNanos() - start) / (READINGS + 1);
}

long long clockReadings;

// A timed call holds about one reading's cost (the end of the first, the start
// of the second); the rest of the two readings falls outside it.
void addToStage(Stage stage, long long since) {
  stageNanos[stage] += threadCpuNanos() - since - clockReadNanos;
  clockReadings += 2;
}

}  // namespace

// The mangled names of the wrapped functions, as the platform headers declare them.
extern "C" {
void __real__Z17composeStatusLinev();
BOOL __real__Z6BitBltP5HDC__iiiiS0_iij(HDC, int, int, int, int, HDC, int, int, DWORD);
BOOL __real__Z20GlobalMemoryStatusExP15_MEMORYSTATUSEX(LPMEMORYSTATUSEX);

// composeStatusLine, step by step as measure/status_line.cpp takes it.
void __wrap__Z17composeStatusLinev() {
  if (splitting != Split::textView) {
    __real__Z17composeStatusLinev();
    return;
  }
  StatusReadings readings{};
  long long since = threadCpuNanos();
  readClockAndSystem(readings);
  sampleProbes(readings);
  addToStage(COLLECTION, since);
  writeStatusLine(readings, StatusLine, sizeof StatusLine);
}

BOOL __wrap__Z6BitBltP5HDC__iiiiS0_iij(HDC target, int x, int y, int width, int height, HDC source,
                                       int sourceX, int sourceY, DWORD rop) {
  if (splitting == Split::none)
    return __real__Z6BitBltP5HDC__iiiiS0_iij(target, x, y, width, height, source, sourceX, sourceY,
                                             rop);
  const long long since = threadCpuNanos();
  const BOOL copied =
      __real__Z6BitBltP5HDC__iiiiS0_iij(target, x, y, width, height, source, sourceX, sourceY, rop);
  addToStage(COPY, since);
  return copied;
}

// The text view reads the memory figures too, inside its composition: only
// the bar view's reading is timed here.
BOOL __wrap__Z20GlobalMemoryStatusExP15_MEMORYSTATUSEX(LPMEMORYSTATUSEX status) {
  if (splitting != Split::barView) return __real__Z20GlobalMemoryStatusExP15_MEMORYSTATUSEX(status);
  const long long since = threadCpuNanos();
  const BOOL read = __real__Z20GlobalMemoryStatusExP15_MEMORYSTATUSEX(status);
  addToStage(COLLECTION, since);
  return read;
}
}

namespace {

// --- The stages ---------------------------------------------------------------

// The loop flushes the X output once a turn; a refresh's requests leave then.
void flushX() { XFlush(x11Display()); }

void refreshOnTimer() {
  windowProcedure(app.monitorWindow, WM_TIMER, REFRESH_TIMER, 0);
  if (splitting == Split::none) {
    flushX();
    return;
  }
  const long long since = threadCpuNanos();
  flushX();
  addToStage(COPY, since);
}

void refreshTextView() { refreshOnTimer(); }

// The bar view draws nothing when the memory figures have not moved since its
// last drawing; at one refresh a second they nearly always have.
void refreshBarView() {
  lastAvailPhys = ~0ULL;
  lastAvailPageFile = ~0ULL;
  refreshOnTimer();
}

StatusReadings readings{};
char composedLine[STATUS_LINE_BYTES];

void collectTextView() {
  readClockAndSystem(readings);
  sampleProbes(readings);
}

void composeTextView() { writeStatusLine(readings, composedLine, sizeof composedLine); }

MEMORYSTATUSEX memory{};

void collectBarView() {
  memory.dwLength = sizeof memory;
  GlobalMemoryStatusEx(&memory);
}

BarViewFigures barFigures{};

void composeBars() { composeBarView(memory, barFigures); }

// Both views end the same way: the back buffer onto the window.
void copyToWindow() {
  HDC windowDC = GetDC(app.monitorWindow);
  RECT client{};
  GetClientRect(app.monitorWindow, &client);
  BitBlt(windowDC, 0, 0, client.right - client.left, client.bottom - client.top,
         backBuffer.memoryDC, 0, 0, SRCCOPY);
  ReleaseDC(app.monitorWindow, windowDC);
  flushX();
}

volatile std::size_t floorBytes;
void floorOfTextView() { floorBytes = readTextViewSources(); }
void floorOfBarView() { floorBytes = readBarViewSources(); }

// --- Measuring ---------------------------------------------------------------

long long microsOf(const timeval& time) {
  return static_cast<long long>(time.tv_sec) * 1000000 + time.tv_usec;
}

long long clientCpuMicros() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return microsOf(usage.ru_utime) + microsOf(usage.ru_stime);
}

// The X server does its part of every refresh in its own process, which the
// client's rusage never sees. It is the peer of our socket; its scheduler
// statistics count its CPU time in nanoseconds.
pid_t serverProcess() {
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(ConnectionNumber(x11Display()), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
    return 0;
  return peer.pid;
}

long long serverCpuNanos(pid_t server) {
  if (server <= 0) return -1;
  const std::string path = "/proc/" + std::to_string(server) + "/schedstat";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return -1;
  long long nanos = -1;
  if (std::fscanf(file, "%lld", &nanos) != 1) nanos = -1;
  std::fclose(file);
  return nanos;
}

struct Phase {
  const char* name;
  void (*step)();
  LONG view;
  Split split;
  double bestClientMicros;  // per run, in the least disturbed round
  double bestServerMicros;
  double bestStageMicros[STAGES];  // a split's stages, per run, in the same round
  std::size_t allocations;         // over every round
  long long runs;
};

Phase phases[] = {
    {"text_refresh", refreshTextView, 0, Split::none, 0, 0, {}, 0, 0},
    {"text_split", refreshTextView, 0, Split::textView, 0, 0, {}, 0, 0},
    {"text_collection", collectTextView, 0, Split::none, 0, 0, {}, 0, 0},
    {"text_composition", composeTextView, 0, Split::none, 0, 0, {}, 0, 0},
    {"text_copy", copyToWindow, 0, Split::none, 0, 0, {}, 0, 0},
    {"text_floor", floorOfTextView, 0, Split::none, 0, 0, {}, 0, 0},
    {"bar_refresh", refreshBarView, 1, Split::none, 0, 0, {}, 0, 0},
    {"bar_split", refreshBarView, 1, Split::barView, 0, 0, {}, 0, 0},
    {"bar_collection", collectBarView, 1, Split::none, 0, 0, {}, 0, 0},
    {"bar_composition", composeBars, 1, Split::none, 0, 0, {}, 0, 0},
    {"bar_copy", copyToWindow, 1, Split::none, 0, 0, {}, 0, 0},
    {"bar_floor", floorOfBarView, 1, Split::none, 0, 0, {}, 0, 0},
};

// One round of a phase. Other processes on the machine only ever add time, so
// of several rounds the cheapest is the one nearest the phase's own cost.
void measureRound(Phase& phase, int runs, pid_t server, bool first) {
  // As Setup switches the view: from the next drawing on, in the same font.
  settings.view = phase.view;
  for (int i = 0; i < WARM_UP_RUNS; ++i) phase.step();
  XSync(x11Display(), False);
  const long long serverBefore = serverCpuNanos(server);
  const long long clientBefore = clientCpuMicros();
  startCountingAllocations();
  std::fill(std::begin(stageNanos), std::end(stageNanos), 0);
  clockReadings = 0;
  splitting = phase.split;
  CALLGRIND_ZERO_STATS;
  for (int i = 0; i < runs; ++i) phase.step();
  CALLGRIND_DUMP_STATS_AT(phase.name);
  splitting = Split::none;
  phase.allocations += stopCountingAllocations();

  // A split's refreshes are told without the clock readings they made.
  const double clientMicros = static_cast<double>(clientCpuMicros() - clientBefore) / runs -
                              static_cast<double>(clockReadings * clockReadNanos) / 1000 / runs;
  // The server catches up with what was sent; its time counts towards this phase.
  XSync(x11Display(), False);
  const long long serverAfter = serverCpuNanos(server);
  const double serverMicros = serverBefore < 0 || serverAfter < 0
                                  ? -1.0
                                  : static_cast<double>(serverAfter - serverBefore) / 1000 / runs;
  phase.runs += runs;
  if (first || clientMicros < phase.bestClientMicros) {
    phase.bestClientMicros = clientMicros;
    for (int stage = 0; stage < STAGES; ++stage)
      phase.bestStageMicros[stage] = static_cast<double>(stageNanos[stage]) / 1000 / runs;
  }
  if (first || serverMicros < phase.bestServerMicros) phase.bestServerMicros = serverMicros;
}

void measureAll(int runs, int rounds, pid_t server) {
  for (int round = 0; round < rounds; ++round)
    for (Phase& phase : phases) measureRound(phase, runs, server, round == 0);
  std::printf("phase\truns\tclient_cpu_us\tallocations\tserver_cpu_us\n");
  static const char* const stageNames[STAGES] = {"collection", "copy"};
  for (const Phase& phase : phases) {
    if (phase.split == Split::none) {
      std::printf("%s\t%lld\t%.2f\t%zu\t%.2f\n", phase.name, phase.runs, phase.bestClientMicros,
                  phase.allocations, phase.bestServerMicros);
      continue;
    }
    std::printf("%s\t%lld\t%.2f\t%zu\t%.2f\n", phase.name, phase.runs, phase.bestClientMicros,
                phase.allocations, phase.bestServerMicros);
    for (int stage = 0; stage < STAGES; ++stage) {
      std::printf("%s_%s\t%lld\t%.2f\t%zu\t%.2f\n", phase.name, stageNames[stage], phase.runs,
                  phase.bestStageMicros[stage], phase.allocations, phase.bestServerMicros);
    }
  }
  std::fflush(stdout);
}

// Start-up reads and may write the settings file; the user's own stays untouched.
std::string usePrivateSettings() {
  char folder[] = "/tmp/kivo-refresh-bench.XXXXXX";
  if (mkdtemp(folder) == nullptr) return {};
  setenv("XDG_CONFIG_HOME", folder, 1);
  return folder;
}

int usage() {
  std::fputs("usage: kivo_refresh_bench [refreshes per round [rounds]]\n", stderr);
  return 2;
}

bool takeCount(const char* text, int* count) {
  char* end = nullptr;
  const long asked = std::strtol(text, &end, 10);
  if (*end != '\0' || asked < 1 || asked > 1000000) return false;
  *count = static_cast<int>(asked);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = DEFAULT_RUNS_PER_ROUND;
  int rounds = DEFAULT_ROUNDS;
  if (argc > 3 || (argc > 1 && !takeCount(argv[1], &runs)) ||
      (argc > 2 && !takeCount(argv[2], &rounds)))
    return usage();
  // As the program's own entry does before WinMain.
  settleLocalTimeZone();
  if (!x11Display()) {
    std::fputs("kivo_refresh_bench: no X display (is DISPLAY set?)\n", stderr);
    return 1;
  }
  const std::string settingsFolder = usePrivateSettings();
  if (settingsFolder.empty()) return 1;
  const bool started = startUp(nullptr, SW_SHOWNORMAL) == 0;
  if (started) {
    settleStrip();
    drawEveryGlyphOnce();
    calibrateClock();
    measureAll(runs, rounds, serverProcess());
  } else {
    std::fputs("kivo_refresh_bench: the strip could not be made\n", stderr);
  }
  releaseAllWindows();
  std::error_code ignored;
  std::filesystem::remove_all(settingsFolder, ignored);
  return started ? 0 : 1;
}
