// The Win32 window calls: creating, showing, destroying windows, their style
// words and rectangles.
#include "platform/linux/windows/window_calls.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <algorithm>
#include <cstring>

#include "platform/linux/text/ansi_text.h"
#include "platform/linux/windows/host_window.h"
#include "platform/linux/windows/message_queue.h"
#include "platform/linux/windows/program_icon.h"
#include "platform/linux/windows/window_placement.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/windows/window_timers.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/window_manager.h"
#include "platform/linux/x11/x11_session.h"

namespace {

ControlRectSource controlRectSource = nullptr;

// WM_DELETE_WINDOW from a window manager asks to close; Escape, which FLTK
// also routes here, does nothing to a Windows pop-up.
void hostCloseRequested(Fl_Widget* widget, void*) {
  auto* host = static_cast<HostWindow*>(widget);
  if (Fl::event() == FL_CLOSE && host->hwnd) PostMessageA(host->hwnd, WM_CLOSE, 0, 0);
}

HostWindow* makeHost(const WindowRecord& record, LPCSTR title) {
  const ScreenRect r = screenRectOf(record);
  const HostFactory factory = record.windowClass->hostFactory;
  HostWindow* host = factory ? factory(record.handle, r.x, r.y, r.width, r.height)
                             : new HostWindow(record.handle, r.x, r.y, r.width, r.height);
  char utf8Title[256 * 3];
  ansiToUtf8(title, title ? std::strlen(title) : 0, utf8Title, sizeof utf8Title);
  host->copy_label(utf8Title);
  host->xclass(record.windowClass->name);
  host->border(hasCaption(record.style) ? 1 : 0);
  host->callback(hostCloseRequested);
  return host;
}

LONG clampCoordinate(long long value) {
  return static_cast<LONG>(std::clamp<long long>(value, -32768, 32767));
}

WindowRecord* newRecord(const WindowClass* windowClass, DWORD exStyle, DWORD style, int x, int y,
                        int width, int height, HWND owner) {
  auto* record = new WindowRecord{};
  record->handle = allocateWindowHandle();
  record->windowClass = windowClass;
  record->style = style & ~static_cast<DWORD>(WS_VISIBLE);
  record->exStyle = exStyle & ~static_cast<DWORD>(WS_EX_TOPMOST);
  record->frameStyle = record->style;
  record->owner = findWindow(owner) ? owner : nullptr;
  record->outer.left = clampCoordinate(x);
  record->outer.top = clampCoordinate(y);
  record->outer.right = record->outer.left + std::clamp(width, 0, 16384);
  record->outer.bottom = record->outer.top + std::clamp(height, 0, 16384);
  record->zOrder = (exStyle & WS_EX_TOPMOST) ? HWND_TOPMOST : HWND_TOP;
  return record;
}

// What the window manager needs before the window maps: a tool window floats
// and never takes the keyboard; every window says where the program put it.
void describeHost(Window xid, void* context) {
  const auto* record = static_cast<const WindowRecord*>(context);
  if (record->exStyle & WS_EX_TOOLWINDOW) x11DescribeToolWindow(xid);
  publishPlacementHints(*record, xid);
}

void showRecord(WindowRecord* record) {
  if (record->visible || !x11Display()) return;
  record->visible = true;
  x11ShowDescribed(record->host, describeHost, record);
  placeShownHost(*record);
  publishWindowState(record, x11WindowManagerRunning());
  applyZOrder(record);
  record->paintPending = true;
}

void hideRecord(WindowRecord* record) {
  if (!record->visible) return;
  record->visible = false;
  record->paintPending = false;
  record->publishedState = 0;
  dropCapture(record->handle);
  record->host->hide();
}

void forgetRecord(WindowRecord* record) {
  removeWindowRecord(record);
  dropCapture(record->handle);
  killWindowTimers(record->handle);
  dropQueuedMessages(record->handle);
  record->host->hwnd = nullptr;
  record->host->hide();
  Fl::delete_widget(record->host);
  delete record;
}

}  // namespace

void setControlRectSource(ControlRectSource source) { controlRectSource = source; }

// As when a Windows thread ends: what is left goes, and no procedure hears of it.
void releaseAllWindows() {
  while (!allWindows().empty()) forgetRecord(allWindows().back());
  Fl::check();  // runs the deferred deletions of the FLTK windows
}

