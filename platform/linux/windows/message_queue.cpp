// The message queue and loop. Posted messages come first, then the quit
// request, then WM_PAINT, then WM_TIMER, as on Windows: paints and timer ticks
// are generated only when nothing else waits, and never pile up. GetMessageA
// blocks in Fl::wait() until the next timer is due, so an idle strip costs
// nothing between ticks.
#include <FL/Fl.H>
#include <FL/x.H>
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/windows/message_queue.h"

#include "platform/linux/windows/window_records.h"
#include "platform/linux/windows/window_timers.h"
#include "platform/linux/x11/termination.h"

namespace {

// Windows allows 10,000 posted messages; the strip rarely has more than a few.
constexpr int QUEUE_CAPACITY = 512;

MSG queue[QUEUE_CAPACITY];
int queueHead = 0;
int queueCount = 0;
bool quitPosted = false;
int quitCode = 0;
POINT lastCursor = {0, 0};
int modalDepth = 0;
void (*closePopupOnTermination)() = nullptr;

MSG& queuedAt(int index) { return queue[(queueHead + index) % QUEUE_CAPACITY]; }

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return MSG{window, message, wParam, lParam, tickCount(), lastCursor};
}

bool takePosted(MSG* msg) {
  if (queueCount == 0) return false;
  *msg = queue[queueHead];
  queueHead = (queueHead + 1) % QUEUE_CAPACITY;
  --queueCount;
  return true;
}

bool takeQuit(MSG* msg) {
  if (!quitPosted) return false;
  quitPosted = false;
  *msg = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0);
  return true;
}

bool takePaint(MSG* msg) {
  const WindowRecord* record = windowNeedingPaint();
  if (!record) return false;
  *msg = makeMessage(record->handle, WM_PAINT, 0, 0);
  return true;
}

bool takeTimer(MSG* msg) {
  if (!takeDueTimer(msg)) return false;
  msg->time = tickCount();
  msg->pt = lastCursor;
  return true;
}

// Exposure reaches us through FLTK's draw(), which runs only from Fl::flush().
// With nothing to draw it is left to Fl::wait(), which flushes before it
// sleeps: every flush also reads the socket, and an idle refresh would pay
// for one that finds nothing each time round this loop.
void flushToolkit() {
  if (fl_display && Fl::damage()) Fl::flush();
}

void postCloseToShownWindows() {
  for (WindowRecord* record : allWindows()) {
    if (record->visible) queueMessage(record->handle, WM_CLOSE, 0, 0);
  }
}

// An open menu runs its own loop, which would keep the process alive with
// the menu on screen after the strip has gone: it is closed too.
void onTerminationWake(FL_SOCKET, void*) {
  if (!takeTerminationRequest()) return;
  postCloseToShownWindows();
  if (closePopupOnTermination) closePopupOnTermination();
}

// The signal handler can only write to a pipe; the loop listens to it here.
void listenForTermination() {
  static bool listening = false;
  if (listening || terminationWakeFd() < 0) return;
  listening = true;
  Fl::add_fd(terminationWakeFd(), FL_READ, onTerminationWake);
}

void waitForEvents() {
  const double seconds = secondsToNextTimer();
  Fl::wait(seconds < 0 ? 1e20 : seconds);
}

void pumpToolkitModal(void*);

void scheduleModalPump() {
  Fl::remove_timeout(pumpToolkitModal);
  if (queueCount > 0 || windowNeedingPaint()) {
    Fl::add_timeout(0.0, pumpToolkitModal);
  } else if (const double seconds = secondsToNextTimer(); seconds >= 0) {
    Fl::add_timeout(seconds, pumpToolkitModal);
  }
}

// The quit request is left for the outer loop, as a Windows modal loop leaves WM_QUIT.
void pumpToolkitModal(void*) {
  MSG msg;
  bool dispatched = false;
  for (int budget = QUEUE_CAPACITY; budget > 0; --budget) {
    if (!takePosted(&msg) && !takePaint(&msg) && !takeTimer(&msg)) break;
    DispatchMessageA(&msg);
    dispatched = true;
  }
  if (modalDepth > 0) scheduleModalPump();
  // What was dispatched may have ended a modal loop of ours.
  if (dispatched) interruptToolkitWait();
}

}  // namespace

void noteLastCursor(int screenX, int screenY) { lastCursor = POINT{screenX, screenY}; }

BOOL queueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (queueCount == QUEUE_CAPACITY) return FALSE;
  queuedAt(queueCount) = makeMessage(window, message, wParam, lParam);
  ++queueCount;
  wakeToolkitModalLoop();
  return TRUE;
}

// Windows keeps only the latest of consecutive moves; a drag then costs one
// SetWindowPos per loop turn rather than one per X motion event.
void queueMouseMove(HWND window, WPARAM keys, LPARAM position) {
  if (queueCount > 0) {
    MSG& last = queuedAt(queueCount - 1);
    if (last.hwnd == window && last.message == WM_MOUSEMOVE) {
      last = makeMessage(window, WM_MOUSEMOVE, keys, position);
      return;
    }
  }
  queueMessage(window, WM_MOUSEMOVE, keys, position);
}

void dropQueuedMessages(HWND window) {
  int kept = 0;
  for (int i = 0; i < queueCount; ++i) {
    if (queuedAt(i).hwnd != window) queuedAt(kept++) = queuedAt(i);
  }
  queueCount = kept;
}

void setTerminationCloser(void (*closePopup)()) { closePopupOnTermination = closePopup; }

void enterToolkitModalLoop() {
  setTimerChangeListener(wakeToolkitModalLoop);
  ++modalDepth;
  scheduleModalPump();
}

void leaveToolkitModalLoop() {
  if (--modalDepth == 0) Fl::remove_timeout(pumpToolkitModal);
}

void wakeToolkitModalLoop() {
  if (modalDepth > 0) scheduleModalPump();
}

// FLTK runs due timeouts at the start of Fl::wait() and only then waits, so a
// loop condition changed by a timeout (even one that adds a zero timeout)
// would be looked at again only after the next event. A byte in a pipe that
// FLTK watches is such an event.
void interruptToolkitWait() {
  static int wakePipe[2] = {-1, -1};
  if (wakePipe[0] < 0) {
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    Fl::add_fd(
        wakePipe[0], FL_READ,
        [](FL_SOCKET fd, void*) {
          char drained[64];
          while (read(fd, drained, sizeof drained) > 0) {
          }
        },
        nullptr);
  }
  const char wake = 1;
  // A full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t written = write(wakePipe[1], &wake, 1);
}

void runToolkitModalLoop(bool (*finished)(void*), void* context) {
  listenForTermination();
  enterToolkitModalLoop();
  while (!quitPosted && !finished(context)) Fl::wait(1e20);
  leaveToolkitModalLoop();
}

// The window and range filters are not applied: Kivo's loops take every message.
BOOL GetMessageA(LPMSG msg, HWND, UINT, UINT) {
  if (!msg) return -1;
  listenForTermination();
  for (;;) {
    flushToolkit();
    if (takePosted(msg) || takeQuit(msg) || takePaint(msg) || takeTimer(msg)) {
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    waitForEvents();
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, tickCount());
    return 0;
  }
  const LRESULT result = sendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  // A procedure that never calls BeginPaint would otherwise be asked forever.
  if (msg->message == WM_PAINT) {
    if (WindowRecord* record = findWindow(msg->hwnd)) record->paintPending = false;
  }
  return result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window && !findWindow(window)) return FALSE;
  return queueMessage(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  quitPosted = true;
  quitCode = exitCode;
}
