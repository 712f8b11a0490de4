// The screens: their size together (under X the root window, which every
// monitor lies inside) and which of them a rectangle is on, in 96-dpi units
// like every place the program holds.
#include <FL/Fl.H>

#include <cstdint>

#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/x11_session.h"
#include "platform/windowing.h"

int GetSystemMetrics(int index) {
  Display* display = x11Display();
  if (display == nullptr) return 0;
  const int screen = DefaultScreen(display);
  if (index == SM_CXVIRTUALSCREEN)
    return static_cast<int>(fromScreen(DisplayWidth(display, screen)));
  if (index == SM_CYVIRTUALSCREEN)
    return static_cast<int>(fromScreen(DisplayHeight(display, screen)));
  return 0;
}

HMONITOR MonitorFromRect(const RECT* rect, DWORD flags) {
  if (!rect || !x11Display()) return nullptr;
  const int count = Fl::screen_count();
  for (int i = 0; i < count; ++i) {
    int x = 0, y = 0, w = 0, h = 0;
    Fl::screen_xywh(x, y, w, h, i);
    const long left = fromScreen(x), top = fromScreen(y);
    const long right = fromScreen(x + w), bottom = fromScreen(y + h);
    if (rect->left < right && rect->right > left && rect->top < bottom && rect->bottom > top) {
      return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(i + 1));
    }
  }
  // MONITOR_DEFAULTTOPRIMARY and MONITOR_DEFAULTTONEAREST both get the first screen.
  return flags == MONITOR_DEFAULTTONULL ? nullptr : reinterpret_cast<HMONITOR>(1);
}
