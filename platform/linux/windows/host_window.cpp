// Input and frame of the host windows. FLTK events become the mouse messages a
// Windows window gets, and the sizing frame is drawn and dragged here, since
// without a window manager nothing else would do it.
#include "platform/linux/windows/host_window.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdlib>

#include "platform/linux/windows/message_queue.h"
#include "platform/linux/windows/window_placement.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/display_scale.h"

namespace {

constexpr unsigned long DOUBLE_CLICK_MS = 500;  // GetDoubleClickTime() out of the box
constexpr int DOUBLE_CLICK_SLOP = 2;            // half of SM_CXDOUBLECLK
constexpr WPARAM MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08,
                 MK_MBUTTON = 0x10;

enum Edge { EDGE_LEFT = 1, EDGE_RIGHT = 2, EDGE_TOP = 4, EDGE_BOTTOM = 8 };

struct LastPress {
  HWND window;
  int button;
  unsigned long time;
  int x, y;
  bool armed;  // cleared by a double-click, so a third press starts afresh
};

struct Sizing {
  HWND window;
  int edges;
  int startX, startY;
  RECT startRect;
};

LastPress lastPress;
Sizing sizing;
HWND captured;
// Where the last mouse move was reported, in screen coordinates (units).
POINT lastMove = {-32768, -32768};

UINT downMessageOf(int button) {
  if (button == FL_LEFT_MOUSE) return WM_LBUTTONDOWN;
  if (button == FL_RIGHT_MOUSE) return WM_RBUTTONDOWN;
  return button == FL_MIDDLE_MOUSE ? 0x0207 : 0;  // WM_MBUTTONDOWN
}

// The pointer in units: its root position converted, so that a drag moves a
// window by the difference of two converted positions and never drifts.
POINT cursorInUnits() {
  return POINT{static_cast<LONG>(fromScreen(Fl::event_x_root())),
               static_cast<LONG>(fromScreen(Fl::event_y_root()))};
}

WPARAM keyState() {
  const int state = Fl::event_state();
  return ((state & FL_BUTTON1) ? MK_LBUTTON : 0) | ((state & FL_BUTTON3) ? MK_RBUTTON : 0) |
         ((state & FL_BUTTON2) ? MK_MBUTTON : 0) | ((state & FL_SHIFT) ? MK_SHIFT : 0) |
         ((state & FL_CTRL) ? MK_CONTROL : 0);
}

LPARAM packPoint(int x, int y) {
  return static_cast<LPARAM>((static_cast<DWORD>(y & 0xFFFF) << 16) |
                             static_cast<DWORD>(x & 0xFFFF));
}

bool insideClient(const WindowRecord& record, int clientX, int clientY) {
  return clientX >= 0 && clientY >= 0 && clientX < clientWidth(record) &&
         clientY < clientHeight(record);
}

// Whether a mouse event at window position (x, y) is the client's to hear. X
// sends positions outside the window only while a button pressed in it is
// held; Windows decides by the capture when the message is taken from the
// queue, which may be after the procedure has set it, so those count too.
bool reachesClient(const WindowRecord& record, int x, int y) {
  const int frame = frameWidth(record.frameStyle);
  const long width = record.outer.right - record.outer.left;
  const long height = record.outer.bottom - record.outer.top;
  const bool outsideWindow = x < 0 || y < 0 || x >= width || y >= height;
  return captured == record.handle || outsideWindow || insideClient(record, x - frame, y - frame);
}

int sizingEdges(const WindowRecord& record, int x, int y) {
  const int frame = frameWidth(record.frameStyle);
  if (!(record.frameStyle & WS_THICKFRAME) || insideClient(record, x - frame, y - frame)) return 0;
  const int width = static_cast<int>(record.outer.right - record.outer.left);
  const int height = static_cast<int>(record.outer.bottom - record.outer.top);
  int edges = x < frame ? EDGE_LEFT : (x >= width - frame ? EDGE_RIGHT : 0);
  edges |= y < frame ? EDGE_TOP : (y >= height - frame ? EDGE_BOTTOM : 0);
  return edges;
}

Fl_Cursor cursorOf(int edges) {
  if (edges == (EDGE_LEFT | EDGE_TOP) || edges == (EDGE_RIGHT | EDGE_BOTTOM)) return FL_CURSOR_NWSE;
  if (edges == (EDGE_RIGHT | EDGE_TOP) || edges == (EDGE_LEFT | EDGE_BOTTOM)) return FL_CURSOR_NESW;
  if (edges & (EDGE_LEFT | EDGE_RIGHT)) return FL_CURSOR_WE;
  return edges ? FL_CURSOR_NS : FL_CURSOR_DEFAULT;
}

void showSizingCursor(WindowRecord* record, int edges) {
  static HWND shownFor;
  static int shownEdges;
  if (shownFor == record->handle && shownEdges == edges) return;
  shownFor = record->handle;
  shownEdges = edges;
  record->host->cursor(cursorOf(edges));
}

bool isDoubleClick(const WindowRecord& record, int button) {
  if (!(record.windowClass->style & CS_DBLCLKS)) {
    lastPress.armed = false;
    return false;
  }
  const unsigned long elapsed = (fl_event_time - lastPress.time) & 0xFFFFFFFFul;
  const POINT cursor = cursorInUnits();
  const int x = static_cast<int>(cursor.x), y = static_cast<int>(cursor.y);
  const bool isDouble = lastPress.armed && lastPress.window == record.handle &&
                        lastPress.button == button && elapsed <= DOUBLE_CLICK_MS &&
                        std::abs(x - lastPress.x) <= DOUBLE_CLICK_SLOP &&
                        std::abs(y - lastPress.y) <= DOUBLE_CLICK_SLOP;
  lastPress = LastPress{record.handle, button, fl_event_time, x, y, !isDouble};
  return isDouble;
}

// FLTK holds a motion back and may deliver it only after the button event
// that followed it. Windows reports the move first, and a drag relies on it.
void catchUpWithCursor(const WindowRecord& record, int x, int y) {
  const POINT cursor = cursorInUnits();
  if (cursor.x == lastMove.x && cursor.y == lastMove.y) return;
  lastMove = cursor;
  const int frame = frameWidth(record.frameStyle);
  if (reachesClient(record, x, y)) {
    queueMouseMove(record.handle, keyState(), packPoint(x - frame, y - frame));
  }
}

void continueSizing(WindowRecord* record) {
  const int minimum = 2 * frameWidth(record->frameStyle) + 1;
  const POINT cursor = cursorInUnits();
  const LONG dx = cursor.x - sizing.startX, dy = cursor.y - sizing.startY;
  RECT r = sizing.startRect;
  if (sizing.edges & EDGE_LEFT) r.left = std::min(r.left + dx, r.right - minimum);
  if (sizing.edges & EDGE_RIGHT) r.right = std::max(r.right + dx, r.left + minimum);
  if (sizing.edges & EDGE_TOP) r.top = std::min(r.top + dy, r.bottom - minimum);
  if (sizing.edges & EDGE_BOTTOM) r.bottom = std::max(r.bottom + dy, r.top + minimum);
  placeWindow(record, nullptr, static_cast<int>(r.left), static_cast<int>(r.top),
              static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top), SWP_NOZORDER);
}

