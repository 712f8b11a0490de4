// Window timers. A timer only marks itself due; the message loop turns a due
// timer into WM_TIMER when nothing else is queued, so a slow procedure sees one
// tick late rather than a burst of them.
#include "platform/linux/windows/window_timers.h"

#include <algorithm>
#include <ctime>

#include "platform/linux/windows/window_records.h"

namespace {

constexpr int MAX_TIMERS = 64;
constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;
constexpr UINT USER_TIMER_MAXIMUM = 0x7FFFFFFF;
constexpr long long NANOS_PER_MILLI = 1000000;

struct Timer {
  HWND window;
  UINT_PTR id;
  TIMERPROC procedure;
  long long periodNs;
  long long dueNs;
  bool used;
};

Timer timers[MAX_TIMERS];
void (*timerChanged)() = nullptr;

long long monotonicNanos() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

Timer* findTimer(HWND window, UINT_PTR id) {
  for (Timer& timer : timers) {
    if (timer.used && timer.window == window && timer.id == id) return &timer;
  }
  return nullptr;
}

Timer* freeTimer() {
  for (Timer& timer : timers) {
    if (!timer.used) return &timer;
  }
  return nullptr;
}

Timer* earliestTimer() {
  Timer* earliest = nullptr;
  for (Timer& timer : timers) {
    if (timer.used && (!earliest || timer.dueNs < earliest->dueNs)) earliest = &timer;
  }
  return earliest;
}

}  // namespace

DWORD tickCount() { return static_cast<DWORD>(monotonicNanos() / NANOS_PER_MILLI); }

bool takeDueTimer(MSG* msg) {
  Timer* timer = earliestTimer();
  const long long now = monotonicNanos();
  if (!timer || timer->dueNs > now) return false;
  *msg = MSG{timer->window, WM_TIMER, timer->id, reinterpret_cast<LPARAM>(timer->procedure), 0, {}};
  // Keep the cadence, but a tick missed altogether is dropped, not owed.
  timer->dueNs += timer->periodNs;
  if (timer->dueNs <= now) timer->dueNs = now + timer->periodNs;
  return true;
}

double secondsToNextTimer() {
  const Timer* timer = earliestTimer();
  if (!timer) return -1;
  return static_cast<double>(std::max(timer->dueNs - monotonicNanos(), 0LL)) / 1e9;
}

void setTimerChangeListener(void (*listener)()) { timerChanged = listener; }

void killWindowTimers(HWND window) {
  for (Timer& timer : timers) {
    if (timer.window == window) timer.used = false;
  }
}

// Windows clamps the period: below 10 ms to 10, above 0x7FFFFFFF to 0x7FFFFFFF
// (so a negative refresh setting, passed as UINT, waits about 24.8 days).
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  if (!findWindow(window)) return 0;
  Timer* timer = findTimer(window, id);
  if (!timer) timer = freeTimer();
  if (!timer) return 0;
  const UINT period = std::clamp(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  const long long periodNs = static_cast<long long>(period) * NANOS_PER_MILLI;
  *timer = Timer{window, id, procedure, periodNs, monotonicNanos() + periodNs, true};
  if (timerChanged) timerChanged();
  return id ? id : 1;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  Timer* timer = findTimer(window, id);
  if (!timer) return FALSE;
  timer->used = false;
  return TRUE;
}
