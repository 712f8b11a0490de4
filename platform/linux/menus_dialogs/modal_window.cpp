#include "platform/linux/menus_dialogs/modal_window.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include <algorithm>

#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/window_manager.h"

// The work area is the toolkit's, in pixels, so the fitting is done there.
POINT modalOrigin(HWND owner, POINT offset, int width, int height) {
  POINT origin = offset;
  ClientToScreen(owner, &origin);
  origin = POINT{static_cast<LONG>(toScreen(origin.x)), static_cast<LONG>(toScreen(origin.y))};
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_work_area(x, y, w, h, static_cast<int>(origin.x), static_cast<int>(origin.y));
  origin.x =
      std::max<LONG>(std::min<LONG>(origin.x, x + w - static_cast<LONG>(toScreen(width))), x);
  origin.y =
      std::max<LONG>(std::min<LONG>(origin.y, y + h - static_cast<LONG>(toScreen(height))), y);
  return origin;
}

void takeKeyboardAtFirstDraw(Fl_Window* window, bool* drawnBefore) {
  if (*drawnBefore) return;
  *drawnBefore = true;
  if (!window->shown()) return;
  int work[4] = {};
  Fl::screen_work_area(work[0], work[1], work[2], work[3], window->x(), window->y());
  x11KeepFrameOnScreen(fl_xid(window), work);
  x11GiveFocus(fl_xid(window));
}

void placeWidgetAtScale(Fl_Widget* widget, const RECT& place) {
  const int left = static_cast<int>(toScreen(place.left));
  const int top = static_cast<int>(toScreen(place.top));
  widget->resize(left, top, static_cast<int>(toScreen(place.right)) - left,
                 static_cast<int>(toScreen(place.bottom)) - top);
}
