#include "app/start_up.h"

#include <algorithm>
#include <limits>

#include "app/app_state.h"
#include "app/mouse_and_menu.h"
#include "app/window_procedure.h"
#include "display/display_font.h"
#include "settings/settings.h"

namespace {

constexpr char OWNER_CLASS[] = "kivo_main";
constexpr char STRIP_CLASS[] = "Kivo";
constexpr int CREATION_WIDTH = 446;
constexpr int CREATION_HEIGHT = 14;

bool registerWindowClass(HINSTANCE instance, const char* name, UINT style) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = style;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = name;
  return RegisterClassExA(&windowClass) != 0;
}

HWND createOwnerWindow(HINSTANCE instance) {
  return CreateWindowExA(0, OWNER_CLASS, "Kivo", WS_CAPTION, DEFAULT_X, DEFAULT_Y, CREATION_WIDTH,
                         CREATION_HEIGHT, nullptr, nullptr, instance, nullptr);
}

HWND createMonitorWindow(HINSTANCE instance) {
  return CreateWindowExA(WS_EX_TOOLWINDOW, STRIP_CLASS, "Kivo2", settings.caption, DEFAULT_X,
                         DEFAULT_Y, CREATION_WIDTH, CREATION_HEIGHT, app.ownerWindow, nullptr,
                         instance, nullptr);
}

// A size no one can use, none at all or more than all the screens together
// (which would also cost the X server memory for every pixel), comes back as
// the default. Any size from 1 up to the screens' is kept exactly.
LONG usableSize(LONG saved, int screens, LONG fallback) {
  return saved >= 1 && saved <= screens ? saved : fallback;
}

// Saved values can be anything: the far edge is worked out in 64 bits and
// held to the 32-bit range, which lies off every screen anyway.
LONG farEdge(LONG start, LONG size) {
  const long long edge = static_cast<long long>(start) + size;
  return static_cast<LONG>(std::clamp<long long>(edge, std::numeric_limits<LONG>::min(),
                                                 std::numeric_limits<LONG>::max()));
}

// A saved place that no monitor shows any more (one was unplugged, the
// resolution shrank) would leave a strip nobody can reach: it comes back at
// the default place instead, keeping its size. A partly visible one stays.
void placeMonitorWindow() {
  const LONG width =
      usableSize(settings.width, GetSystemMetrics(SM_CXVIRTUALSCREEN), DEFAULT_WIDTH);
  // A stored width no one can use is as good as none: the line may widen it.
  if (width != settings.width) widthMayGrow = true;
  settings.width = width;
  settings.height =
      usableSize(settings.height, GetSystemMetrics(SM_CYVIRTUALSCREEN), DEFAULT_HEIGHT);
  int x = settings.x;
  int y = settings.y;
  const RECT saved{x, y, farEdge(x, settings.width), farEdge(y, settings.height)};
  if (MonitorFromRect(&saved, MONITOR_DEFAULTTONULL) == nullptr) {
    x = DEFAULT_X;
    y = DEFAULT_Y;
  }
  SetWindowPos(app.monitorWindow, insertAfterHandle(), x, y, settings.width, settings.height, 0);
}

}  // namespace

int startUp(HINSTANCE instance, int showCommand) {
  backBuffer.memoryDC = nullptr;
  if (!registerWindowClass(instance, OWNER_CLASS, 0)) return EXIT_NO_CLASS;
  app.ownerWindow = createOwnerWindow(instance);
  if (app.ownerWindow == nullptr) return EXIT_NO_WINDOW;
  if (!registerWindowClass(instance, STRIP_CLASS, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS))
    return EXIT_NO_CLASS;
  app.instance = instance;
  app.contextMenu = buildContextMenu();
  loadSettings();
  createDisplayFont();
  app.monitorWindow = createMonitorWindow(instance);
  if (app.monitorWindow == nullptr) return EXIT_NO_WINDOW;
  startRefreshTimer();
  setAlwaysOnTop(insertAfter != Z_BOTTOM);
  app.dragging = 0;
  SetWindowLongA(app.monitorWindow, GWL_STYLE, static_cast<LONG>(settings.caption));
  placeMonitorWindow();
  ShowWindow(app.monitorWindow, showCommand);
  UpdateWindow(app.monitorWindow);
  return 0;
}