int onPress(WindowRecord* record, int x, int y) {
  const int frame = frameWidth(record->frameStyle);
  if (captured != record->handle && !insideClient(*record, x - frame, y - frame)) {
    const int edges = sizingEdges(*record, x, y);
    if (edges && Fl::event_button() == FL_LEFT_MOUSE) {
      const POINT cursor = cursorInUnits();
      sizing = Sizing{record->handle, edges, static_cast<int>(cursor.x), static_cast<int>(cursor.y),
                      record->outer};
    }
    return 1;
  }
  const UINT down = downMessageOf(Fl::event_button());
  if (!down) return 0;
  catchUpWithCursor(*record, x, y);
  const UINT message = isDoubleClick(*record, Fl::event_button()) ? down + 2 : down;
  queueMessage(record->handle, message, keyState(), packPoint(x - frame, y - frame));
  return 1;
}

int onRelease(WindowRecord* record, int x, int y) {
  if (sizing.window) {
    sizing.window = nullptr;
    return 1;
  }
  const int frame = frameWidth(record->frameStyle);
  const UINT down = downMessageOf(Fl::event_button());
  if (!down) return 0;
  catchUpWithCursor(*record, x, y);
  if (reachesClient(*record, x, y)) {
    queueMessage(record->handle, down + 1, keyState(), packPoint(x - frame, y - frame));
  }
  return 1;
}

