// Window rectangle of the strip. The Linux strip window arrives with FLTK;
// until then no handle names a window, and the call fails as it does on
// Windows for a handle that is not a window.
#include "platform/windowing.h"

BOOL GetWindowRect(HWND window, LPRECT rect) {
  (void)window;
  (void)rect;
  return FALSE;
}