void destroyWindow(HWND window) {
  WindowRecord* record = findWindow(window);
  if (!record || record->destroying) return;
  record->destroying = true;
  for (bool found = true; found;) {
    found = false;
    for (WindowRecord* other : allWindows()) {
      if (other->owner == window && !other->destroying) {
        destroyWindow(other->handle);
        found = true;
        break;
      }
    }
  }
  sendMessage(window, WM_DESTROY, 0, 0);
  if ((record = findWindow(window))) forgetRecord(record);
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) {
  // Every window shows the toolkit's arrow; the handle only has to be non-null.
  static int arrow;
  return reinterpret_cast<HCURSOR>(&arrow);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
  const WindowClass* windowClass = findClass(className);
  if (!windowClass) return nullptr;
  useProgramIcon();
  // The windows take a new scale before their drawing and the pop-ups do.
  x11OnScaleChange(placeHostsAtScale);
  WindowRecord* record = newRecord(windowClass, exStyle, style, x, y, width, height, parent);
  record->host = makeHost(*record, windowName);
  addWindowRecord(record);
  const HWND window = record->handle;
  // As on Windows, the procedure meets the new handle before the caller does.
  if (sendMessage(window, WM_CREATE, 0, 0) == -1) {
    destroyWindow(window);
    return nullptr;
  }
  if ((record = findWindow(window))) sendSizeMessage(*record);
  if ((record = findWindow(window)) && (style & WS_VISIBLE)) showRecord(record);
  return findWindow(window) ? window : nullptr;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) {
    destroyWindow(window);
  } else if (message == WM_PAINT) {
    if (WindowRecord* record = findWindow(window)) record->paintPending = false;
  }
  return 0;
}

BOOL ShowWindow(HWND window, int showCommand) {
  WindowRecord* record = findWindow(window);
  if (!record) return FALSE;
  const BOOL wasVisible = record->visible ? TRUE : FALSE;
  if (showCommand == SW_HIDE) {
    hideRecord(record);
  } else {
    showRecord(record);
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND window) {
  WindowRecord* record = findWindow(window);
  if (!record) return FALSE;
  if (record->visible && record->paintPending) {
    sendMessage(window, WM_PAINT, 0, 0);
    if ((record = findWindow(window))) record->paintPending = false;
  }
  return TRUE;
}

BOOL IsIconic(HWND window) {
  const WindowRecord* record = findWindow(window);
  return record && record->visible && !record->host->visible() ? TRUE : FALSE;
}

LONG GetWindowLongA(HWND window, int index) {
  const WindowRecord* record = findWindow(window);
  if (!record) return 0;
  if (index == GWL_STYLE) {
    return static_cast<LONG>(record->style | (record->visible ? WS_VISIBLE : 0));
  }
  if (index == GWL_EXSTYLE) {
    return static_cast<LONG>(record->exStyle |
                             (record->zOrder == HWND_TOPMOST ? WS_EX_TOPMOST : 0));
  }
  return 0;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
  WindowRecord* record = findWindow(window);
  if (!record) return 0;
  const LONG previous = GetWindowLongA(window, index);
  // Visibility stays with ShowWindow, and the frame waits for SWP_FRAMECHANGED.
  if (index == GWL_STYLE)
    record->style = static_cast<DWORD>(value) & ~static_cast<DWORD>(WS_VISIBLE);
  if (index == GWL_EXSTYLE) {
    record->exStyle = static_cast<DWORD>(value) & ~static_cast<DWORD>(WS_EX_TOPMOST);
  }
  return previous;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  const WindowRecord* record = findWindow(window);
  if (!record && rect && controlRectSource) return controlRectSource(window, rect) ? TRUE : FALSE;
  if (!record || !rect) return FALSE;
  *rect = record->outer;
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  const WindowRecord* record = findWindow(window);
  if (!record || !rect) return FALSE;
  *rect = RECT{0, 0, clientWidth(*record), clientHeight(*record)};
  return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point) {
  const WindowRecord* record = findWindow(window);
  if (!record || !point) return FALSE;
  const int frame = frameWidth(record->frameStyle);
  point->x += record->outer.left + frame;
  point->y += record->outer.top + frame;
  return TRUE;
}
