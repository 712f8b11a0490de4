// Moving, sizing and stacking windows. With a window manager the z-order goes
// through EWMH _NET_WM_STATE requests; without one (Xvfb alone) the stacking is
// ours to do with XRaiseWindow and XLowerWindow.
#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <algorithm>

#include "platform/linux/windows/window_placement.h"

#include "platform/linux/windows/host_window.h"
#include "platform/linux/windows/message_queue.h"
#include "platform/linux/x11/display_scale.h"
#include "platform/linux/x11/window_manager.h"
#include "platform/linux/x11/x11_session.h"

namespace {

enum StateBit : unsigned {
  STATE_SKIP_TASKBAR = 1,
  STATE_SKIP_PAGER = 2,
  STATE_ABOVE = 4,
  STATE_BELOW = 8,
  STATE_STICKY = 16,
};

constexpr LONG LARGEST_SIZE = 16384;

unsigned wantedState(const WindowRecord& record) {
  unsigned state = 0;
  // A tool window shows on every virtual desktop, as on Windows 10 and 11.
  if (record.exStyle & WS_EX_TOOLWINDOW)
    state |= STATE_SKIP_TASKBAR | STATE_SKIP_PAGER | STATE_STICKY;
  // An owned window stays above its owner, as on Windows, where the windows
  // a topmost window owns are topmost too. Its dialogs are no transients
  // (those would follow the strip onto every workspace), so this is what
  // keeps them clear of it.
  const WindowRecord* owner = record.owner ? findWindow(record.owner) : nullptr;
  if (record.zOrder == HWND_TOPMOST || (owner && owner->zOrder == HWND_TOPMOST)) {
    state |= STATE_ABOVE;
  }
  if (record.zOrder == HWND_BOTTOM) state |= STATE_BELOW;
  return state;
}

// The property itself, for tools and for a window manager that maps the window later.
void writeStateProperty(Window xid, unsigned state) {
  static const X11Atom bitAtoms[] = {NET_WM_STATE_SKIP_TASKBAR, NET_WM_STATE_SKIP_PAGER,
                                     NET_WM_STATE_ABOVE, NET_WM_STATE_BELOW, NET_WM_STATE_STICKY};
  Atom atoms[5];
  int count = 0;
  for (int bit = 0; bit < 5; ++bit) {
    if (state & (1u << bit)) atoms[count++] = x11Atom(bitAtoms[bit]);
  }
  XChangeProperty(fl_display, xid, x11Atom(NET_WM_STATE), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(atoms), count);
}

// Every removal goes out before any addition: a manager may refuse a state
// that clashes with one still set (xfwm4 ignores ABOVE while BELOW is on).
void requestStateChanges(Window xid, unsigned before, unsigned after) {
  const Atom atomOf[] = {x11Atom(NET_WM_STATE_SKIP_TASKBAR), x11Atom(NET_WM_STATE_SKIP_PAGER),
                         x11Atom(NET_WM_STATE_ABOVE), x11Atom(NET_WM_STATE_BELOW),
                         x11Atom(NET_WM_STATE_STICKY)};
  for (const bool adding : {false, true}) {
    for (int bit = 0; bit < 5; ++bit) {
      const unsigned mask = 1u << bit;
      if ((before & mask) != (after & mask) && ((after & mask) != 0) == adding)
        x11SendWmState(xid, adding, atomOf[bit], None);
    }
  }
}

void restack(Window xid, HWND zOrder) {
  if (zOrder == HWND_BOTTOM) {
    XLowerWindow(fl_display, xid);
  } else {
    XRaiseWindow(fl_display, xid);
  }
}

RECT movedRect(const WindowRecord& record, int x, int y, int width, int height, UINT flags) {
  RECT r = record.outer;
  if (!(flags & SWP_NOMOVE)) {
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    r.left = std::clamp(x, -32768, 32767);
    r.top = std::clamp(y, -32768, 32767);
    r.right = r.left + w;
    r.bottom = r.top + h;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::clamp<LONG>(width, 0, LARGEST_SIZE);
    r.bottom = r.top + std::clamp<LONG>(height, 0, LARGEST_SIZE);
  }
  return r;
}

bool isZOrderChoice(HWND insertAfter) {
  return insertAfter == HWND_TOPMOST || insertAfter == HWND_BOTTOM || insertAfter == HWND_TOP ||
         insertAfter == HWND_NOTOPMOST;
}

// Hands the record's rectangle, on screen, to the FLTK window (and so to its X
// window).
void syncHostGeometry(WindowRecord* record) {
  const ScreenRect r = screenRectOf(*record);
  // The hints go first: a manager reading them on the move sees the new truth.
  if (const Window xid = hostXid(*record)) publishPlacementHints(*record, xid);
  // Past the host's override, which takes a resize as news from the manager:
  // this one came from the record.
  Fl_Window* host = record->host;
  host->Fl_Window::resize(r.x, r.y, r.width, r.height);
}

// Units from a rectangle X reports, the corner and the size each on its own.
// Pixels the record's own units became come back as those units, so a
// configure that only echoes ours changes nothing.
RECT unitsOfScreenRect(const WindowRecord& record, int x, int y, int width, int height) {
  const RECT& r = record.outer;
  const ScreenRect shown = screenRectOf(record);
  // X windows are never empty, so a record of width 0 comes back as 1.
  const bool sameSize = width == std::max(shown.width, 1) && height == std::max(shown.height, 1);
  RECT units;
  units.left = static_cast<LONG>(fromScreen(x));
  units.top = static_cast<LONG>(fromScreen(y));
  units.right = units.left + (sameSize ? r.right - r.left : static_cast<LONG>(fromScreen(width)));
  units.bottom = units.top + (sameSize ? r.bottom - r.top : static_cast<LONG>(fromScreen(height)));
  return units;
}

}  // namespace

