// The size of all the screens together. Under X that is the root window:
// every monitor lies inside it.
#include "platform/linux/x11/x11_session.h"
#include "platform/windowing.h"

int GetSystemMetrics(int index) {
  Display* display = x11Display();
  if (display == nullptr) return 0;
  const int screen = DefaultScreen(display);
  if (index == SM_CXVIRTUALSCREEN) return DisplayWidth(display, screen);
  if (index == SM_CYVIRTUALSCREEN) return DisplayHeight(display, screen);
  return 0;
}
