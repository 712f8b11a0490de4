// The window table: the registered classes and the record of every live
// window, looked up by handle. Everything above it names windows by HWND.
#include "platform/linux/windows/window_records.h"

#include <FL/x.H>

#include <strings.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/linux/windows/host_window.h"
#include "platform/linux/x11/display_scale.h"
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

// The X connection broke: the program's own windows hear WM_ENDSESSION, as at
// a log-off, and save from what the records hold, sending nothing to X.
void endSessionWithoutDisplay() {
  std::vector<HWND> programWindows;
  for (const WindowRecord* record : windows) {
    if (!record->windowClass->hostFactory) programWindows.push_back(record->handle);
  }
  for (const HWND window : programWindows) sendMessage(window, WM_ENDSESSION, TRUE, 0);
}

}  // namespace

bool hasCaption(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

const WindowClass* findClass(LPCSTR name) {
  const auto atom = reinterpret_cast<std::uintptr_t>(name);
  for (int i = 0; i < classCount; ++i) {
    if (atom < 0x10000 ? classes[i].atom == atom : strcasecmp(classes[i].name, name) == 0) {
      return &classes[i];
    }
  }
  return nullptr;
}

HWND allocateWindowHandle() {
  const HWND handle = reinterpret_cast<HWND>(nextHandle);
  nextHandle += 4;
  return handle;
}

void addWindowRecord(WindowRecord* record) {
  static bool heardOnLoss = false;
  if (!heardOnLoss) x11OnConnectionLost(endSessionWithoutDisplay);
  heardOnLoss = true;
  windows.push_back(record);
}

void removeWindowRecord(WindowRecord* record) {
  windows.erase(std::find(windows.begin(), windows.end(), record));
}

const std::vector<WindowRecord*>& allWindows() { return windows; }

WindowRecord* findWindow(HWND window) {
  for (WindowRecord* record : windows) {
    if (record->handle == window) return record;
  }
  return nullptr;
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

ScreenRect screenRectOf(const WindowRecord& record) {
  const RECT& r = record.outer;
  return ScreenRect{static_cast<int>(toScreen(r.left)), static_cast<int>(toScreen(r.top)),
                    static_cast<int>(toScreen(r.right - r.left)),
                    static_cast<int>(toScreen(r.bottom - r.top))};
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