void publishPlacementHints(const WindowRecord& record, unsigned long xid) {
  const ScreenRect r = screenRectOf(record);
  x11SetPlacementHints(xid, r.x, r.y, r.width, r.height,
                       (record.frameStyle & WS_CAPTION) == WS_CAPTION);
}

void placeShownHost(const WindowRecord& record) {
  const ScreenRect r = screenRectOf(record);
  XMoveResizeWindow(fl_display, fl_xid(record.host), r.x, r.y,
                    static_cast<unsigned>(std::max(r.width, 1)),
                    static_cast<unsigned>(std::max(r.height, 1)));
}

void publishWindowState(WindowRecord* record, bool windowManagerRunning) {
  const Window xid = hostXid(*record);
  if (!xid) return;
  const unsigned state = wantedState(*record);
  if (windowManagerRunning) requestStateChanges(xid, record->publishedState, state);
  if (state != record->publishedState || !windowManagerRunning) writeStateProperty(xid, state);
  record->publishedState = state;
}

void applyZOrder(WindowRecord* record) {
  const Window xid = hostXid(*record);
  if (!xid) return;
  restack(xid, record->zOrder);
  if (wantedState(*record) != record->publishedState) {
    publishWindowState(record, x11WindowManagerRunning());
  }
}

BOOL placeWindow(WindowRecord* record, HWND insertAfter, int x, int y, int width, int height,
                 UINT flags) {
  const int oldWidth = clientWidth(*record), oldHeight = clientHeight(*record);
  const bool frameChanged = (flags & SWP_FRAMECHANGED) && record->frameStyle != record->style;
  if (flags & SWP_FRAMECHANGED) record->frameStyle = record->style;
  const RECT before = record->outer;
  record->outer = movedRect(*record, x, y, width, height, flags);
  const bool moved = before.left != record->outer.left || before.top != record->outer.top ||
                     before.right != record->outer.right || before.bottom != record->outer.bottom;
  if (moved) syncHostGeometry(record);
  if (!(flags & SWP_NOZORDER) && isZOrderChoice(insertAfter)) {
    record->zOrder = insertAfter;
    applyZOrder(record);
  }
  const bool resized = clientWidth(*record) != oldWidth || clientHeight(*record) != oldHeight;
  if ((frameChanged || resized) && record->visible) {
    record->paintPending = true;
    record->host->redraw();
  }
  if (resized) sendSizeMessage(*record);
  return TRUE;
}

void noteHostConfigured(WindowRecord* record, int x, int y, int width, int height) {
  // A manager may frame or move a dialog after its first draw (i3 does now
  // and then): its title bar is looked at again each time.
  if ((record->frameStyle & WS_CAPTION) == WS_CAPTION && record->visible) {
    int work[4] = {};
    Fl::screen_work_area(work[0], work[1], work[2], work[3], x, y);
    x11KeepFrameOnScreen(hostXid(*record), work);
  }
  const RECT r = unitsOfScreenRect(*record, x, y, width, height);
  const RECT& was = record->outer;
  if (r.left == was.left && r.top == was.top && r.right == was.right && r.bottom == was.bottom)
    return;
  const int oldWidth = clientWidth(*record), oldHeight = clientHeight(*record);
  record->outer = r;
  if (clientWidth(*record) != oldWidth || clientHeight(*record) != oldHeight) {
    record->paintPending = true;
    sendSizeMessage(*record);
  }
}

// The desktop's scale changed: every host takes its record's place and size
// at the new scale, and is drawn again.
void placeHostsAtScale() {
  for (WindowRecord* record : allWindows()) {
    syncHostGeometry(record);
    if (record->visible) {
      record->paintPending = true;
      record->host->redraw();
    }
  }
  wakeToolkitModalLoop();
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  WindowRecord* record = findWindow(window);
  if (!record) return FALSE;
  return placeWindow(record, insertAfter, x, y, width, height, flags);
}