int onMotion(WindowRecord* record, int x, int y) {
  if (sizing.window == record->handle) {
    continueSizing(record);
    return 1;
  }
  const int frame = frameWidth(record->frameStyle);
  const bool inside = insideClient(*record, x - frame, y - frame);
  if (record->frameStyle & WS_THICKFRAME)
    showSizingCursor(record, inside ? 0 : sizingEdges(*record, x, y));
  lastMove = cursorInUnits();
  if (reachesClient(*record, x, y)) {
    queueMouseMove(record->handle, keyState(), packPoint(x - frame, y - frame));
  }
  return 1;
}

void fillRing(int inset, int thickness, int width, int height) {
  const int innerWidth = width - 2 * inset, innerHeight = height - 2 * inset;
  if (innerWidth <= 0 || innerHeight <= 0) return;
  fl_rectf(inset, inset, innerWidth, std::min(thickness, innerHeight));
  fl_rectf(inset, height - inset - thickness, innerWidth, std::min(thickness, innerHeight));
  fl_rectf(inset, inset, std::min(thickness, innerWidth), innerHeight);
  fl_rectf(width - inset - thickness, inset, std::min(thickness, innerWidth), innerHeight);
}

}  // namespace

HostWindow::HostWindow(HWND windowHandle, int x, int y, int width, int height)
    : Fl_Window(x, y, width, height), hwnd(windowHandle) {
  end();
  // No box: X then leaves the background alone, as for a class without a brush.
  box(FL_NO_BOX);
  resizable(this);
  size_range(1, 1);
}

// Positions come from the root coordinates and the window's rectangle as we
// hold it, not from the event's window-relative ones: during a drag those were
// taken before the server applied our last move, and would make the strip
// overshoot the cursor. Both are in units.
int HostWindow::handle(int event) {
  WindowRecord* record = findWindow(hwnd);
  const POINT cursor = cursorInUnits();
  if (record && event != FL_ENTER && event != FL_LEAVE) {
    noteLastCursor(static_cast<int>(cursor.x), static_cast<int>(cursor.y));
  }
  const int x = record ? static_cast<int>(cursor.x - record->outer.left) : 0;
  const int y = record ? static_cast<int>(cursor.y - record->outer.top) : 0;
  int handled = 0;
  if (record && event == FL_PUSH) handled = onPress(record, x, y);
  if (record && event == FL_RELEASE) handled = onRelease(record, x, y);
  if (record && (event == FL_DRAG || event == FL_MOVE)) handled = onMotion(record, x, y);
  if (event == FL_ENTER || event == FL_LEAVE) handled = 1;
  return handled ? 1 : Fl_Window::handle(event);
}

void HostWindow::draw() {
  WindowRecord* record = findWindow(hwnd);
  if (!record) return;
  drawHostFrame(*record);
  record->paintPending = true;
  wakeToolkitModalLoop();
}

void HostWindow::resize(int x, int y, int width, int height) {
  Fl_Window::resize(x, y, width, height);
  if (WindowRecord* record = findWindow(hwnd)) noteHostConfigured(record, x, y, width, height);
}

// The rings are 1 and 3 units thick, drawn from edge to edge on screen so
// that they meet each other and the client area without a gap.
void drawHostFrame(const WindowRecord& record) {
  const int width = record.host->w(), height = record.host->h();
  int inset = 0;
  if (frameWidth(record.frameStyle) == 0) return;
  if (record.frameStyle & WS_BORDER) {
    fl_color(0, 0, 0);
    fillRing(0, static_cast<int>(toScreen(1)), width, height);
    inset = 1;
  }
  if (record.frameStyle & WS_THICKFRAME) {
    fl_color(128, 128, 128);
    fillRing(static_cast<int>(toScreen(inset)), static_cast<int>(spanToScreen(inset, 1)), width,
             height);
    fl_color(192, 192, 192);
    fillRing(static_cast<int>(toScreen(inset + 1)), static_cast<int>(spanToScreen(inset + 1, 3)),
             width, height);
  }
}

HWND SetCapture(HWND window) {
  const HWND previous = captured;
  const WindowRecord* record = findWindow(window);
  if (!record) return previous;
  captured = window;
  if (const Window xid = hostXid(*record)) {
    XGrabPointer(fl_display, xid, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  }
  return previous;
}

BOOL ReleaseCapture() {
  if (captured && fl_display) XUngrabPointer(fl_display, CurrentTime);
  captured = nullptr;
  return TRUE;
}

void dropCapture(HWND window) {
  if (captured == window) ReleaseCapture();
  if (sizing.window == window) sizing.window = nullptr;
}
