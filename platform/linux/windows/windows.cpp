// Window classes, windows, their style words, rectangles and visibility.
#include <FL/Fl.H>
#include <FL/x.H>

#include <strings.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/linux/text/ansi_text.h"
#include "platform/linux/windows/host_window.h"
#include "platform/linux/windows/program_icon.h"
#include "platform/linux/windows/window_records.h"
#include "platform/linux/x11/window_manager.h"
#include "platform/linux/x11/x11_session.h"

namespace {

constexpr int MAX_CLASSES = 256;
constexpr ATOM FIRST_CLASS_ATOM = 0xC000;
// HWND values step by 4 from here, like Windows handles, well clear of the
// HWND_TOP/BOTTOM/TOPMOST/NOTOPMOST constants.
constexpr std::uintptr_t FIRST_HANDLE = 0x10010;
constexpr int THICK_FRAME_WIDTH = 4;
constexpr int BORDER_WIDTH = 1;

WindowClass classes[MAX_CLASSES];
int classCount = 0;
std::vector<WindowRecord*> windows;
std::uintptr_t nextHandle = FIRST_HANDLE;

const WindowClass* findClass(LPCSTR name) {
  const auto atom = reinterpret_cast<std::uintptr_t>(name);
  for (int i = 0; i < classCount; ++i) {
    if (atom < 0x10000 ? classes[i].atom == atom : strcasecmp(classes[i].name, name) == 0) {
      return &classes[i];
    }
  }
  return nullptr;
}

bool hasCaption(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

// WM_DELETE_WINDOW from a window manager asks to close; Escape, which FLTK
// also routes here, does nothing to a Windows pop-up.
void hostCloseRequested(Fl_Widget* widget, void*) {
  auto* host = static_cast<HostWindow*>(widget);
  if (Fl::event() == FL_CLOSE && host->hwnd) PostMessageA(host->hwnd, WM_CLOSE, 0, 0);
}

HostWindow* makeHost(const WindowRecord& record, LPCSTR title) {
  const RECT& r = record.outer;
  const HostFactory factory = record.windowClass->hostFactory;
  const int x = r.left, y = r.top, width = r.right - r.left, height = r.bottom - r.top;
  HostWindow* host = factory ? factory(record.handle, x, y, width, height)
                             : new HostWindow(record.handle, x, y, width, height);
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
  windows.erase(std::find(windows.begin(), windows.end(), record));
  dropCapture(record->handle);
  killWindowTimers(record->handle);
  dropQueuedMessages(record->handle);
  record->host->hwnd = nullptr;
  record->host->hide();
  Fl::delete_widget(record->host);
  delete record;
}

}  // namespace

HWND allocateWindowHandle() {
  const HWND handle = reinterpret_cast<HWND>(nextHandle);
  nextHandle += 4;
  return handle;
}

// As when a Windows thread ends: what is left goes, and no procedure hears of it.
void releaseAllWindows() {
  while (!windows.empty()) forgetRecord(windows.back());
  Fl::check();  // runs the deferred deletions of the FLTK windows
}

WindowRecord* findWindow(HWND window) {
  for (WindowRecord* record : windows) {
    if (record->handle == window) return record;
  }
  return nullptr;
}

void postCloseToShownWindows() {
  for (WindowRecord* record : windows) {
    if (record->visible) queueMessage(record->handle, WM_CLOSE, 0, 0);
  }
}

void endSessionWithoutDisplay() {
  std::vector<HWND> programWindows;
  for (const WindowRecord* record : windows) {
    if (!record->windowClass->hostFactory) programWindows.push_back(record->handle);
  }
  for (const HWND window : programWindows) sendMessage(window, WM_ENDSESSION, TRUE, 0);
}

WindowRecord* windowNeedingPaint() {
  for (WindowRecord* record : windows) {
    if (record->visible && record->paintPending) return record;
  }
  return nullptr;
}

int frameWidth(DWORD style) {
  if (hasCaption(style)) return 0;
  return ((style & WS_THICKFRAME) ? THICK_FRAME_WIDTH : 0) +
         ((style & WS_BORDER) ? BORDER_WIDTH : 0);
}

int clientWidth(const WindowRecord& record) {
  const LONG width = record.outer.right - record.outer.left - 2 * frameWidth(record.frameStyle);
  return width > 0 ? static_cast<int>(width) : 0;
}

int clientHeight(const WindowRecord& record) {
  const LONG height = record.outer.bottom - record.outer.top - 2 * frameWidth(record.frameStyle);
  return height > 0 ? static_cast<int>(height) : 0;
}

unsigned long hostXid(const WindowRecord& record) {
  return record.visible ? fl_xid(record.host) : 0;
}

LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WindowRecord* record = findWindow(window);
  if (!record) return 0;
  // The procedure may destroy the window; nothing here touches the record after.
  const WNDPROC procedure = record->windowClass->procedure;
  return procedure(window, message, wParam, lParam);
}

void sendSizeMessage(const WindowRecord& record) {
  const DWORD size = (static_cast<DWORD>(clientHeight(record) & 0xFFFF) << 16) |
                     static_cast<DWORD>(clientWidth(record) & 0xFFFF);
  sendMessage(record.handle, WM_SIZE, SIZE_RESTORED, static_cast<LPARAM>(size));
}

void destroyWindow(HWND window) {
  WindowRecord* record = findWindow(window);
  if (!record || record->destroying) return;
  record->destroying = true;
  for (bool found = true; found;) {
    found = false;
    for (WindowRecord* other : windows) {
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

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
  if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpfnWndProc ||
      !windowClass->lpszClassName ||
      reinterpret_cast<std::uintptr_t>(windowClass->lpszClassName) < 0x10000) {
    return 0;
  }
  const std::size_t length = strnlen(windowClass->lpszClassName, sizeof classes[0].name);
  if (length == 0 || length == sizeof classes[0].name || classCount == MAX_CLASSES ||
      findClass(windowClass->lpszClassName)) {
    return 0;
  }
  WindowClass& entry = classes[classCount];
  entry.atom = static_cast<ATOM>(FIRST_CLASS_ATOM + classCount);
  entry.style = windowClass->style;
  entry.procedure = windowClass->lpfnWndProc;
  entry.hostFactory = nullptr;
  std::memcpy(entry.name, windowClass->lpszClassName, length + 1);
  ++classCount;
  return entry.atom;
}

ATOM registerHostClass(LPCSTR name, WNDPROC procedure, HostFactory factory) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.lpszClassName = name;
  const ATOM atom = RegisterClassExA(&windowClass);
  if (atom) classes[atom - FIRST_CLASS_ATOM].hostFactory = factory;
  return atom;
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
  WindowRecord* record = newRecord(windowClass, exStyle, style, x, y, width, height, parent);
  record->host = makeHost(*record, windowName);
  static bool heardOnLoss = false;
  if (!heardOnLoss) x11OnConnectionLost(endSessionWithoutDisplay);
  heardOnLoss = true;
  windows.push_back(record);
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
  if (!record && rect) return controlScreenRect(window, rect) ? TRUE : FALSE;
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
